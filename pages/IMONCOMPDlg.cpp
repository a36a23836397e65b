#include "pages/IMONCOMPDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/Settings.h"
#include "ui/AppServices.h"
#include "ui/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "widgets/PageValueLabel.h"
#include "widgets/FloatEntryDlg.h"

namespace {

QString Text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
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
    if (!IsInitialised() || !Services()) return;
    for (int m = 0; m < imon::kMonitors; ++m)
        Services()->Settings().WriteReal(imon::SenseResistorSettingName(DeviceIndex(), m), m_ohms[m]);
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

void CIMONCOMPDlg::PrepareControls()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        const float stored = Services() ? Services()->Settings().ReadReal(imon::SenseResistorSettingName(DeviceIndex(), m),
                                                                     imon::kDefaultSenseResistance)
                                      : imon::kDefaultSenseResistance;
        // Zero, negative or not finite would divide by zero or turn currents round.
        m_ohms[m] = imon::UsableSenseResistance(stored);
    }
    for (int m = 0; m < imon::kMonitors; ++m) FillTripPointLists(m);
}

void CIMONCOMPDlg::FillTripPointLists(int monitor)
{
    QStringList texts;
    for (const std::string& text : imon::TripPointListTexts(m_ohms[monitor])) texts << Text(text);
    for (QComboBox* box : m_controls[monitor].tripPoints) {
        box->clear();
        box->addItems(texts);
        box->setCurrentIndex(-1);
    }
}

void CIMONCOMPDlg::ReadDevice()
{
    // Comparator states of a record that is not ready stay as they were.
    imon::Read(*Port(), m_values);
}

void CIMONCOMPDlg::DataToControls()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        const imon::MonitorValues& data = m_values[m];
        MonitorControls& c = m_controls[m];
        c.current->setText(Text(imon::CurrentText(imon::CurrentAmps(data.volts, data.gain, m_ohms[m]))));
        c.resistor->setText(Text(imon::ResistorCaption(m_ohms[m])));
        c.windowMode->setChecked(data.settings.windowMode);
        c.glitchFilter->setChecked(data.settings.glitchFilter);
    }
    for (int m = 0; m < imon::kMonitors; ++m)
        for (int k = 0; k < kComparators; ++k)
            m_controls[m].comparators[k]->setText(QString::number(m_values[m].comparators[k] ? 1 : 0));
    for (int m = 0; m < imon::kMonitors; ++m)
        for (int k = 0; k < kComparators; ++k) m_controls[m].tripPoints[k]->setCurrentIndex(m_values[m].tripEntries[k]);
}

void CIMONCOMPDlg::WriteDevice()
{
    for (int m = 0; m < imon::kMonitors; ++m) {
        // No selection writes the first entry, and the page then holds that one.
        for (int k = 0; k < kComparators; ++k)
            m_values[m].tripEntries[k] = std::max(m_controls[m].tripPoints[k]->currentIndex(), 0);
        m_values[m].settings.glitchFilter = m_controls[m].glitchFilter->isChecked();
        m_values[m].settings.windowMode = m_controls[m].windowMode->isChecked();
    }
    imon::Write(*Port(), m_values);
}

void CIMONCOMPDlg::OnSenseResistor(int monitor)
{
    const float milliohms = m_ohms[monitor] * 1000.0f;
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
    m_ohms[monitor] = imon::UsableSenseResistance(dialog.GetValue() / 1000.0f);
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
    return m_ohms.at(monitor);
}

int CIMONCOMPDlg::Gain(int monitor) const
{
    return m_values.at(monitor).gain;
}
