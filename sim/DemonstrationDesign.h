#pragma once
// The demonstration design programmed into the board's main device, as the
// logic it is: what it does with its four registers, the board's two push
// buttons and what it sees of the POT rails and of the heated resistor R203.
// It touches no part of the board itself. The simulated board feeds it at
// every step of the board clock and carries out what it decides: which
// supplies and reset outputs are on, heater and fan, the DC-DC4 and margining
// factors, and the fault-log trigger of the two management devices.
//
// Sequencing. The board's own management device (HMU0) has ten supplies and
// three reset outputs, and so has the external one (HMU1). Manual Restart
// switches every supply and reset off and powers the supplies up one by one,
// kSupplyInterval apart: HMU0's supplies 1..10 and then, with the rails bit
// set (twenty rails), HMU1's. A device's resets (1, 2 or 3, from the resets
// field; 3 also for the field value 3) come on kSupplyInterval after its
// fifth supply. Supplies are timed, not gated by power-good signals. While
// supplies are on, a POT rail whose supply is on and that is outside its
// window is a fault, and so is a push on PB_SW3: every supply and reset goes
// off at once, until the next Manual Restart.
// A board powers up with all twenty supplies and the resets on, as after a
// twenty-rail sequence; the rails and resets fields take effect at Manual
// Restart.
//
// Thermal management runs while the "thermal demonstration started" bit is
// set. It sees R203 through HMU0's TMON2 comparators: A above the warm
// threshold, B above the hot one. Every time it turns the fan on or changes
// its speed it waits (3 or 5 s, the wait field) before it looks again.
// - Start, and Manual Restart while it runs: heater off, fan at full (Cooling).
// - R203 under warm: heater on, fan off (Heating).
// - Warm: the fan at the warm speed (Warm). Under warm again: fan off, the
//   cycle repeats (A). Still warm: the warm response applies (B).
// - Hot: the fan at the hot speed (Hot, C), until R203 is under warm again
//   (A). Still hot: the hot response applies (D).
// Responses: 0 DC-DC4 -5 %, 1 and 2 DC-DC4 -10 %, 3 full shut-down (every
// supply off, heater off, the fan keeps running). DC-DC4 is back to normal
// when the heater goes on again and when the demonstration stops. Clearing
// the bit turns heater and fan off.
//
// Fault logging. The management devices log comparator faults (their
// fault-log trigger is on) while the fault-logging bit is set, every supply
// is up and the thermal demonstration is not running: the design switches
// rails on and off itself at other times, and R203's thermal cycle is its
// control loop, not a fault. While the bit is set and the thermal
// demonstration is not running, a POT fault that no comparator logged (the
// rail out of its window, but not past its comparator, or coming on out of
// it) and a push on PB_SW3 are captured on request (Step's events), in the
// device that measures the POT rail and in HMU0.
//
// Margining (-5 %, normal, +5 % of every trimmed supply) and DC-DC clocking
// (synchronous or 90 degree phase shifts) follow their register fields.

#include <array>
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
