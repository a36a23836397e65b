#pragma once
// The demonstration board in software: a simulated cable whose I2C bus holds
// up to eight HMU devices (at 0xC0 + 2n) and the main device (at 0x40), and
// the analog values and pin levels around those devices. Tests and users
// change the values here; the board hands them to the devices, and keeps the
// main device's POT1..POT4 status bits in step with the POT rails.
//
// POT1 and POT2 are VMON7 and VMON8 of HMU0, POT3 and POT4 VMON7 and VMON8 of
// HMU1; a POT rail is good while its voltage is inside its window (bounds
// included). Values are kept per slot, so a device that is removed and added
// again measures what it measured before.
//
// The board has a clock of its own that only moves when told (Advance): the
// tests step it by hand, the desktop app from a timer in real time, the
// command line's sleep by the time slept. It drives what is slow on the real
// board: a trim cell's closed loop moving its rail towards the target.
//
// Board files (LoadFile, LoadText) are described by BoardFileHelp().

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sim/BoardFile.h"
#include "sim/BoardValues.h"
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
    static constexpr uint8_t kHmuBaseAddress = 0xC0;
    static constexpr uint8_t kMainAddress = 0x40;

    // A cable with nothing on its bus; every slot holds its typical values.
    CSimulatedBoard();
    ~CSimulatedBoard();
    CSimulatedBoard(const CSimulatedBoard&) = delete;
    CSimulatedBoard& operator=(const CSimulatedBoard&) = delete;

    // The demonstration board: HMU0, HMU1 and the main device, set up with
    // thresholds around the rails and two faults in HMU0's log.
    static std::unique_ptr<CSimulatedBoard> CreateDefault();
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

    // POT rails, pot = 0..3 for POT1..POT4.
    double PotVolts(int pot) const;
    bool SetPotVolts(int pot, double volts);
    PotWindow GetPotWindow(int pot) const;
    bool SetPotWindow(int pot, PotWindow window);
    uint8_t PotStatus() const;  // bits 0..3, 1 = good

    // The board clock. Advance moves it on by the elapsed time (nothing for a
    // time that is not positive) and runs what happens meanwhile.
    void Advance(Duration elapsed);
    Duration Now() const { return m_now; }

    // Board files (BoardFileHelp). On failure error holds one line naming the
    // source and line, and the board is unchanged.
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
    void RunTrimLoops(Duration step);
    // Where a trim loop takes its rail: the cell's code, 2 mV a code.
    double TrimGoalVolts(int index, int cell) const;
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
};
