#include "widgets/FloatEntryDlg.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/UserInteraction.h"
#include "widgets/FloatEdit.h"

namespace {

float ReadNumber(const QString& text)
{
    return NarrowToFloat(ParseLeadingNumber(text).value);
}

QString Format41(float value)
{
    return QString::asprintf("%4.1f", static_cast<double>(value));
}

// The access key of a button text: the character after a single '&'.
QChar AccessKey(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toLower();
        ++i;
    }
    return {};
}

}  // namespace

CFloatEntryDlg::CFloatEntryDlg(QWidget* parent)
    : CTovinDialog(parent),
      m_prompt(new QLabel(this)),
      m_display(new QLabel(this)),
      m_instruction(new QLabel(this))
{
    m_prompt->setObjectName(QStringLiteral("prompt"));
    m_prompt->setTextFormat(Qt::PlainText);
    m_display->setObjectName(QStringLiteral("display"));
    m_display->setTextFormat(Qt::PlainText);
    m_display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_display->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_display->setMargin(fontMetrics().horizontalAdvance(QLatin1Char(' ')));
    m_instruction->setObjectName(QStringLiteral("instruction"));
    auto* thenOk = new QLabel(QStringLiteral("Then Click OK."), this);

    auto* keypad = new QGridLayout;
    static const char* const kKeys[4][3] = {{"7", "8", "9"}, {"4", "5", "6"}, {"1", "2", "3"}, {"0", "+/-", "."}};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QString key = QString::fromLatin1(kKeys[row][column]);
            QPushButton* button = AddButton(key == QLatin1String("+/-") ? key : QLatin1Char('&') + key);
            // Digits and the point are appended; the sign key has no action.
            if (key.size() == 1) connect(button, &QPushButton::clicked, this, [this, key] { AppendKey(key[0]); });
            keypad->addWidget(button, row, column);
        }
    }

    QPushButton* ok = AddButton(QStringLiteral("&OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CFloatEntryDlg::accept);
    connect(AddButton(QStringLiteral("Ca&ncel")), &QPushButton::clicked, this, &CFloatEntryDlg::reject);
    connect(AddButton(QStringLiteral("&Backspace")), &QPushButton::clicked, this, &CFloatEntryDlg::Backspace);
    connect(AddButton(QStringLiteral("Clea&r")), &QPushButton::clicked, this, &CFloatEntryDlg::Clear);
    connect(AddButton(QStringLiteral("Default &Value")), &QPushButton::clicked, this, &CFloatEntryDlg::ShowDefault);

    auto* left = new QVBoxLayout;
    left->addWidget(m_display);
    left->addLayout(keypad);
    left->addWidget(m_instruction);
    left->addWidget(thenOk);
    left->addStretch();

    auto* right = new QVBoxLayout;
    for (qsizetype i = 12; i < m_buttons.size(); ++i) right->addWidget(m_buttons[i]);
    right->addStretch();

    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addSpacing(fontMetrics().horizontalAdvance(QStringLiteral("00")));
    body->addLayout(right);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addLayout(body);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowOpening();
}

QPushButton* CFloatEntryDlg::AddButton(const QString& text)
{
    auto* button = new QPushButton(text, this);
    m_buttons.append(button);
    return button;
}

void CFloatEntryDlg::SetPrompt(const QString& prompt)
{
    m_prompt->setText(prompt);
}

void CFloatEntryDlg::SetCaption(const QString& caption)
{
    m_caption = caption;
    setWindowTitle(caption);
}

void CFloatEntryDlg::SetValue(float value)
{
    m_value = value;
    m_display->setText(Format41(value));
}

void CFloatEntryDlg::SetDigits(int digits)
{
    m_digits = digits;
    m_instruction->setText(QString::asprintf("Enter up to %d Digits,", digits));
}

void CFloatEntryDlg::showEvent(QShowEvent* event)
{
    // Each run starts from the value the caller (or the last run) left.
    if (!event->spontaneous()) ShowOpening();
    CTovinDialog::showEvent(event);
}

void CFloatEntryDlg::ShowOpening()
{
    setWindowTitle(m_caption);
    m_instruction->setText(QString::asprintf("Enter up to %d Digits,", m_digits));
    m_display->setText(Format41(m_value));
}

void CFloatEntryDlg::keyPressEvent(QKeyEvent* event)
{
    // As in a keypad, a plain key presses the button it is the access key of
    // (the Alt combinations are handled by the buttons themselves).
    const bool plain = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
    if (plain && event->key() == Qt::Key_Backspace) {
        Backspace();
        return;
    }
    if (plain && event->text().size() == 1) {
        const QChar key = event->text()[0].toLower();
        for (QPushButton* button : m_buttons) {
            if (AccessKey(button->text()) == key && button->isEnabled()) {
                button->click();
                return;
            }
        }
    }
    CTovinDialog::keyPressEvent(event);
}

void CFloatEntryDlg::AppendKey(QChar key)
{
    const QString text = m_display->text();
    if (text.size() < m_digits) {
        m_display->setText(text + key);
        m_value = ReadNumber(m_display->text());
        return;
    }
    Ui().MessageBox(this, {QString::asprintf("Only Enter %d Digits!", m_digits), QStringLiteral("CLT Overflow"),
                           CUserInteraction::Icon::Error, CUserInteraction::Buttons::Ok});
}

void CFloatEntryDlg::Backspace()
{
    const QString text = m_display->text();
    if (!text.isEmpty()) m_display->setText(text.left(text.size() - 1));
}

void CFloatEntryDlg::Clear()
{
    m_display->clear();
    m_value = 0.0f;
}

void CFloatEntryDlg::ShowDefault()
{
    m_value = m_default;
    m_display->setText(Format41(m_value));
    // Read back, so the value is what the display shows.
    m_value = ReadNumber(m_display->text());
}

void CFloatEntryDlg::accept()
{
    m_value = ReadNumber(m_display->text());
    if (m_minimum <= m_value && m_value <= m_maximum) {
        CTovinDialog::accept();
        return;
    }
    Ui().MessageBox(this, {QString::asprintf("Must be a Resistance between %4.1f and %4.1f !",
                                             static_cast<double>(m_minimum), static_cast<double>(m_maximum)),
                           QStringLiteral("CLT Out of Range"), CUserInteraction::Icon::Error,
                           CUserInteraction::Buttons::Ok});
}
