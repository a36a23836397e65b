#pragma once
// The demonstration board in software: the simulated cable, its bus with the
// HMU devices and the main device, and the values and levels around them.
// The model (POT rails, the design's effect, R203, the board clock, what a
// person touches): sim/README.md. Board files: BoardFileHelp().

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sim/BoardFile.h"
#include "sim/BoardValues.h"
#include "sim/DemonstrationDesign.h"
#include "sim/HmuDevice.h"
#include "sim/MainDevice.h"
#include "sim/SimulatedFtdiDriver.h"

class CSimulatedBoard {
public:
    static constexpr int kMaxHmus = kBoardHmus;
    static constexpr int kPots = kBoardPots;
    using Duration = std::chrono::microseconds;
    // The clock runs the slow behaviours in steps no longer than this.
    static constexpr Duration kStep = std::chrono::milliseconds(10);
    // A trim loop closes its rail's distance to the target by e in this time,
    // and snaps to it once closer than kTrimSnapVolts: a full-scale step
    // settles in a little over one second, a 1 V step in under one.
    static constexpr Duration kTrimTimeConstant = std::chrono::milliseconds(120);
    static constexpr double kTrimSnapVolts = 0.0005;
    // Margining and DC-DC4 factors move at the same rate and snap at this distance.
    static constexpr double kTrimSnapScale = 0.0002;
    static constexpr uint8_t kHmuBaseAddress = 0xC0;
    static constexpr uint8_t kMainAddress = 0x40;
    // R203 is watched by HMU0's TMON2, the board temperature by HMU1's
    // internal sensor, where the demonstration design block reads them.
    static constexpr int kR203Monitor = demodesign::kResistorMonitor;
    static constexpr int kBoardMonitor = demodesign::kBoardMonitor;

    // A cable with nothing on its bus; every slot holds its typical values.
    CSimulatedBoard();
    ~CSimulatedBoard();
    CSimulatedBoard(const CSimulatedBoard&) = delete;
    CSimulatedBoard& operator=(const CSimulatedBoard&) = delete;

    // The demonstration board: HMU0, HMU1 and the main device, set up with
    // thresholds around the rails and two faults in HMU0's log.
    static std::unique_ptr<CSimulatedBoard> CreateDefault();
    // Two faults in HMU0's log as from an earlier run (POT1 under its trip
    // point, then R203 above both thresholds), for tests of the fault log;
    // a fresh board has none.
    void AddExampleFaults();
    // The values a slot starts with (HMU0 has its own set, the others HMU1's).
    static HmuBoardValues TypicalValues(int index);

    // The cable, to hand to the register port.
    std::shared_ptr<CSimulatedFtdiDriver> Driver() const { return m_driver; }
    static uint8_t HmuAddress(int index) { return static_cast<uint8_t>(kHmuBaseAddress + 2 * index); }

    // Devices. AddHmu returns the device already there, or attaches a new one
    // set up like the board's (thresholds around the slot's values, trim
    // codes, identification and signature); null for an index outside 0..7.
    std::shared_ptr<CHmuDevice> AddHmu(int index);
    bool RemoveHmu(int index);
    std::shared_ptr<CHmuDevice> Hmu(int index) const;  // null when absent
    std::shared_ptr<CMainDevice> AddMain();
    bool RemoveMain();
    std::shared_ptr<CMainDevice> Main() const { return m_main; }

    // Values. Setters return false (and change nothing) for an index or
    // channel out of range or a value that is not finite; sense resistors
    // must be above 0.
    const HmuBoardValues& Values(int index) const;
    bool SetValues(int index, const HmuBoardValues& values);
    bool SetVmon(int index, int channel, double volts);
    bool SetSenseCurrent(int index, int monitor, double amps);
    bool SetSenseResistor(int index, int monitor, double ohms);
    bool SetTemperature(int index, int monitor, double celsius);
    // Pin surroundings: pin 0..9 for GPIO1..GPIO10, output 0..3 for HVOUT1..HVOUT4.
    bool SetGpioInput(int index, int pin, bool high);
    bool SetGpioInterface(int index, int pin, bool high);
    bool SetHvoutInterface(int index, int output, bool high);
    // What a device of these values measures.
    static HmuInputs InputsOf(const HmuBoardValues& values);

    // What a device measures on a voltage input now (0 for an index or
    // channel out of range).
    double MeasuredVolts(int index, int channel) const;

    // POT rails, pot = 0..3 for POT1..POT4. The knob sets the voltage the
    // rail gives while it is on (the slot's VMON7 or VMON8 value).
    double PotVolts(int pot) const;
    bool SetPotVolts(int pot, double volts);
    PotWindow GetPotWindow(int pot) const;
    bool SetPotWindow(int pot, PotWindow window);
    uint8_t PotStatus() const;  // bits 0..3, 1 = good, as the rails are measured now

    // The demonstration design and the parts around it. The buttons act at
    // the next step of the clock, as the design samples them.
    const CDemonstrationDesign& Design() const { return m_design; }
    // Manual Restart also brings the design's fault-logging bit back to its
    // power-up value (a demonstration may have cleared it); the other fields
    // keep what was written, since the rails and resets take effect now.
    void PressManualRestart();
    void PressFaultButton() { m_design.PressFaultButton(); }  // PB_SW3
    // Supply LED supply (0..9) and reset LED reset (0..2) of device 0 (HMU0)
    // or 1 (HMU1).
    bool SupplyLed(int device, int supply) const;
    bool ResetLed(int device, int reset) const;
    bool FanAimed() const { return m_fanAimed; }
    void SetFanAimed(bool aimed) { m_fanAimed = aimed; }
    const ThermalSetup& GetThermalSetup() const { return m_thermalSetup; }
    bool SetThermalSetup(const ThermalSetup& setup);  // false for values out of range
    double R203Celsius() const { return m_values[demodesign::kThermalHmu].temperatures[kR203Monitor]; }
    double BoardCelsius() const { return m_values[demodesign::kBoardHmu].temperatures[kBoardMonitor]; }

    // The board clock. Advance moves it on by the elapsed time (nothing for a
    // time that is not positive) and runs what happens meanwhile.
    void Advance(Duration elapsed);
    Duration Now() const { return m_now; }

    // Board files (BoardFileHelp). On failure error holds one line naming the
    // source and line, and the board is unchanged. Only regular files up to
    // kMaxBoardFileBytes load.
    bool LoadFile(const std::string& path, std::string& error);
    bool LoadText(const std::string& text, std::string& error, const std::string& source = "board");
    static std::string_view BoardFileHelp() { return ::BoardFileHelp(); }

    // Sets a device up as the board's are: VMON comparator A about 10 % under
    // and B about 10 % over each input, IMON and TMON trip points, trim codes
    // for the rails. Used for every added device.
    static void SetUpDevice(CHmuDevice& device, const HmuBoardValues& values);

private:
    // One step of the clock.
    void Step(Duration step);
    void RunDesign();
    std::array<uint8_t, kBoardMainRegisters> MainRegisters() const;
    void RunThermal(Duration step);
    void RunTrimLoops(Duration step);
    // Where a trim loop takes its rail: the cell's code, 2 mV a code.
    double TrimGoalVolts(int index, int cell) const;
    // The factor margining and the thermal responses give a trimmed rail.
    double TrimScaleGoal(int index, int cell) const;
    bool SupplyOn(int index, int channel) const;
    HmuInputs MeasuredInputs(int index) const;
    // The comparators of the POT inputs of slot index at the windows' bounds.
    void SetUpPotComparators(int index);
    BoardPlan CurrentPlan() const;
    void Apply(const BoardPlan& plan);
    void PushValues(int index);
    void PushPotStatus();

    std::shared_ptr<CSimulatedFtdiDriver> m_driver;
    std::array<HmuBoardValues, kMaxHmus> m_values;
    std::array<std::shared_ptr<CHmuDevice>, kMaxHmus> m_hmus;
    std::shared_ptr<CMainDevice> m_main;
    std::array<PotWindow, kPots> m_potWindows;
    Duration m_now{0};

    CDemonstrationDesign m_design;
    // Margining and DC-DC4 factors as the rails have followed them so far.
    std::array<std::array<double, CHmuDevice::kTrimCells>, kMaxHmus> m_trimScale;
    // Fault log sizes of HMU0 and HMU1 when the design last saw no POT
    // fault: a POT fault with nothing logged since gets its record.
    std::array<size_t, CDemonstrationDesign::kDevices> m_logMarks{};
    bool m_fanAimed = true;
    bool m_r203Heated = false;  // the thermal demonstration has started once
    double m_airflow = 0.0;     // the fan's share of full air flow
    ThermalSetup m_thermalSetup;
};
