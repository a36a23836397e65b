#pragma once
// The demonstration design programmed into the board's main device, as the
// logic it is; the board feeds it and carries out what it decides. What it
// does (sequencing, thermal management, fault logging, margining, clocking):
// sim/README.md.

#include <array>
#include <string>
#include <chrono>
#include <cstdint>

#include "device/blocks/DemoDesign.h"

// What the design sees at one step of the board clock.
struct DesignInputs {
    std::array<uint8_t, demodesign::kRegisters> registers = demodesign::kPowerUpValues;
    uint8_t potGood = 0x0F;  // POT1..POT4 inside their windows, as the rails are now
    // R203 above the warm and the hot threshold: HMU0's TMON2 comparators A and B.
    bool r203Warm = false;
    bool r203Hot = false;
};

// What happened at one step that the board carries out beyond the state.
struct DesignEvents {
    int potFault = -1;         // the POT (0..3) whose fault shut the supplies down
    bool faultButton = false;  // PB_SW3 shut them down
    bool logging = false;      // the design logged faults when it happened (LogsFaults)
};

class CDemonstrationDesign {
public:
    using Duration = std::chrono::microseconds;

    static constexpr int kDevices = 2;    // HMU0, HMU1
    static constexpr int kSupplies = 10;  // per device; supply k (0..8) is the rail on VMON k+1
    static constexpr int kMeasuredSupplies = 9;  // supply 10 is a rail its device does not measure
    static constexpr int kResetOutputs = 3;  // per device
    static constexpr int kResetsAfterSupply = 5;
    static constexpr Duration kSupplyInterval = std::chrono::milliseconds(200);
    static constexpr int kDcdc4Supply = 3;  // DC-DC4 is HMU0's supply 4 (VMON4); DC-DC8 HMU1's
    static constexpr int kFanSpeeds = demodesign::kFanSpeeds;  // off, 25 %, 50 %, 75 %, full
    static constexpr int kFanFull = kFanSpeeds - 1;

    enum class Sequence { Off, Sequencing, Up };
    // Why the supplies are off.
    enum class Stop { None, PotFault, FaultButton, ThermalShutDown };
    enum class Thermal { Idle, Cooling, Heating, Warm, Hot, ShutDown };

    // Powered up: every supply and reset on, heater and fan off.
    CDemonstrationDesign();
    // Powers up again with these registers, with every supply and its
    // resets on or, suppliesOn false, everything off until Manual Restart.
    void PowerUp(bool suppliesOn,
                 const std::array<uint8_t, demodesign::kRegisters>& registers = demodesign::kPowerUpValues);

    // The board's buttons: acted on at the next step.
    void PressManualRestart() { m_restartPressed = true; }
    void PressFaultButton() { m_faultButtonPressed = true; }

    // One step of the board clock: `now` is the board time after it.
    DesignEvents Step(Duration now, const DesignInputs& inputs);

    // Sequencing.
    Sequence GetSequence() const { return m_sequence; }
    Stop GetStop() const { return m_stop; }
    int StopPot() const { return m_stopPot; }  // POT 0..3 of a PotFault stop, else -1
    bool TwentyRails() const { return m_twentyRails; }  // HMU1's supplies take part
    int ResetsPerDevice() const { return m_resets; }
    bool SupplyOn(int device, int supply) const;
    bool ResetOn(int device, int reset) const;

    // Thermal management.
    Thermal GetThermal() const { return m_thermal; }
    bool HeaterOn() const { return m_heater; }
    int FanSpeed() const { return m_fan; }  // 0 off .. 4 full
    int Dcdc4Percent() const { return m_dcdc4Percent; }  // 0, -5 or -10
    double Dcdc4Factor() const { return 1.0 + m_dcdc4Percent / 100.0; }

    // Margining and clocking, from the registers of the last step.
    int MarginPercent() const;  // 0, +5 or -5 (the field's value 3 is normal)
    double MarginFactor() const { return 1.0 + MarginPercent() / 100.0; }
    bool PhaseShifted() const;

    // Whether the design logs faults: the fault-logging bit is set and the
    // thermal demonstration is not running.
    bool LogsFaults() const;
    // The management devices' fault-log trigger: LogsFaults and every supply up.
    bool FaultLogging() const;
    // "On", or "Off" with the reason, as the Simulated Board window shows it.
    std::string FaultLoggingText() const;
    // The registers the design powered up with (PowerUp's).
    const std::array<uint8_t, demodesign::kRegisters>& PowerUpRegisters() const { return m_powerUpRegisters; }

    // The fraction of full air flow of a fan speed (0..4), and the response
    // a code of the warm or hot response field gives: the DC-DC4 percentage,
    // or 0 with fullShutDown set.
    static double FanFraction(int speed);
    static int ResponsePercent(int code, bool& fullShutDown);

private:
    struct NoPowerUp {};
    explicit CDemonstrationDesign(NoPowerUp) {}
    void Restart(Duration now);
    void ShutDown(Stop why, int pot = -1);
    void RunSequence(Duration now);
    int WatchPots(const DesignInputs& inputs) const;
    void RunThermal(Duration now, const DesignInputs& inputs);
    void Respond(int code);
    void EnterCooling(Duration now);
    void EnterHeating(Duration now);

    std::array<uint8_t, demodesign::kRegisters> m_registers = demodesign::kPowerUpValues;
    std::array<uint8_t, demodesign::kRegisters> m_powerUpRegisters = demodesign::kPowerUpValues;
    bool m_restartPressed = false;
    bool m_faultButtonPressed = false;

    Sequence m_sequence = Sequence::Up;
    Stop m_stop = Stop::None;
    int m_stopPot = -1;
    bool m_twentyRails = true;
    int m_resets = 1;
    Duration m_restartAt{0};
    std::array<std::array<bool, kSupplies>, kDevices> m_supplies{};
    std::array<std::array<bool, kResetOutputs>, kDevices> m_resetOn{};

    Thermal m_thermal = Thermal::Idle;
    bool m_heater = false;
    int m_fan = 0;
    int m_dcdc4Percent = 0;
    Duration m_thermalSince{0};  // when the fan speed last changed
    bool m_responded = false;    // the response of the current Warm or Hot state applied
};
