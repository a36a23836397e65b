#include "demo/TovinDemo2Dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <functional>
#include <optional>

#include "ui/AppServices.h"
#include "demo/DemoDialogSupport.h"
#include "demo/PowerNetworkChart.h"
#include "util/TextFormat.h"
#include "link/CableLock.h"
#include "widgets/PageValueLabel.h"

namespace {

// A read-out whose text colour is decided each time it is painted.
class CColouredValueLabel : public CPageValueLabel {
public:
    CColouredValueLabel(const QString& widest, std::function<QColor()> colour, QWidget* parent)
        : CPageValueLabel(widest, parent), m_colour(std::move(colour))
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, m_colour());
        const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
        style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette,
                              isEnabled(), text(), QPalette::WindowText);
    }

private:
    std::function<QColor()> m_colour;
};

QComboBox* MakeList(QWidget* parent, const QStringList& entries)
{
    auto* box = new QComboBox(parent);
    box->addItems(entries);
    return box;
}

QStringList ThresholdEntries()
{
    QStringList entries;
    for (const std::string& text : tmon::ThresholdListTexts()) entries << QString::fromStdString(text);
    return entries;
}

// The chosen entry, or nothing when the list has no choice.
std::optional<int> Chosen(const QComboBox* box)
{
    const int index = box->currentIndex();
    return index >= 0 ? std::optional<int>(index) : std::nullopt;
}

QString TemperatureText(float celsius)
{
    return QString::fromStdString(FormatText("%0.2f", static_cast<double>(celsius)));
}

// Every rail but DC-DC4 is left out.
constexpr int kRailsLeftOut[] = {0, 1, 2, 3, 5};

}  // namespace

CTovinDemo2Dlg::CTovinDemo2Dlg(CAppServices& services, QWidget* parent)
    : CTovinDemoDlgBase(services, parent), m_timer([this] {
          CCableLock lock;
          RefreshTemperatures();
      }, this)
{
    auto* group = new QGroupBox(QStringLiteral("Thermal Management Config"), this);
    m_board = new CPageValueLabel(QStringLiteral("-256.00"), group);
    m_resistor = new CColouredValueLabel(QStringLiteral("-256.00"), [this] { return ResistorColour(); }, group);
    const QStringList thresholds = ThresholdEntries();
    m_warm = MakeList(group, thresholds);
    m_hot = MakeList(group, thresholds);
    const QStringList fanSpeeds = {QStringLiteral("OFF"), QStringLiteral("25%"), QStringLiteral("50%"),
                                   QStringLiteral("75%"), QStringLiteral("Full")};
    m_warmFan = MakeList(group, fanSpeeds);
    m_hotFan = MakeList(group, fanSpeeds);
    m_wait = MakeList(group, {QStringLiteral("3 sec"), QStringLiteral("5 sec")});
    m_warmResponse = MakeList(group, {QStringLiteral("Supply Voltage -5%"), QStringLiteral("Supply Voltage -10%")});
    m_hotResponse = MakeList(group, {QStringLiteral("Supply Voltage -10%"), QStringLiteral("Full Shut Down")});
    m_start = new QPushButton(QStringLiteral("Start"), group);
    m_read = new QPushButton(QStringLiteral("Read"), group);
    m_write = new QPushButton(QStringLiteral("Write"), group);
    for (QPushButton* b : {m_start, m_read, m_write}) b->setAutoDefault(false);
    connect(m_start, &QPushButton::clicked, this, &CTovinDemo2Dlg::OnStart);
    connect(m_read, &QPushButton::clicked, this, &CTovinDemo2Dlg::OnRead);
    connect(m_write, &QPushButton::clicked, this, &CTovinDemo2Dlg::OnWrite);

    auto* grid = new QGridLayout(group);
    const auto label = [&](const QString& text) { return new QLabel(text, group); };
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    // Both temperatures on one row.
    auto* temperatures = new QHBoxLayout;
    temperatures->addWidget(label(QStringLiteral("Demo Board Temp:")));
    temperatures->addWidget(m_board);
    temperatures->addStretch();
    temperatures->addWidget(label(QStringLiteral("Demo Resistor* Temp:")));
    temperatures->addWidget(m_resistor);
    grid->addLayout(temperatures, 0, 0, 1, 3);
    grid->addWidget(label(QStringLiteral("Warm")), 1, 1, Qt::AlignCenter);
    grid->addWidget(label(QStringLiteral("Hot")), 1, 2, Qt::AlignCenter);
    grid->addWidget(label(QStringLiteral("Threshold")), 2, 0, right);
    grid->addWidget(m_warm, 2, 1);
    grid->addWidget(m_hot, 2, 2);
    grid->addWidget(label(QStringLiteral("On Fault\nSet Fan Speed")), 3, 0, right);
    grid->addWidget(m_warmFan, 3, 1);
    grid->addWidget(m_hotFan, 3, 2);
    grid->addWidget(label(QStringLiteral("Wait After Changing\nFan Speed")), 4, 0, right);
    grid->addWidget(m_wait, 4, 1);
    grid->addWidget(label(QStringLiteral("If Fault Persists\nRespond With")), 5, 0, right);
    grid->addWidget(m_warmResponse, 5, 1);
    grid->addWidget(m_hotResponse, 5, 2);
    grid->addWidget(label(QStringLiteral("*Resistor (R203) Pseudo IC on a Board")), 6, 0, 1, 3);
    // The heater and fan as the simulated board's design drives them; the
    // design has no register for them, so a real board shows nothing here.
    m_heaterFan = new QLabel(group);
    m_heaterFan->setObjectName(QStringLiteral("heaterFan"));
    m_heaterFan->setVisible(App().SimulatedThermal().has_value());
    grid->addWidget(m_heaterFan, 8, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addStretch();
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    grid->addLayout(buttons, 7, 0, 1, 3);
    SettingsColumn()->addWidget(group);
}

void CTovinDemo2Dlg::OnInitDialog()
{
    for (int rail : kRailsLeftOut) Chart().SetRailState(rail, demodesign::kRailNotInUse);
    RunSequence([this] {
        BaseOpening();
        LoadSteps(DemoText::StepsThermal);
        LoadObservations(DemoText::ObservationsThermal);
        RefreshTemperatures();
        demodesign::WriteResistorThresholds(Port(), demodesign::ThresholdsAbove(m_temperatures.board));
        return ReadSettings();
    });
    m_timer.Start(kTemperaturePeriod);
}

void CTovinDemo2Dlg::OnClosing()
{
    m_timer.Stop();
    CCableLock lock;
    demodesign::WriteField(Port(), demodesign::kThermalStarted, 0);
}

void CTovinDemo2Dlg::RefreshTemperatures()
{
    m_temperatures = demodesign::ReadTemperatures(Port());
    m_board->setText(TemperatureText(m_temperatures.board));
    m_resistor->setText(TemperatureText(m_temperatures.resistor));
    m_resistor->update();
    if (const std::optional<SimulatedThermalOutputs> outputs = App().SimulatedThermal()) {
        static const char* const kFan[] = {"Off", "25%", "50%", "75%", "Full"};
        const int fan = std::clamp(outputs->fanSpeed, 0, demodesign::kFanSpeeds - 1);
        m_heaterFan->setText(QStringLiteral("Simulated board: Heater %1, Fan %2")
                                 .arg(outputs->heaterOn ? QStringLiteral("On") : QStringLiteral("Off"),
                                      QString::fromLatin1(kFan[fan])));
    }
}

bool CTovinDemo2Dlg::ReadSettings()
{
    const demodesign::ThermalSettings s = demodesign::ReadThermal(Port());
    std::array<int, 7>& remembered = App().Remembered().demo2Values;
    remembered = {s.thresholds.codeA, s.thresholds.codeB, s.warmFan, s.hotFan, s.wait, s.warmResponse, s.hotResponse};
    demo::SelectEntry(m_warm, tmon::EntryFromCode(s.thresholds.codeA));
    demo::SelectEntry(m_hot, tmon::EntryFromCode(s.thresholds.codeB));
    demo::SelectEntry(m_warmFan, s.warmFan);
    demo::SelectEntry(m_hotFan, s.hotFan);
    demo::SelectEntry(m_wait, s.wait);
    demo::SelectEntry(m_warmResponse, s.warmResponse);
    // Hot responses start at 2; a value below leaves the list without a choice.
    demo::SelectEntry(m_hotResponse, s.hotResponse - demodesign::kFirstHotResponse);
    m_resistor->update();
    return s.answered;
}

void CTovinDemo2Dlg::OnStart()
{
    // Started once per opening; a start the design did not take may be tried again.
    if (RunSequence([this] { return demodesign::WriteField(Port(), demodesign::kThermalStarted, 1); }))
        m_start->setEnabled(false);
}

void CTovinDemo2Dlg::OnRead()
{
    demo::BusyButtons busy({m_read, m_write});
    RunSequence([this] { return ReadSettings(); });
}

void CTovinDemo2Dlg::OnWrite()
{
    demo::BusyButtons busy({m_read, m_write});
    demodesign::ThermalWrite w;
    w.thresholds = {tmon::CodeFromEntry(m_warm->currentIndex()), tmon::CodeFromEntry(m_hot->currentIndex())};
    // A list without a choice keeps what the register holds.
    w.warmFan = Chosen(m_warmFan);
    w.hotFan = Chosen(m_hotFan);
    w.wait = Chosen(m_wait);
    w.warmResponse = Chosen(m_warmResponse);
    if (const std::optional<int> hot = Chosen(m_hotResponse)) w.hotResponse = *hot + demodesign::kFirstHotResponse;

    std::array<int, 7>& remembered = App().Remembered().demo2Values;
    remembered[kWarm] = w.thresholds.codeA;
    remembered[kHot] = w.thresholds.codeB;
    const std::pair<const std::optional<int>&, Remembered> chosen[] = {
        {w.warmFan, kWarmFan}, {w.hotFan, kHotFan}, {w.wait, kWait},
        {w.warmResponse, kWarmResponse}, {w.hotResponse, kHotResponse}};
    for (const auto& [value, index] : chosen)
        if (value) remembered[index] = *value;
    m_resistor->update();

    RunSequence([&] { return demodesign::WriteThermal(Port(), w); });
}

QColor CTovinDemo2Dlg::HeatColour(demodesign::Heat heat)
{
    switch (heat) {
    case demodesign::Heat::Hot: return QColor(255, 0, 0);
    case demodesign::Heat::Warm: return QColor(255, 140, 0);
    default: return QColor(0, 127, 0);
    }
}

QColor CTovinDemo2Dlg::ResistorColour() const
{
    const std::array<int, 7>& remembered = App().Remembered().demo2Values;
    return HeatColour(demodesign::ResistorHeat(m_temperatures.resistor, remembered[kWarm], remembered[kHot]));
}

QString CTovinDemo2Dlg::BoardText() const
{
    return m_board->text();
}

QString CTovinDemo2Dlg::ResistorText() const
{
    return m_resistor->text();
}

QString CTovinDemo2Dlg::HeaterFanText() const
{
    return m_heaterFan->isHidden() ? QString() : m_heaterFan->text();
}
