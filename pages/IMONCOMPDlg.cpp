#include "pages/IMONCOMPDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "app/TovinAppContext.h"
#include "app/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "pages/PageValueLabel.h"
#include "widgets/FloatEntryDlg.h"

namespace {

constexpr int kRecordPolls = 3;

QString Text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// Selects a monitor record and waits for it; nothing when it never became
// ready, so the caller keeps the states it had.
std::optional<uint8_t> ReadRecord(CTovin_I2C_Port& port, uint8_t select)
{
    port.WriteRegister(hmu::kCmdWriteMonitor, hmu::kRegMonitorSelect, select);
    for (int poll = 0; poll < kRecordPolls; ++poll) {
        if (port.ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorSelect) & hmu::kRecordReady)
            return port.ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorRecord);
    }
    return std::nullopt;
}

}  // namespace

CIMONCOMPDlg::CIMONCOMPDlg(QWidget* parent) : CReadWritePage(parent)
{

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildGroup(0));
    layout->addWidget(BuildGroup(1));
    layout->addStretch();
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(ButtonRow());
}

CIMONCOMPDlg::~CIMONCOMPDlg()
{
    // Only a page that was shown has values of its own; an unshown one would
    // overwrite the stored resistors with the defaults.
    if (!IsInitialised() || !HasApp()) return;
    for (int m = 0; m < imon::kMonitors; ++m) {
        TheApp().Settings().WriteReal(imon::SenseResistorSettingName(DeviceIndex(), m), m_monitors[m].ohms);
    }
}

QWidget* CIMONCOMPDlg::BuildGroup(int monitor)
{
    MonitorControls& c = m_controls[monitor];
    auto* group = new QGroupBox(monitor == 0 ? QStringLiteral("IMON1") : QStringLiteral("HIMON"), this);

    c.resistor = new QPushButton(group);
    connect(c.resistor, &QPushButton::clicked, this, [this, monitor] { OnSenseResistor(monitor); });
    c.current = new CPageValueLabel(QStringLiteral("-0000.000 Amps"), group);
    for (int k = 0; k < kComparators; ++k) {
        c.comparators[k] = new CPageValueLabel(QStringLiteral("00"), group);
        c.tripPoints[k] = new QComboBox(group);
        // A smaller resistor gives longer texts; the box follows them.
        c.tripPoints[k]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    }
    c.glitchFilter = new QCheckBox(QStringLiteral("Glitch Filter"), group);
    c.windowMode = new QCheckBox(QStringLiteral("Window Mode"), group);

    auto* grid = new QGridLayout(group);
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    grid->addWidget(new QLabel(QStringLiteral("Sense Resistor ="), group), 0, 0, right);
    grid->addWidget(c.resistor, 0, 1);
    grid->addWidget(new QLabel(monitor == 0 ? QStringLiteral("IMON1 =") : QStringLiteral("HIMON ="), group), 0, 3,
                    right);
    grid->addWidget(c.current, 0, 4);

    grid->addWidget(new QLabel(QStringLiteral("Comparator Status"), group), 1, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("Trip Point"), group), 1, 3, 1, 2, Qt::AlignLeft);
    static const char* const kNames[kComparators] = {"A =", "B ="};
    for (int k = 0; k < kComparators; ++k) {
        grid->addWidget(new QLabel(QString::fromLatin1(kNames[k]), group), 2 + k, 0, right);
        grid->addWidget(c.comparators[k], 2 + k, 1, Qt::AlignLeft);
        grid->addWidget(new QLabel(QString::fromLatin1(kNames[k]), group), 2 + k, 3, right);
        grid->addWidget(c.tripPoints[k], 2 + k, 4);
    }
    grid->addWidget(c.glitchFilter, 4, 0, 1, 2);
    grid->addWidget(c.windowMode, 4, 3, 1, 2);

    // A gap between the two halves; the value columns take any extra width.
    grid->setColumnMinimumWidth(2, fontMetrics().horizontalAdvance(QStringLiteral("0000")));
    grid->setColumnStretch(2, 1);
    return group;
}

bool CIMONCOMPDlg::OnInitDialog()
{
    const bool result = CReadWritePage::OnInitDialog();
    {
        CCableLock lock;
        LoadSenseResistors();
        for (int m = 0; m < imon::kMonitors; ++m) FillTripPointLists(m);
        ReadDevice();
        ShowPage();
    }
    EnableRead();
    return result;
}

void CIMONCOMPDlg::LoadSenseResistors()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        const float stored = TheApp().Settings().ReadReal(imon::SenseResistorSettingName(DeviceIndex(), m),
                                                          imon::kDefaultSenseResistance);
        // Zero, negative or not finite would divide by zero or turn currents round.
        m_monitors[m].ohms = imon::UsableSenseResistance(stored);
    }
}

void CIMONCOMPDlg::FillTripPointLists(int monitor)
{
    QStringList texts;
    for (const std::string& text : imon::TripPointListTexts(m_monitors[monitor].ohms)) texts << Text(text);
    for (QComboBox* box : m_controls[monitor].tripPoints) {
        box->clear();
        box->addItems(texts);
        box->setCurrentIndex(-1);
    }
}

void CIMONCOMPDlg::ReadDevice()
{
    Measure();
    ReadComparators();
    ReadTripPoints();
    ReadSettings();
}

void CIMONCOMPDlg::Measure()
{
    for (int m = 0; m < imon::kMonitors; ++m) m_monitors[m].volts = Port()->MeasureVoltage(m);
}

void CIMONCOMPDlg::ReadComparators()
{
    // Each record select carries the outputs it holds; a record that is not
    // ready leaves those outputs as they were.
    for (const uint8_t select : {uint8_t{2}, uint8_t{3}}) {
        const std::optional<uint8_t> record = ReadRecord(*Port(), select);
        if (!record) continue;
        for (int m = 0; m < imon::kMonitors; ++m) {
            for (int k = 0; k < kComparators; ++k) {
                const imon::RecordBit where = imon::ComparatorRecordBit(m, k);
                if (where.select == select) m_monitors[m].comparators[k] = (*record >> where.bit) & 1;
            }
        }
    }
}

void CIMONCOMPDlg::ReadTripPoints()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        uint8_t raw = 0;
        m_monitors[m].gain = Port()->ReadSenseRange(m, &raw);
        const imon::TripRegister trip = imon::DecodeTripRegister(raw);
        m_monitors[m].tripPoints[0] = imon::TripPointVolts(trip.entryA);
        m_monitors[m].tripPoints[1] = imon::TripPointVolts(trip.entryB);
    }
}

void CIMONCOMPDlg::ReadSettings()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        const uint8_t value =
            Port()->ReadRegister(hmu::kCmdReadConfig, imon::RegistersOf(m).settingsRegister);
        m_monitors[m].settings = imon::DecodeSettings(value);
    }
}

void CIMONCOMPDlg::DataToControls()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        const Monitor& data = m_monitors[m];
        MonitorControls& c = m_controls[m];
        c.current->setText(Text(imon::CurrentText(imon::CurrentAmps(data.volts, data.gain, data.ohms))));
        c.resistor->setText(Text(imon::ResistorCaption(data.ohms)));
        c.windowMode->setChecked(data.settings.windowMode);
        c.glitchFilter->setChecked(data.settings.glitchFilter);
    }
    for (int m = 0; m < imon::kMonitors; ++m)
        for (int k = 0; k < kComparators; ++k)
            m_controls[m].comparators[k]->setText(QString::number(m_monitors[m].comparators[k]));
    for (int m = 0; m < imon::kMonitors; ++m) {
        for (int k = 0; k < kComparators; ++k) {
            // A value that is not in the table leaves the box as it is.
            if (const std::optional<int> entry = imon::EntryOfTripPoint(m_monitors[m].tripPoints[k]))
                m_controls[m].tripPoints[k]->setCurrentIndex(*entry);
        }
    }
}

void CIMONCOMPDlg::WriteDevice()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        Monitor& data = m_monitors[m];
        const int entryA = m_controls[m].tripPoints[0]->currentIndex();
        const int entryB = m_controls[m].tripPoints[1]->currentIndex();
        // No selection writes the first entry, and the page then holds that one.
        const imon::TripWrite trip = imon::EncodeTripRegister(entryA, entryB);
        data.tripPoints[0] = imon::TripPointVolts(entryA);
        data.tripPoints[1] = imon::TripPointVolts(entryB);
        data.gain = Port()->WriteSenseRange(m, trip.value);
    }
    Port()->UpdateConfiguration();
    for (int m = 0; m < imon::kMonitors; ++m) {
        m_monitors[m].settings.glitchFilter = m_controls[m].glitchFilter->isChecked();
        m_monitors[m].settings.windowMode = m_controls[m].windowMode->isChecked();
    }
    for (int m = 0; m < imon::kMonitors; ++m) {
        Port()->WriteRegister(hmu::kCmdWriteConfig, imon::RegistersOf(m).settingsRegister,
                              imon::EncodeSettings(m_monitors[m].settings));
    }
    Port()->UpdateConfiguration();
}

void CIMONCOMPDlg::OnSenseResistor(int monitor)
{
    Monitor& data = m_monitors[monitor];
    const float milliohms = data.ohms * 1000.0f;
    CFloatEntryDlg dialog(this);
    dialog.SetCaption(monitor == 0 ? QStringLiteral("IMON Sense Resistor Value")
                                   : QStringLiteral("HIMON Sense Resistor Value"));
    dialog.SetPrompt(QStringLiteral("Enter a Resistor Value (mOhms)"));
    dialog.SetMaximum(100.0f);
    dialog.SetMinimum(0.1f);
    dialog.SetValue(milliohms);
    dialog.SetDefault(milliohms);
    dialog.SetDigits(5);
    if (dialog.DoModal() != kIdOk) return;
    data.ohms = imon::UsableSenseResistance(dialog.GetValue() / 1000.0f);
    for (int m = 0; m < imon::kMonitors; ++m) FillTripPointLists(m);
    ShowPage();
}

QString CIMONCOMPDlg::CurrentText(int monitor) const
{
    return m_controls.at(monitor).current->text();
}

QString CIMONCOMPDlg::ComparatorText(int monitor, int comparator) const
{
    return m_controls.at(monitor).comparators.at(comparator)->text();
}

QComboBox* CIMONCOMPDlg::TripPointBox(int monitor, int comparator) const
{
    return m_controls.at(monitor).tripPoints.at(comparator);
}

QCheckBox* CIMONCOMPDlg::GlitchFilterBox(int monitor) const
{
    return m_controls.at(monitor).glitchFilter;
}

QCheckBox* CIMONCOMPDlg::WindowModeBox(int monitor) const
{
    return m_controls.at(monitor).windowMode;
}

QPushButton* CIMONCOMPDlg::SenseResistorButton(int monitor) const
{
    return m_controls.at(monitor).resistor;
}

float CIMONCOMPDlg::SenseResistance(int monitor) const
{
    return m_monitors.at(monitor).ohms;
}

int CIMONCOMPDlg::Gain(int monitor) const
{
    return m_monitors.at(monitor).gain;
}
