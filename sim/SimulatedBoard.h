#pragma once
// The demonstration board in software: a simulated cable whose I2C bus holds
// up to eight HMU devices (at 0xC0 + 2n) and the main device (at 0x40), and
// the analog values those devices measure. Tests and users change the values
// here; the board hands them to the devices, and keeps the main device's
// POT1..POT4 status bits in step with the POT rails.
//
// POT1 and POT2 are VMON7 and VMON8 of HMU0, POT3 and POT4 VMON7 and VMON8 of
// HMU1; a POT rail is good while its voltage is inside its window (bounds
// included). Values are kept per slot, so a device that is removed and added
// again measures what it measured before.
//
// Board files (LoadFile, LoadText) hold one assignment per line:
//
//     # comments start with '#'; blank lines are skipped
//     hmu0.vmon7 = 1.20        VMON1..VMON9 and HVMON at the pins, volts
//     hmu0.hvmon = 5.0
//     hmu0.imon1 = 2.5         current through the IMON1 sense resistor, amps
//     hmu0.himon1.rsense = 0.005   sense resistor, ohms (> 0)
//     hmu0.temp1 = 41.5        TMON1, TMON2 (temp2), internal (tempint), degrees C
//     hmu0.id = 0x88           identification byte (0..255)
//     hmu0.signature = 0x0123456789ABCDEF
//     hmu1.present = 0         add (1) or remove (0) a device, hmu0..hmu7
//     main.present = 1
//     pot1 = 1.05              a POT rail's voltage (the same as hmu0.vmon7)
//     pot1.low = 1.08          a POT rail's good window, volts
//     pot1.high = 1.32
//
// Keys are not case-sensitive; integers may be written in hex with 0x. A file
// with any bad line (unknown key, bad number, value out of range, a window
// whose low bound is above its high bound) changes nothing, and the error
// names the line. A device added by a file is set up as the board's devices
// are (thresholds around its values), after all values of the file are in.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/HmuDevice.h"
#include "sim/MainDevice.h"
#include "sim/SimulatedFtdiDriver.h"

struct HmuBoardValues {
    std::array<double, 10> vmonVolts{};    // VMON1..VMON9, HVMON
    std::array<double, 2> senseAmps{};     // IMON1, HIMON1
    std::array<double, 2> senseOhms{0.01, 0.01};
    std::array<double, 3> temperatures{};  // TMON1, TMON2, internal, degrees Celsius
    uint8_t identification = CHmuDevice::kDefaultIdentification;
    uint64_t signature = 0;
};

struct PotWindow {
    double low = 0.0;
    double high = 0.0;
};

class CSimulatedBoard {
public:
    static constexpr int kMaxHmus = 8;
    static constexpr int kPots = 4;
    static constexpr uint8_t kHmuBaseAddress = 0xC0;
    static constexpr uint8_t kMainAddress = 0x40;
    // Board files are small text files; anything larger is refused.
    static constexpr size_t kMaxBoardFileBytes = 1024 * 1024;
    static constexpr size_t kMaxBoardLineBytes = 4096;

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
    // What a device of these values measures.
    static HmuInputs InputsOf(const HmuBoardValues& values);

    // POT rails, pot = 0..3 for POT1..POT4.
    double PotVolts(int pot) const;
    bool SetPotVolts(int pot, double volts);
    PotWindow GetPotWindow(int pot) const;
    bool SetPotWindow(int pot, PotWindow window);
    uint8_t PotStatus() const;  // bits 0..3, 1 = good

    // Board files (format above). On failure error holds one line naming the
    // source and line, and the board is unchanged. Only regular files up to
    // kMaxBoardFileBytes load; a bad line is quoted cut short, with control
    // and non-ASCII bytes shown as \xNN.
    bool LoadFile(const std::string& path, std::string& error);
    bool LoadText(const std::string& text, std::string& error, const std::string& source = "board");

    // Sets a device up as the board's are: VMON comparator A about 10 % under
    // and B about 10 % over each input, IMON and TMON trip points, trim codes
    // for the rails. Used for every added device.
    static void SetUpDevice(CHmuDevice& device, const HmuBoardValues& values);

private:
    struct Plan;

    void PushValues(int index);
    void PushPotStatus();
    static bool PotSlot(int pot, int* index, int* channel);

    std::shared_ptr<CSimulatedFtdiDriver> m_driver;
    std::array<HmuBoardValues, kMaxHmus> m_values;
    std::array<std::shared_ptr<CHmuDevice>, kMaxHmus> m_hmus;
    std::shared_ptr<CMainDevice> m_main;
    std::array<PotWindow, kPots> m_potWindows;
};
