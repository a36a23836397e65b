#pragma once
// One HMU device on the simulated bus, as the program sees it through its
// command bytes. How it behaves (commands, registers, pins, fault capture,
// faults to inject): sim/README.md.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/blocks/FaultLog.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Trim.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Vmon.h"
#include "device/HmuCommands.h"
#include "sim/I2cTarget.h"

// What the device measures, and the levels around its pins.
struct HmuInputs {
    std::array<double, 10> vmonVolts{};   // VMON1..VMON9, HVMON at the pins
    std::array<double, 2> senseVolts{};   // across the IMON1 and HIMON1 sense resistors
    std::array<double, 3> temperatures{}; // TMON1, TMON2, internal, degrees Celsius
    uint16_t gpioInputs = 0;     // bits 0..9 GPIO1..10: the level outside drives on an input pin
    uint16_t gpioInterface = 0;  // bits 0..9: the level the interface logic drives on an output pin
    uint8_t hvoutInterface = 0;  // bits 0..3 HVOUT1..4: the level of "HMU/IF"
};

// Comparator outputs, 1 = the input is above its threshold.
struct HmuComparators {
    vmon::ComparatorStates vmon{};                 // j = 2c + k
    std::array<std::array<bool, 2>, 2> imon{};     // [IMON1, HIMON1][A, B]
    tmon::ComparatorStates tmon{};                 // TMON1 A, B, TMON2 A, B, int A, B
    bool operator==(const HmuComparators&) const = default;
};

// True when at least one comparator is in its fault state in `now` but was
// not in `before`. Which output is the fault: the board guards each rail with
// comparator A under it and B over it (a rail falling under A's threshold
// takes A's output to 0, one rising over B's takes B's to 1), so a VMON A
// output of 0 and a VMON B output of 1 are faults. The current comparators are
// over-current alarms and the temperature comparators over-temperature
// alarms: for them an output of 1 is the fault. Window mode and the glitch
// filter do not change this here.
bool EnteredFaultState(const HmuComparators& before, const HmuComparators& now);

// Pin levels: bits 0..3 HVOUT1..4, bits 0..9 GPIO1..10.
struct HmuPinLevels {
    uint8_t hvout = 0;
    uint16_t gpio = 0;
    bool operator==(const HmuPinLevels&) const = default;
};

// Faults a device can be told to show.
enum class HmuFault : int {
    AddressNack,         // its address is not acknowledged (write and read address)
    CommandNack,         // a command byte is not acknowledged, nor the rest of the transaction
    DataNack,            // a data byte written after the command (and operand) is not acknowledged
    WrongEnableAnswer,   // READ_FAULT_ENABLE answers the wrong byte and does not open the log
    ConversionNeverReady // a conversion's ready bit never comes
};
constexpr int kHmuFaultKinds = 5;

// A fault record of the comparators and pin states, in the EEPROM layout.
// hvoutStates bits 0..3 are HVOUT1..4, gpioStates bits 0..9 GPIO1..10.
faultlog::Record MakeFaultRecord(const HmuComparators& comparators, uint8_t hvoutStates,
                                 uint16_t gpioStates);

class CHmuDevice : public CI2cTarget {
public:
    static constexpr int kConfigRegisters = hmu::kConfigRegisters;
    static constexpr int kSignatureBytes = signature::kBytes;
    static constexpr int kTrimCells = trim::kCells;
    // Selector bit 7 routes the input through this attenuator; the code is
    // not rescaled, so a reading taken this way shows an eighth of the input.
    static constexpr double kAttenuation = 1.0 / 8.0;
    static constexpr uint8_t kDefaultIdentification = 0x8A;
    // For InjectFault.
    static constexpr int kAlways = -1;
    static constexpr int kAnyCommand = -1;

    CHmuDevice();

    // CI2cTarget.
    void OnStart(bool repeated) override;
    bool OnAddress(bool read) override;
    bool OnWrite(uint8_t byte) override;
    uint8_t OnRead() override;
    void OnStop() override;

    // Measured values and pin surroundings. A change that takes a comparator
    // to its fault state logs a fault.
    void SetInputs(const HmuInputs& inputs);
    const HmuInputs& Inputs() const { return m_inputs; }

    // Configuration as stored in the device: sets the pending and the active
    // copy at once, as the device's own non-volatile setup does at power-up
    // (no fault is logged for what it changes).
    void SetConfiguration(int reg, uint8_t value);
    uint8_t PendingConfiguration(int reg) const;
    uint8_t ActiveConfiguration(int reg) const;
    int UpdateCount() const { return m_updates; }

    // Monitor registers as the master would read them, without side effects
    // on the ready counters.
    uint8_t MonitorRegister(int reg) const;
    void SetMonitorRegister(int reg, uint8_t value);  // plain registers only

    void SetIdentification(uint8_t id) { m_identification = id; }
    uint8_t Identification() const { return m_identification; }
    void SetSignature(uint64_t signature) { m_signature = signature; }
    uint64_t Signature() const { return m_signature; }

    // Trim cells. The target command stores its 12-bit code in the cell's
    // Profile0 registers (pending and active) and engages the cell's closed
    // loop, which from then on drives the trimmed rail (VMON n) towards the
    // active Profile0 code, 2 mV a code. The board moves the rail.
    uint16_t TrimTarget(int cell) const;  // the last word the target command carried
    bool TrimLoopEngaged(int cell) const;
    int TrimCode(int cell) const;         // the active Profile0 code

    // Read-ready timing: the conversion result shows ready at the n-th read of
    // ADC value Low after ADC MUX is written (1 = the first read, 0 = at
    // once); a monitor record shows ready at the n-th read of Monitor select.
    void SetAdcReadyAfterPolls(int polls) { m_adcReadyAfter = polls; }
    void SetRecordReadyAfterPolls(int polls) { m_recordReadyAfter = polls; }

    // Comparators from the active configuration and the inputs. A VMON
    // comparator trips above the over-voltage table value of its code; window
    // mode and the glitch filter do not change it here. An IMON comparator
    // trips when the sense voltage is above its trip point, a TMON one when
    // the temperature is above its threshold.
    HmuComparators Comparators() const;
    // Pin levels from the active configuration, the output control block and
    // the inputs.
    HmuPinLevels PinLevels() const;
    // The 10-bit code a conversion of this selector gives now.
    int ConversionCode(uint8_t selector) const;

    // Fault log. Adding to a full log (16 records) fails.
    bool AddFaultRecord(const faultlog::Record& record);
    // Logs the comparators and pin levels as they are now, whatever the
    // trigger input says (a capture asked for from outside).
    bool CaptureFault();
    // The fault-log trigger input: on (as a device on its own powers up),
    // comparators going to their fault state are logged; off, they are not.
    void SetFaultLogging(bool on) { m_faultLogging = on; }
    bool FaultLogging() const { return m_faultLogging; }
    const std::vector<faultlog::Record>& FaultRecords() const { return m_faults; }
    // Keeps the first 16.
    void SetFaultRecords(const std::vector<faultlog::Record>& records);
    void ClearFaultRecords() { m_faults.clear(); }
    // Extra status bits ORed into the status bytes (faultlog::kStatus0Busy,
    // kStatus1Invalid), for logs that must read as unusable. An erase makes
    // the log valid again (clears kStatus1Invalid).
    void SetFaultStatusFlags(uint8_t status0, uint8_t status1);
    uint8_t FaultStatusFlags0() const { return m_faultStatus0; }
    uint8_t FaultStatusFlags1() const { return m_faultStatus1; }
    bool FaultReadEnabled() const { return m_faultReadEnabled; }
    bool EraseUnlocked() const { return m_eraseUnlocked; }
    // The code the erase must be unlocked with (a board may expect another
    // than the one the devices come with).
    void SetUnlockCode(uint16_t code) { m_unlockCode = code; }
    // Takes the comparator outputs as they are now as the ones later changes
    // are compared with, without logging (a board that powers up this way).
    void RebaseFaultWatch();

    // The next `times` occasions of a fault happen (kAlways for every one, 0
    // cancels). For CommandNack and DataNack, `command` limits the fault to
    // the transactions of one command byte; the other kinds ignore it.
    void InjectFault(HmuFault fault, int times, int command = kAnyCommand);
    // Occasions left (kAlways for every one).
    int FaultTimes(HmuFault fault) const;
    int FaultCommand(HmuFault fault) const;

private:
    enum class Expect { Nothing, Command, Operand, Data, Refused };
    struct FaultArm {
        int times = 0;
        int command = kAnyCommand;
    };

    static bool TakesOperand(uint8_t command);
    bool TakeFault(HmuFault fault, int command = kAnyCommand);
    void OnCommand();
    void OnOperand();
    void OnData(uint8_t byte);
    uint8_t ReadData(int index);
    uint8_t ReadMonitor(int reg);  // with the side effects of a master's read
    void WriteMonitor(int reg, uint8_t value);
    bool IsPlainMonitorRegister(int reg) const;
    void StartConversion(uint8_t selector);
    void StoreTrimTarget(int cell, uint16_t word);
    uint8_t FaultStatus(int index) const;
    HmuPinLevels PinLevels(const HmuComparators& states) const;
    // Logs a fault when a comparator went to its fault state since the last look.
    void WatchComparators();

    HmuInputs m_inputs;
    std::array<uint8_t, kConfigRegisters> m_pending{};
    std::array<uint8_t, kConfigRegisters> m_active{};
    int m_updates = 0;

    // The transaction in progress and the command it carries.
    Expect m_expect = Expect::Nothing;
    int m_command = -1;
    int m_operand = -1;
    std::vector<uint8_t> m_data;  // data bytes of the current write
    int m_readIndex = 0;

    // Monitor registers.
    uint8_t m_adcMux = 0;
    int m_adcResult = 0;      // the code the result registers show
    int m_adcPending = 0;     // the code of the conversion in progress
    bool m_adcStarted = false;
    bool m_adcReady = false;
    bool m_adcNeverReady = false;
    int m_adcPolls = 0;
    int m_adcReadyAfter = 1;
    uint8_t m_recordSelectWritten = 0;  // Monitor select as written, without the ready bit
    int m_recordPolls = 0;
    int m_recordReadyAfter = 1;
    uint8_t m_imonAverageControl = 0;
    uint8_t m_imonAverageSelect = 0;
    uint8_t m_outputControl = 0;

    uint8_t m_identification = kDefaultIdentification;
    uint64_t m_signature = 0;
    std::array<uint16_t, kTrimCells> m_trimTargets{};
    std::array<bool, kTrimCells> m_trimEngaged{};

    // Fault log.
    std::vector<faultlog::Record> m_faults;
    uint8_t m_faultStatus0 = 0;
    uint8_t m_faultStatus1 = 0;
    bool m_faultReadEnabled = false;
    uint8_t m_enableAnswer = faultlog::kDisabledAnswer;
    bool m_eraseUnlocked = false;
    bool m_eraseArmed = false;  // the log was opened after the unlock
    bool m_faultLogging = true;
    uint16_t m_unlockCode = faultlog::kUnlockCode;
    // The comparator outputs last looked at; none before the first inputs.
    std::optional<HmuComparators> m_watched;

    std::array<FaultArm, kHmuFaultKinds> m_faultArms{};
};
