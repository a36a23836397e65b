#include "demo/DemoOptionDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "demo/DemoDialogSupport.h"
#include "device/Tovin_I2C_Port.h"

CDemoOptionDlg::CDemoOptionDlg(const QString& title, const QString& group, demodesign::Field field,
                               const std::vector<Choice>& choices, CTovin_I2C_Port& port, int& remembered, QWidget* parent)
    : CTovinDialog(parent), m_field(field), m_choices(choices), m_port(port),
      m_remembered(remembered)
{
    setWindowTitle(title);
    auto* box = new QGroupBox(group, this);
    auto* choiceLayout = new QVBoxLayout(box);
    for (const Choice& choice : m_choices) {
        m_buttons.push_back(new QRadioButton(choice.text, box));
        choiceLayout->addWidget(m_buttons.back());
    }
    m_read = new QPushButton(QStringLiteral("Read"), this);
    m_write = new QPushButton(QStringLiteral("Write"), this);
    for (QPushButton* b : {m_read, m_write}) b->setAutoDefault(false);
    connect(m_read, &QPushButton::clicked, this, &CDemoOptionDlg::OnRead);
    connect(m_write, &QPushButton::clicked, this, &CDemoOptionDlg::OnWrite);
    auto* okCancel = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(okCancel, &QDialogButtonBox::accepted, this, &CDemoOptionDlg::accept);
    connect(okCancel, &QDialogButtonBox::rejected, this, &CDemoOptionDlg::reject);

    auto* readWrite = new QVBoxLayout;
    readWrite->addWidget(m_read);
    readWrite->addWidget(m_write);
    readWrite->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(box, 1);
    body->addLayout(readWrite);
    auto* top = new QVBoxLayout(this);
    top->addLayout(body);
    top->addWidget(okCancel);
}

void CDemoOptionDlg::OnInitDialog()
{
    OnRead();
}

int CDemoOptionDlg::SelectionValue() const
{
    for (size_t i = 0; i < m_buttons.size(); ++i)
        if (m_buttons[i]->isChecked()) return m_choices[i].value;
    return m_choices.back().value;
}

void CDemoOptionDlg::Select(int value)
{
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        m_buttons[i]->setAutoExclusive(false);
        m_buttons[i]->setChecked(m_choices[i].value == value);
        m_buttons[i]->setAutoExclusive(true);
    }
}

void CDemoOptionDlg::OnRead()
{
    demo::BusyButtons busy({m_read, m_write});
    demo::RunMainSequence(this, m_port, [this] {
        const demodesign::FieldRead read = demodesign::ReadField(m_port, m_field);
        m_remembered = read.value;
        Select(read.value);
        return read.answered;
    });
}

void CDemoOptionDlg::OnWrite()
{
    demo::BusyButtons busy({m_read, m_write});
    m_remembered = SelectionValue();
    demo::RunMainSequence(this, m_port,
                          [this] { return demodesign::WriteField(m_port, m_field, m_remembered); });
}

void CDemoOptionDlg::accept()
{
    if (SelectionValue() != m_remembered) OnWrite();
    CTovinDialog::accept();
}
