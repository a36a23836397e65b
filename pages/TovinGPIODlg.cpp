#include "pages/TovinGPIODlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "widgets/ToggleValueLabel.h"

namespace {

// GPIO2 and GPIO3, the pins the output control block can drive, have no asterisk.
QString PinLabel(int pin)
{
    const QString number = QString::number(pin + 1);
    const QString keyed = QStringLiteral("GPIO") + number.left(number.size() - 1) + QLatin1Char('&') + number.right(1);
    const bool controlled = pin == ocb::GpioPinOf(0) || pin == ocb::GpioPinOf(1);
    return keyed + (controlled ? QStringLiteral(" =") : QStringLiteral("* ="));
}

// Index 0 or 1 of a pin among GPIO2 and GPIO3, -1 for the others.
int ControlledIndex(int pin)
{
    for (int which = 0; which < ocb::kGpioSignals; ++which)
        if (ocb::GpioPinOf(which) == pin) return which;
    return -1;
}

}  // namespace

CTovinGPIODlg::CTovinGPIODlg(QWidget* parent) : CReadWritePage(parent)
{
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Pin Status"), this), 0, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("Pin Configuration"), this), 0, 3, 1, 3, Qt::AlignLeft);
    for (int pin = 0; pin < gpio::kPins; ++pin) {
        PinControls& c = m_controls[pin];
        const int row = pin + 1;
        c.label = new QLabel(PinLabel(pin), this);
        c.value = new CToggleValueLabel(QStringLiteral("N/A"), this);
        c.input = new QRadioButton(QStringLiteral("Input"), this);
        c.output = new QRadioButton(QStringLiteral("Output"), this);
        c.label->setBuddy(c.input);
        grid->addWidget(c.label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(c.value, row, 1, Qt::AlignLeft);
        grid->addWidget(c.input, row, 3);
        grid->addWidget(c.output, row, 4);

        auto* group = new QButtonGroup(this);
        group->addButton(c.output, gpio::kOutput);
        group->addButton(c.input, gpio::kInput);
        const int which = ControlledIndex(pin);
        connect(group, &QButtonGroup::idToggled, this, [this, pin, which](int id, bool checked) {
            if (!checked) return;
            m_values.directions[pin] = static_cast<gpio::Direction>(id);
            if (which >= 0) ApplyEnabling(which);
        });
        if (which < 0) {
            c.value->setEnabled(false);  // only GPIO2 and GPIO3 take clicks
            continue;
        }
        c.signal = new QComboBox(this);
        c.signal->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        grid->addWidget(c.signal, row, 5);
        connect(c.signal, &QComboBox::currentIndexChanged, this, [this, which](int index) {
            if (index < 0) return;
            m_values.sourceSignals[which] = index;
            ApplyEnabling(which);
        });
        c.value->SetOnClick([this, pin] {
            m_values.levels[pin] = !m_values.levels[pin];
            m_controls[pin].value->setText(QString::number(m_values.levels[pin] ? 1 : 0));
        });
    }
    const int gap = fontMetrics().horizontalAdvance(QStringLiteral("0000"));
    grid->setColumnMinimumWidth(2, gap);
    grid->setColumnStretch(6, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addWidget(new QLabel(QStringLiteral("* - If configured as output it always controlled by HMU-I/F"), this));
    layout->addStretch();
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(ButtonRow());
}

void CTovinGPIODlg::PrepareControls()
{
    for (int which = 0; which < ocb::kGpioSignals; ++which) {
        QComboBox* box = m_controls[ocb::GpioPinOf(which)].signal;
        // Filling selects the first entry: the signals are set again when the page is shown.
        const QSignalBlocker blocker(box);
        box->clear();
        for (const std::string_view name : ocb::kSignalNames)
            box->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }
}

void CTovinGPIODlg::ReadDevice()
{
    m_values = gpio::Read(*Port());
    if (!m_identified) {
        m_identification = gpio::ReadIdentification(*Port());
        m_identified = true;
    }
}

void CTovinGPIODlg::WriteDevice()
{
    gpio::Write(*Port(), m_values);
}

void CTovinGPIODlg::DataToControls()
{
    // Setting a control stores what it shows: copy the values first.
    const gpio::Values values = m_values;
    for (int pin = 0; pin < gpio::kPins; ++pin) {
        const PinControls& c = m_controls[pin];
        if (pin == gpio::kGpio7 && Gpio7Absent()) {
            c.value->setText(QStringLiteral("N/A"));
            for (QWidget* w : {static_cast<QWidget*>(c.label), static_cast<QWidget*>(c.value),
                               static_cast<QWidget*>(c.input), static_cast<QWidget*>(c.output)})
                w->setEnabled(false);
            continue;
        }
        c.value->setText(QString::number(values.levels[pin] ? 1 : 0));
        (values.directions[pin] == gpio::kInput ? c.input : c.output)->setChecked(true);
    }
    for (int which = 0; which < ocb::kGpioSignals; ++which)
        m_controls[ocb::GpioPinOf(which)].signal->setCurrentIndex(values.sourceSignals[which]);
    m_values = values;
    for (int which = 0; which < ocb::kGpioSignals; ++which) ApplyEnabling(which);
}

void CTovinGPIODlg::ApplyEnabling(int which)
{
    const PinControls& c = m_controls[ocb::GpioPinOf(which)];
    c.signal->setEnabled(m_values.directions[ocb::GpioPinOf(which)] == gpio::kOutput);
    c.value->setEnabled(gpio::FollowsOutputControl(m_values, which));
}
