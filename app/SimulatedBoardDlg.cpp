#include "app/SimulatedBoardDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "ui/LedIndicator.h"
#include "device/blocks/Tmon.h"
#include "sim/SimulatedBoard.h"

namespace {

using Design = CDemonstrationDesign;

const QColor kSupplyColour(0, 200, 0);
const QColor kResetColour(255, 170, 0);
const QColor kGood(0, 200, 0);
const QColor kBad(230, 0, 0);
// The reference designators of the POT knobs on the board.
const char* const kPotNames[] = {"POT1 (R33)", "POT2 (R35)", "POT3 (R38)", "POT4 (R40)"};
const char* const kFanSpeeds[] = {"OFF", "25%", "50%", "75%", "Full"};

struct FaultKind {
    HmuFault fault;
    const char* name;
    bool perCommand;  // may be limited to one command byte
};
const FaultKind kFaultKinds[] = {
    {HmuFault::AddressNack, "Address not acknowledged", false},
    {HmuFault::CommandNack, "Command byte not acknowledged", true},
    {HmuFault::DataNack, "Data byte not acknowledged", true},
    {HmuFault::WrongEnableAnswer, "READ_FAULT_ENABLE answers wrong", false},
    {HmuFault::ConversionNeverReady, "Conversion never ready", false},
};

QString Degrees(double celsius)
{
    return QString::number(celsius, 'f', 2) + QStringLiteral(" \u00B0C");
}

QString SequenceText(const CSimulatedBoard& board)
{
    if (!board.Main()) return QStringLiteral("No main device: every supply stays on");
    const Design& design = board.Design();
    const QString rails = design.TwentyRails() ? QStringLiteral("20 rails") : QStringLiteral("10 rails");
    const QString resets = design.ResetsPerDevice() == 1
                               ? QStringLiteral("1 reset per device")
                               : QStringLiteral("%1 resets per device").arg(design.ResetsPerDevice());
    switch (design.GetSequence()) {
    case Design::Sequence::Up: return QStringLiteral("Supplies up (%1, %2)").arg(rails, resets);
    case Design::Sequence::Sequencing: return QStringLiteral("Sequencing (%1, %2)").arg(rails, resets);
    case Design::Sequence::Off: break;
    }
    switch (design.GetStop()) {
    case Design::Stop::PotFault: return QStringLiteral("Shut down: POT%1 out of its window").arg(design.StopPot() + 1);
    case Design::Stop::FaultButton: return QStringLiteral("Shut down: PB_SW3 pushed");
    case Design::Stop::ThermalShutDown: return QStringLiteral("Shut down: R203 still hot (full shut-down)");
    case Design::Stop::None: break;
    }
    return QStringLiteral("Supplies off: press Manual Restart");
}

QString ThermalText(Design::Thermal state)
{
    switch (state) {
    case Design::Thermal::Idle: return QStringLiteral("Not started");
    case Design::Thermal::Cooling: return QStringLiteral("Cooling down (fan full, heater off)");
    case Design::Thermal::Heating: return QStringLiteral("Heating (fan off)");
    case Design::Thermal::Warm: return QStringLiteral("Warm: fan at the warm speed");
    case Design::Thermal::Hot: return QStringLiteral("Hot: fan at the hot speed");
    case Design::Thermal::ShutDown: return QStringLiteral("Full shut-down");
    }
    return {};
}

template <class Widget>
Widget* Named(Widget* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

}  // namespace

CSimulatedBoardDlg::CSimulatedBoardDlg(CSimulatedBoard& board, QWidget* parent)
    : CTovinDialog(parent), m_board(board), m_refresh(new QTimer(this))
{
    setWindowTitle(QStringLiteral("ZENT I2C Simulated Board"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    setModal(false);

    // Two tabs rather than two columns: narrow enough to sit beside a
    // demonstration on a laptop screen. What a person touches while a
    // demonstration runs is on the first; the test bench on the second.
    auto* tabs = Named(new QTabWidget(this), QStringLiteral("tabs"));
    auto* boardPage = new QWidget(tabs);
    auto* boardColumn = new QVBoxLayout(boardPage);
    boardColumn->addWidget(BuildSupplies());
    boardColumn->addWidget(BuildPots());
    boardColumn->addWidget(BuildThermal());
    boardColumn->addStretch();
    auto* benchPage = new QWidget(tabs);
    auto* benchColumn = new QVBoxLayout(benchPage);
    benchColumn->addWidget(BuildDesignOptions());
    benchColumn->addWidget(BuildDevices());
    benchColumn->addWidget(BuildFaults());
    benchColumn->addStretch();
    tabs->addTab(boardPage, QStringLiteral("&Board"));
    tabs->addTab(benchPage, QStringLiteral("&Test Bench"));

    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);

    auto* top = new QVBoxLayout(this);
    top->addWidget(tabs);
    top->addLayout(bottom);

    connect(m_refresh, &QTimer::timeout, this, &CSimulatedBoardDlg::Refresh);
    m_refresh->start(kRefreshMs);
    Refresh();
}

double CSimulatedBoardDlg::KnobVolts(int position)
{
    return kKnobLowVolts + position * kKnobStepVolts;
}

int CSimulatedBoardDlg::KnobPosition(double volts)
{
    const int last = static_cast<int>(std::lround((kKnobHighVolts - kKnobLowVolts) / kKnobStepVolts));
    const long position = std::lround((volts - kKnobLowVolts) / kKnobStepVolts);
    return static_cast<int>(std::clamp<long>(position, 0, last));
}

QColor CSimulatedBoardDlg::TemperatureColour(double celsius, int warmDegrees, int hotDegrees)
{
    if (celsius >= hotDegrees) return QColor(255, 0, 0);
    if (celsius >= warmDegrees) return QColor(255, 140, 0);
    return QColor(0, 127, 0);
}

QString CSimulatedBoardDlg::ActiveFaultsText(const CHmuDevice& device)
{
    QStringList armed;
    for (const FaultKind& kind : kFaultKinds) {
        const int times = device.FaultTimes(kind.fault);
        if (times == 0) continue;
        QString text = QString::fromLatin1(kind.name);
        const int command = device.FaultCommand(kind.fault);
        if (kind.perCommand && command != CHmuDevice::kAnyCommand)
            text += QString::asprintf(" (command 0x%02X)", command);
        text += times == CHmuDevice::kAlways ? QStringLiteral(", always") : QStringLiteral(", %1 more").arg(times);
        armed << text;
    }
    return armed.isEmpty() ? QStringLiteral("none") : armed.join(QStringLiteral("\n"));
}

QWidget* CSimulatedBoardDlg::BuildSupplies()
{
    auto* group = new QGroupBox(QStringLiteral("Supplies and Resets"), this);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(4);
    grid->addWidget(new QLabel(QStringLiteral("Supply"), group), 0, 0);
    for (int supply = 0; supply < Design::kSupplies; ++supply) {
        auto* number = new QLabel(QString::number(supply + 1), group);
        number->setAlignment(Qt::AlignCenter);
        grid->addWidget(number, 0, 1 + supply);
    }
    const int resetColumn = 2 + Design::kSupplies;
    grid->addWidget(new QLabel(QStringLiteral("Resets"), group), 0, resetColumn, 1, Design::kResetOutputs);
    grid->setColumnMinimumWidth(1 + Design::kSupplies, fontMetrics().height());
    for (int device = 0; device < Design::kDevices; ++device) {
        grid->addWidget(new QLabel(QStringLiteral("HMU%1").arg(device), group), 1 + device, 0);
        for (int supply = 0; supply < Design::kSupplies; ++supply)
            grid->addWidget(Named(new CLedIndicator(kSupplyColour, group),
                                  QStringLiteral("supply%1_%2").arg(device).arg(supply + 1)),
                            1 + device, 1 + supply, Qt::AlignCenter);
        for (int reset = 0; reset < Design::kResetOutputs; ++reset)
            grid->addWidget(Named(new CLedIndicator(kResetColour, group),
                                  QStringLiteral("reset%1_%2").arg(device).arg(reset + 1)),
                            1 + device, resetColumn + reset, Qt::AlignCenter);
    }
    grid->addWidget(Named(new QLabel(group), QStringLiteral("sequence")), 3, 0, 1, resetColumn + Design::kResetOutputs);

    auto* restart = Named(new QPushButton(QStringLiteral("Manual &Restart"), group), QStringLiteral("restart"));
    auto* fault = Named(new QPushButton(QStringLiteral("&PB_SW3 (fault)"), group), QStringLiteral("pbsw3"));
    for (QPushButton* button : {restart, fault}) button->setAutoDefault(false);
    restart->setToolTip(QStringLiteral("Switches everything off and powers the supplies up again, one by one"));
    fault->setToolTip(QStringLiteral("A fault the design sees: it shuts every supply down until Manual Restart"));
    connect(restart, &QPushButton::clicked, this, [this] { m_board.PressManualRestart(); });
    connect(fault, &QPushButton::clicked, this, [this] { m_board.PressFaultButton(); });
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) + fontMetrics().height() / 2);
    buttons->addWidget(restart);
    buttons->addWidget(fault);
    buttons->addStretch();
    grid->addLayout(buttons, 4, 0, 1, resetColumn + Design::kResetOutputs);
    return group;
}

QWidget* CSimulatedBoardDlg::BuildPots()
{
    auto* group = new QGroupBox(QStringLiteral("POT Rails"), this);
    auto* grid = new QGridLayout(group);
    const int side = fontMetrics().height() * 3;
    for (int pot = 0; pot < kBoardPots; ++pot) {
        auto* name = new QLabel(QString::fromLatin1(kPotNames[pot]), group);
        name->setAlignment(Qt::AlignCenter);
        auto* knob = Named(new QDial(group), QStringLiteral("pot%1").arg(pot + 1));
        knob->setRange(0, KnobPosition(kKnobHighVolts));
        knob->setNotchesVisible(true);
        knob->setFixedSize(side, side);
        knob->setValue(KnobPosition(m_board.PotVolts(pot)));
        connect(knob, &QDial::valueChanged, this, [this, pot](int position) { OnKnob(pot, position); });
        auto* volts = Named(new QLabel(group), QStringLiteral("potVolts%1").arg(pot + 1));
        volts->setAlignment(Qt::AlignCenter);
        auto* led = Named(new CLedIndicator(kGood, group), QStringLiteral("potLed%1").arg(pot + 1));
        grid->addWidget(name, 0, pot, Qt::AlignCenter);
        grid->addWidget(knob, 1, pot, Qt::AlignCenter);
        auto* reading = new QHBoxLayout;
        reading->addStretch();
        reading->addWidget(led);
        reading->addWidget(volts);
        reading->addStretch();
        grid->addLayout(reading, 2, pot);
    }
    return group;
}

QWidget* CSimulatedBoardDlg::BuildThermal()
{
    auto* group = new QGroupBox(QStringLiteral("Thermal Management"), this);
    auto* form = new QFormLayout(group);
    auto* aimed = Named(new QCheckBox(QStringLiteral("Fan &aimed at resistor R203"), group), QStringLiteral("fanAimed"));
    aimed->setChecked(m_board.FanAimed());
    connect(aimed, &QCheckBox::toggled, this, [this](bool on) { m_board.SetFanAimed(on); });
    form->addRow(aimed);
    form->addRow(QStringLiteral("Heater:"), Named(new QLabel(group), QStringLiteral("heater")));
    form->addRow(QStringLiteral("Fan:"), Named(new QLabel(group), QStringLiteral("fan")));
    form->addRow(QStringLiteral("R203 (HMU0 TMON2):"), Named(new QLabel(group), QStringLiteral("r203")));
    form->addRow(QStringLiteral("Board (HMU1 TMON int):"), Named(new QLabel(group), QStringLiteral("boardTemp")));
    form->addRow(QStringLiteral("Design:"), Named(new QLabel(group), QStringLiteral("thermal")));
    form->addRow(QStringLiteral("DC-DC4:"), Named(new QLabel(group), QStringLiteral("dcdc4")));
    return group;
}

QWidget* CSimulatedBoardDlg::BuildDesignOptions()
{
    auto* group = new QGroupBox(QStringLiteral("Demonstration Design"), this);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Margining:"), Named(new QLabel(group), QStringLiteral("margin")));
    form->addRow(QStringLiteral("DC/DC clocking:"), Named(new QLabel(group), QStringLiteral("clocking")));
    form->addRow(QStringLiteral("Fault logging:"), Named(new QLabel(group), QStringLiteral("logging")));
    return group;
}

QWidget* CSimulatedBoardDlg::BuildDevices()
{
    auto* group = new QGroupBox(QStringLiteral("Devices on the Bus"), this);
    auto* grid = new QGridLayout(group);
    for (int hmu = 0; hmu < CSimulatedBoard::kMaxHmus; ++hmu) {
        auto* box = Named(new QCheckBox(QStringLiteral("HMU%1").arg(hmu), group), QStringLiteral("present%1").arg(hmu));
        connect(box, &QCheckBox::toggled, this, [this, hmu](bool on) { OnPresent(hmu, on); });
        grid->addWidget(box, hmu / 4, hmu % 4);
    }
    auto* main = Named(new QCheckBox(QStringLiteral("Main device"), group), QStringLiteral("mainPresent"));
    connect(main, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            m_board.AddMain();
        } else {
            m_board.RemoveMain();
        }
    });
    auto* cable = Named(new QCheckBox(QStringLiteral("Cable plugged in"), group), QStringLiteral("cablePlugged"));
    connect(cable, &QCheckBox::toggled, this, [this](bool on) { m_board.Driver()->SetPlugged(on); });
    grid->addWidget(main, 2, 0, 1, 2);
    grid->addWidget(cable, 2, 2, 1, 2);
    return group;
}

QWidget* CSimulatedBoardDlg::BuildFaults()
{
    auto* group = new QGroupBox(QStringLiteral("Faults to Inject"), this);
    auto* form = new QFormLayout(group);
    auto* device = Named(new QComboBox(group), QStringLiteral("faultDevice"));
    for (int hmu = 0; hmu < CSimulatedBoard::kMaxHmus; ++hmu) device->addItem(QStringLiteral("HMU%1").arg(hmu));
    auto* kind = Named(new QComboBox(group), QStringLiteral("faultKind"));
    for (const FaultKind& k : kFaultKinds) kind->addItem(QString::fromLatin1(k.name));
    auto* times = Named(new QSpinBox(group), QStringLiteral("faultTimes"));
    times->setRange(1, 999);
    auto* always = Named(new QCheckBox(QStringLiteral("Always"), group), QStringLiteral("faultAlways"));
    auto* timesRow = new QHBoxLayout;
    timesRow->addWidget(times);
    timesRow->addWidget(always);
    timesRow->addStretch();
    auto* command = Named(new QLineEdit(group), QStringLiteral("faultCommand"));
    command->setPlaceholderText(QStringLiteral("any, or e.g. 0x35"));
    auto* inject = Named(new QPushButton(QStringLiteral("&Inject"), group), QStringLiteral("inject"));
    auto* clear = Named(new QPushButton(QStringLiteral("C&lear Faults"), group), QStringLiteral("clearFaults"));
    for (QPushButton* button : {inject, clear}) button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(inject);
    buttons->addWidget(clear);
    buttons->addStretch();
    auto* active = Named(new QLabel(group), QStringLiteral("activeFaults"));

    form->addRow(QStringLiteral("Device:"), device);
    form->addRow(QStringLiteral("Fault:"), kind);
    form->addRow(QStringLiteral("Times:"), timesRow);
    form->addRow(QStringLiteral("Command byte:"), command);
    form->addRow(buttons);
    form->addRow(QStringLiteral("Armed:"), active);

    connect(inject, &QPushButton::clicked, this, &CSimulatedBoardDlg::OnInject);
    connect(clear, &QPushButton::clicked, this, &CSimulatedBoardDlg::OnClearFaults);
    connect(always, &QCheckBox::toggled, times, &QWidget::setDisabled);
    // A changed choice makes a refused one moot.
    const auto changed = [this] {
        m_faultError.clear();
        UpdateFaultControls();
    };
    connect(kind, &QComboBox::currentIndexChanged, this, changed);
    connect(device, &QComboBox::currentIndexChanged, this, changed);
    connect(command, &QLineEdit::textChanged, this, changed);
    return group;
}

void CSimulatedBoardDlg::OnKnob(int pot, int position)
{
    m_board.SetPotVolts(pot, KnobVolts(position));
    Refresh();
}

void CSimulatedBoardDlg::OnPresent(int hmu, bool present)
{
    if (present) {
        m_board.AddHmu(hmu);
    } else {
        m_board.RemoveHmu(hmu);
    }
    UpdateFaultControls();
}

void CSimulatedBoardDlg::OnInject()
{
    const int hmu = findChild<QComboBox*>(QStringLiteral("faultDevice"))->currentIndex();
    const FaultKind& kind = kFaultKinds[findChild<QComboBox*>(QStringLiteral("faultKind"))->currentIndex()];
    const std::shared_ptr<CHmuDevice> device = m_board.Hmu(hmu);
    m_faultError.clear();
    if (!device) {
        UpdateFaultControls();  // says it is not on the board
        return;
    }
    int command = CHmuDevice::kAnyCommand;
    const QString text = findChild<QLineEdit*>(QStringLiteral("faultCommand"))->text().trimmed();
    if (kind.perCommand && !text.isEmpty()) {
        bool ok = false;
        command = text.toInt(&ok, 0);
        if (!ok || command < 0 || command > 0xFF) {
            m_faultError = QStringLiteral("Command byte: 0 to 0xFF, or empty for any");
            UpdateFaultControls();
            return;
        }
    }
    const int times = findChild<QCheckBox*>(QStringLiteral("faultAlways"))->isChecked()
                          ? CHmuDevice::kAlways
                          : findChild<QSpinBox*>(QStringLiteral("faultTimes"))->value();
    device->InjectFault(kind.fault, times, command);
    UpdateFaultControls();
}

void CSimulatedBoardDlg::OnClearFaults()
{
    const int hmu = findChild<QComboBox*>(QStringLiteral("faultDevice"))->currentIndex();
    m_faultError.clear();
    if (const std::shared_ptr<CHmuDevice> device = m_board.Hmu(hmu))
        for (const FaultKind& kind : kFaultKinds) device->InjectFault(kind.fault, 0);
    UpdateFaultControls();
}

void CSimulatedBoardDlg::UpdateFaultControls()
{
    const int kindIndex = findChild<QComboBox*>(QStringLiteral("faultKind"))->currentIndex();
    findChild<QLineEdit*>(QStringLiteral("faultCommand"))->setEnabled(kindIndex >= 0 && kFaultKinds[kindIndex].perCommand);
    const int hmu = findChild<QComboBox*>(QStringLiteral("faultDevice"))->currentIndex();
    const std::shared_ptr<CHmuDevice> device = m_board.Hmu(hmu);
    // A refused entry stays in view until the next change: the refresh timer would hide it at once.
    findChild<QLabel*>(QStringLiteral("activeFaults"))
        ->setText(!m_faultError.isEmpty() ? m_faultError
                  : device               ? ActiveFaultsText(*device)
                                         : QStringLiteral("HMU%1 is not on the board").arg(hmu));
}

void CSimulatedBoardDlg::Refresh()
{
    const Design& design = m_board.Design();
    const bool designed = m_board.Main() != nullptr;
    for (int device = 0; device < Design::kDevices; ++device) {
        for (int supply = 0; supply < Design::kSupplies; ++supply)
            findChild<CLedIndicator*>(QStringLiteral("supply%1_%2").arg(device).arg(supply + 1))
                ->SetLit(m_board.SupplyLed(device, supply));
        for (int reset = 0; reset < Design::kResetOutputs; ++reset)
            findChild<CLedIndicator*>(QStringLiteral("reset%1_%2").arg(device).arg(reset + 1))
                ->SetLit(m_board.ResetLed(device, reset));
    }
    findChild<QLabel*>(QStringLiteral("sequence"))->setText(SequenceText(m_board));

    const uint8_t good = m_board.PotStatus();
    for (int pot = 0; pot < kBoardPots; ++pot) {
        auto* knob = findChild<QDial*>(QStringLiteral("pot%1").arg(pot + 1));
        // A knob being turned keeps its place; otherwise it shows the board's value.
        if (!knob->isSliderDown() && KnobVolts(knob->value()) != m_board.PotVolts(pot)) {
            const QSignalBlocker quiet(knob);
            knob->setValue(KnobPosition(m_board.PotVolts(pot)));
        }
        const PotWindow window = m_board.GetPotWindow(pot);
        knob->setToolTip(QStringLiteral("Turn to set the rail's voltage; it is good from %1 V to %2 V")
                             .arg(QString::number(window.low, 'f', 3), QString::number(window.high, 'f', 3)));
        const demodesign::RailInput rail = demodesign::PotInput(pot);
        findChild<QLabel*>(QStringLiteral("potVolts%1").arg(pot + 1))
            ->setText(QString::number(m_board.MeasuredVolts(rail.hmu, rail.channel), 'f', 3) + QStringLiteral(" V"));
        auto* led = findChild<CLedIndicator*>(QStringLiteral("potLed%1").arg(pot + 1));
        led->SetColour((good >> pot) & 1 ? kGood : kBad);
        // HMU1's rails take no part in a 10-rail board: neither good nor bad.
        led->SetLit(!designed || design.TwentyRails() || rail.hmu == 0);
    }

    findChild<QLabel*>(QStringLiteral("heater"))
        ->setText(designed && design.HeaterOn() ? QStringLiteral("On") : QStringLiteral("Off"));
    findChild<QLabel*>(QStringLiteral("fan"))
        ->setText(QString::fromLatin1(kFanSpeeds[designed ? design.FanSpeed() : 0]));
    int warm = 0;
    int hot = 0;
    if (const std::shared_ptr<CHmuDevice> hmu0 = m_board.Hmu(0)) {
        const int monitor = CSimulatedBoard::kR203Monitor;
        const tmon::Thresholds codes = tmon::DecodeThresholds(hmu0->ActiveConfiguration(tmon::Config3Register(monitor)),
                                                              hmu0->ActiveConfiguration(tmon::Config4Register(monitor)),
                                                              hmu0->ActiveConfiguration(tmon::Config5Register(monitor)));
        warm = tmon::DegreesOfCode(codes.codeA);
        hot = tmon::DegreesOfCode(codes.codeB);
    }
    auto* r203 = findChild<QLabel*>(QStringLiteral("r203"));
    r203->setText(Degrees(m_board.R203Celsius()) +
                  (m_board.Hmu(0) ? QStringLiteral("  (warm %1, hot %2)").arg(warm).arg(hot) : QString()));
    QPalette palette = r203->palette();
    palette.setColor(QPalette::WindowText, TemperatureColour(m_board.R203Celsius(), warm, hot));
    r203->setPalette(palette);
    findChild<QLabel*>(QStringLiteral("boardTemp"))->setText(Degrees(m_board.BoardCelsius()));
    findChild<QLabel*>(QStringLiteral("thermal"))->setText(designed ? ThermalText(design.GetThermal()) : QString());
    const int dcdc4 = designed ? design.Dcdc4Percent() : 0;
    findChild<QLabel*>(QStringLiteral("dcdc4"))
        ->setText(dcdc4 == 0 ? QStringLiteral("Normal") : QStringLiteral("Supply Voltage %1%").arg(dcdc4));

    const int margin = designed ? design.MarginPercent() : 0;
    findChild<QLabel*>(QStringLiteral("margin"))
        ->setText(margin == 0 ? QStringLiteral("Normal") : margin > 0 ? QStringLiteral("+5%") : QStringLiteral("-5%"));
    findChild<QLabel*>(QStringLiteral("clocking"))
        ->setText(designed && design.PhaseShifted() ? QStringLiteral("90 degree Phase shifts")
                                                    : QStringLiteral("Synchronous"));
    findChild<QLabel*>(QStringLiteral("logging"))
        ->setText(designed ? QString::fromStdString(design.FaultLoggingText())
                           : QStringLiteral("On (no demonstration design: every fault is logged)"));

    for (int hmu = 0; hmu < CSimulatedBoard::kMaxHmus; ++hmu) {
        auto* box = findChild<QCheckBox*>(QStringLiteral("present%1").arg(hmu));
        const QSignalBlocker quiet(box);
        box->setChecked(m_board.Hmu(hmu) != nullptr);
    }
    auto* main = findChild<QCheckBox*>(QStringLiteral("mainPresent"));
    const QSignalBlocker quietMain(main);
    main->setChecked(designed);
    auto* cable = findChild<QCheckBox*>(QStringLiteral("cablePlugged"));
    const QSignalBlocker quietCable(cable);
    cable->setChecked(m_board.Driver()->IsPlugged());
    UpdateFaultControls();
}
