#include "pages/Fault_Dlg.h"

#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "settings/Settings.h"
#include "ui/AppServices.h"
#include "ui/TovinPropertySheet.h"
#include "ui/UserInteraction.h"
#include "device/HmuCommands.h"
#include "util/TextFormat.h"
#include "device/blocks/Gpio.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// A flag read-out, as wide as its longest text in whatever font the window
// ends up with, so the columns stay put when the values are cleared.
class CFlagLabel : public QLabel {
public:
    CFlagLabel(const QString& widest, QWidget* parent) : QLabel(parent), m_widest(widest)
    {
        setTextFormat(Qt::PlainText);
    }
    QSize sizeHint() const override
    {
        QSize hint = QLabel::sizeHint();
        hint.setWidth(qMax(hint.width(), fontMetrics().horizontalAdvance(m_widest)));
        return hint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    QString m_widest;
};

QLabel* FlagLabel(const QString& widest, QWidget* parent)
{
    return new CFlagLabel(widest, parent);
}

// Why one device's log was not erased, for the line under the failure text.
std::string NotErasedText(int device, const faultlog::EraseResult& result)
{
    switch (result.Outcome()) {
    case faultlog::EraseOutcome::Erased: break;
    case faultlog::EraseOutcome::NotAcknowledged:
        if (result.notAcknowledged == faultlog::EraseStep::None)
            return FormatText("HMU%d not erased: its status was not acknowledged", device);
        return FormatText("HMU%d not erased: %s was not acknowledged", device,
                          faultlog::EraseStepText(result.notAcknowledged).c_str());
    case faultlog::EraseOutcome::ReadEnableFailed:
        return FormatText("HMU%d not erased: its log would not open", device);
    case faultlog::EraseOutcome::NotErased:
        return FormatText("HMU%d not erased: it still holds %d faults (another unlock code?)", device,
                          faultlog::StatusCount(result.after.status1));
    }
    return FormatText("HMU%d erased", device);
}

}  // namespace

CFault_Dlg::CFault_Dlg(QWidget* parent) : CTovinPropertyPage(parent)
{
    BuildControls();
}

void CFault_Dlg::BuildControls()
{
    m_title = new QLabel(QStringLiteral("Fault"), this);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    // Comparator channels: VMON1..VMON9 and HVMON on the left, the
    // temperature and current monitors in the middle.
    const auto channelColumn = [this](int first, int count) {
        auto* group = new QGroupBox(this);
        auto* grid = new QGridLayout(group);
        grid->setHorizontalSpacing(fontMetrics().horizontalAdvance(QStringLiteral("00")));
        for (int c = first; c < first + count; ++c) {
            ChannelControls& controls = m_channels[c];
            controls.name = new QLabel(QString::fromLatin1(faultlog::kChannelList[c].name), group);
            grid->addWidget(controls.name, c - first, 0);
            for (int k = 0; k < 2; ++k) {
                controls.states[k] = FlagLabel(k == 0 ? QStringLiteral("A = 0") : QStringLiteral("B = 0"), group);
                controls.states[k]->setText(k == 0 ? QStringLiteral("A = 0") : QStringLiteral("B = 0"));
                grid->addWidget(controls.states[k], c - first, 1 + k);
            }
        }
        grid->setRowStretch(count, 1);
        return group;
    };
    auto* voltages = channelColumn(faultlog::kFirstVoltageChannel, faultlog::kVoltageChannels);
    auto* others = channelColumn(faultlog::kFirstOtherChannel, faultlog::kChannels - faultlog::kFirstOtherChannel);

    // Pin states: HVOUT1..HVOUT4, GPIO1..GPIO10.
    auto* pins = new QGroupBox(this);
    auto* pinGrid = new QGridLayout(pins);
    const auto addPin = [&](int row, const QString& name, QLabel*& nameLabel, QLabel*& value) {
        nameLabel = new QLabel(name, pins);
        value = FlagLabel(QStringLiteral("N/A"), pins);
        value->setText(QStringLiteral("0"));
        pinGrid->addWidget(nameLabel, row, 0);
        pinGrid->addWidget(value, row, 1);
    };
    for (int h = 0; h < faultlog::kHvouts; ++h) {
        QLabel* name = nullptr;
        addPin(h, Text(FormatText("HVOUT%d = ", h + 1)), name, m_hvoutValues[h]);
    }
    for (int g = 0; g < faultlog::kGpios; ++g)
        addPin(faultlog::kHvouts + g, Text(FormatText("GPIO%d = ", g + 1)), m_gpioNames[g], m_gpioValues[g]);
    pinGrid->setRowStretch(faultlog::kHvouts + faultlog::kGpios, 1);

    auto* columns = new QHBoxLayout;
    columns->addWidget(voltages);
    columns->addWidget(others);
    columns->addWidget(pins);
    columns->addStretch();

    m_total = new QPushButton(QStringLiteral("Read &Total"), this);
    m_previous = new QPushButton(QStringLiteral("Read &Previous"), this);
    m_next = new QPushButton(QStringLiteral("Read &Next"), this);
    m_last = new QPushButton(QStringLiteral("Read Last"), this);
    m_erase = new QPushButton(QStringLiteral("&Erase All"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_total, m_previous, m_next, m_last, m_erase}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    connect(m_total, &QPushButton::clicked, this, &CFault_Dlg::OnReadTotal);
    connect(m_previous, &QPushButton::clicked, this, &CFault_Dlg::OnReadPrevious);
    connect(m_next, &QPushButton::clicked, this, &CFault_Dlg::OnReadNext);
    connect(m_last, &QPushButton::clicked, this, &CFault_Dlg::OnReadLast);
    connect(m_erase, &QPushButton::clicked, this, &CFault_Dlg::EraseAllFaults);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(columns);
    layout->addLayout(buttons);
    layout->addStretch();
}

bool CFault_Dlg::OnInitDialog()
{
    bool result = true;
    {
        CCableLock lock;
        result = CTovinPropertyPage::OnInitDialog();
        m_demo = Services() ? Services()->DemoMode() : Port() != nullptr && Port()->GetDemoMode();
        if (Port() != nullptr) m_identification = Port()->ReadRegister(hmu::kCmdIdentify, -1);
        ReadFaults();
        if (m_count > 0) DecodeFaultRecord();
        if (gpio::Gpio7Absent(m_identification)) {
            m_gpioNames[faultlog::kGpio7]->setEnabled(false);
            m_gpioValues[faultlog::kGpio7]->setEnabled(false);
        }
        ShowFaultRecord();
    }
    ReportUnansweredRead();
    return result;
}

bool CFault_Dlg::OnSetActive()
{
    if (Activations() > 1 && Port() != nullptr) {
        Port()->SetHmuIndex(DeviceIndex());
        ReadFaults();
        if (m_count >= 1) DecodeFaultRecord();
        ShowFaultRecord();
        ReportUnansweredRead();
    }
    return CTovinPropertyPage::OnSetActive();
}

void CFault_Dlg::DataToControls()
{
    ShowFaultRecord();
}

void CFault_Dlg::ReadFaults()
{
    m_index = 0;
    m_readAnswered = true;
    m_logClosed = false;
    if (m_demo) {
        m_count = faultlog::ReadDemoLog(m_records).count;
        return;
    }
    if (Port() == nullptr) return;
    const faultlog::LogRead read = faultlog::ReadLog(*Port(), m_records);
    m_count = read.count;
    m_logClosed = read.enableFailed;
    // Records that could not be read are as unanswered as a refused status.
    m_readAnswered = read.Answered() && !read.enableFailed;
}

void CFault_Dlg::DecodeFaultRecord()
{
    if (m_index < 0 || m_index >= faultlog::kMaxRecords) return;
    m_flags = faultlog::DecodeRecord(m_records[m_index]);
}

void CFault_Dlg::ShowFaultRecord()
{
    // Records of a log that would not open were never read: none is shown.
    const bool shown = m_count != 0 && !m_logClosed;
    m_previous->setEnabled(shown && m_index != 0);
    m_next->setEnabled(shown && m_index + 1 < m_count);
    m_last->setEnabled(shown);
    for (int c = 0; c < faultlog::kChannels; ++c) {
        for (int k = 0; k < 2; ++k) {
            const QString prefix = k == 0 ? QStringLiteral("A = ") : QStringLiteral("B = ");
            m_channels[c].states[k]->setText(shown ? prefix + QString::number(m_flags.comparators[c][k] ? 1 : 0)
                                                   : prefix);
        }
    }
    for (int h = 0; h < faultlog::kHvouts; ++h)
        m_hvoutValues[h]->setText(shown ? QString::number(m_flags.hvout[h] ? 1 : 0) : QString());
    for (int g = 0; g < faultlog::kGpios; ++g) {
        QString value;
        if (shown) {
            value = gpio::PinUsable(m_identification, g) ? QString::number(m_flags.gpio[g] ? 1 : 0)
                                                          : QStringLiteral("N/A");
        }
        m_gpioValues[g]->setText(value);
    }
    if (m_logClosed)
        m_title->setText(Text(FormatText("%d Total Faults (from the status; the log would not open)", m_count)));
    else
        m_title->setText(shown ? Text(FormatText("Fault # %d of %d Total Faults", m_index + 1, m_count))
                               : QStringLiteral("No Faults"));
}

void CFault_Dlg::ReportUnansweredRead()
{
    // "No Faults" from a device that did not answer would be a wrong result.
    if (m_readAnswered) return;
    m_readAnswered = true;
    ShowAcknowledgeFailure(this);
}

void CFault_Dlg::SetBusy(QPushButton* button, bool busy)
{
    button->setEnabled(!busy);
}

void CFault_Dlg::OnReadTotal()
{
    if (Port() == nullptr) return;
    SetBusy(m_total, true);
    emit SequenceRunning();
    ReadAndShowLast();
    SetBusy(m_total, false);
    ReportUnansweredRead();
}

void CFault_Dlg::ReadAndShowLast()
{
    Port()->SetHmuIndex(DeviceIndex());
    ReadFaults();
    if (m_count >= 1) {
        m_index = m_count - 1;
        DecodeFaultRecord();
    }
    ShowFaultRecord();
}

void CFault_Dlg::OnReadLast()
{
    if (Port() != nullptr) Port()->SetHmuIndex(DeviceIndex());
    if (m_count < 1 || m_logClosed) return;
    m_index = m_count - 1;
    DecodeFaultRecord();
    ShowFaultRecord();
}

void CFault_Dlg::OnReadNext()
{
    if (Port() != nullptr) Port()->SetHmuIndex(DeviceIndex());
    // The button is enabled only while a next record exists.
    if (m_index + 1 >= m_count || m_logClosed) return;
    ++m_index;
    DecodeFaultRecord();
    ShowFaultRecord();
}

void CFault_Dlg::OnReadPrevious()
{
    if (Port() != nullptr) Port()->SetHmuIndex(DeviceIndex());
    if (m_index <= 0 || m_logClosed) return;
    --m_index;
    DecodeFaultRecord();
    ShowFaultRecord();
}

std::vector<int> CFault_Dlg::WindowDevices() const
{
    for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (const auto* sheet = qobject_cast<const CTovinPropertySheet*>(w)) {
            std::vector<int> devices;
            for (int i = 0; i < sheet->PageCount(); ++i) devices.push_back(sheet->Page(i)->DeviceIndex());
            return devices;
        }
    }
    return {DeviceIndex()};
}

void CFault_Dlg::EraseAllFaults()
{
    if (Port() == nullptr) return;
    Port()->SetHmuIndex(DeviceIndex());
    CUserInteraction::Message ask;
    ask.text = QStringLiteral("Are you sure you want to erase ALL\n the faults stored in the EEPROM memory?");
    ask.title = QStringLiteral("Erase EEPROM Faults");
    ask.icon = CUserInteraction::Icon::Exclamation;
    ask.buttons = CUserInteraction::Buttons::YesNo;
    if (Ui().MessageBox(this, ask) != kIdYes) {
        ShowFaultRecord();
        return;
    }
    SetBusy(m_erase, true);
    emit SequenceRunning();
    bool erased = true;
    QStringList notErased;  // one line per device left as it was
    if (m_demo) {
        m_records = {};
        m_count = 0;
        m_index = 0;
    } else {
        // The devices of the window's tabs, whatever their numbers; success
        // only when every one of them was erased.
        const uint16_t code = Services() ? Services()->FaultUnlockCode() : faultlog::kUnlockCode;
        CCableLock lock;
        for (const int device : WindowDevices()) {
            Port()->SetHmuIndex(device);
            const faultlog::EraseResult done = faultlog::EraseLog(*Port(), code);
            if (done.Erased()) continue;
            erased = false;
            notErased << Text(NotErasedText(device, done));
        }
    }
    CUserInteraction::Message result;
    if (erased) {
        result.text = QStringLiteral("EEPROM Memory has been erased");
        result.title = QStringLiteral("Fault Mem Cleared");
    } else {
        result.text = QStringLiteral("READ_FAULT_ENABLE has failed!");
        if (!notErased.isEmpty()) result.text += QLatin1Char('\n') + notErased.join(QLatin1Char('\n'));
        result.title = QStringLiteral("Fault Mem Error");
        result.icon = CUserInteraction::Icon::Error;
    }
    Ui().MessageBox(this, result);

    ReadAndShowLast();
    SetBusy(m_erase, false);
    ReportUnansweredRead();
}

QString CFault_Dlg::TitleText() const
{
    return m_title->text();
}

QString CFault_Dlg::ChannelName(int channel) const
{
    return m_channels.at(channel).name->text();
}

QString CFault_Dlg::ComparatorText(int channel, int comparator) const
{
    return m_channels.at(channel).states.at(comparator)->text();
}

QString CFault_Dlg::HvoutText(int output) const
{
    return m_hvoutValues.at(output)->text();
}

QString CFault_Dlg::GpioText(int pin) const
{
    return m_gpioValues.at(pin)->text();
}

bool CFault_Dlg::GpioNameEnabled(int pin) const
{
    return m_gpioNames.at(pin)->isEnabled();
}
