#pragma once
// The "Simulated Board" window: the parts of the demonstration board a person
// touches (POT1..POT4, Manual Restart, the fault push button PB_SW3, the fan's
// direction), what a person sees on it (supply and reset LEDs, heater, fan,
// R203's temperature and the design's state), and what a test bench changes
// (devices present or absent, faults for them to show, the cable plugged in
// or not), on two tabs, "Board" and "Test Bench", so that it fits beside a
// demonstration dialog. Modeless, so it can sit beside them; it reads
// the board directly, never over the bus, and shows it again every
// kRefreshMs.
//
// Controls carry object names for tests: "restart", "pbsw3", "pot1".."pot4"
// (dials, KnobVolts of their value), "potLed1".."potLed4", "fanAimed",
// "supply0_1".."supply1_10" and "reset0_1".."reset1_3" (LEDs of HMU0 and
// HMU1), "sequence", "heater", "fan", "r203", "boardTemp", "thermal",
// "dcdc4", "margin", "clocking", "logging", "present0".."present7",
// "mainPresent", "cablePlugged", "faultDevice", "faultKind", "faultTimes",
// "faultAlways", "faultCommand", "inject", "clearFaults", "activeFaults".

#include <QColor>
#include <QString>

#include "ui/TovinDialog.h"

class CSimulatedBoard;
class QTimer;

class CSimulatedBoardDlg : public CTovinDialog {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 100;
    // The POT knobs turn from kKnobLowVolts to kKnobHighVolts in kKnobStepVolts.
    static constexpr double kKnobLowVolts = 0.90;
    static constexpr double kKnobHighVolts = 1.50;
    static constexpr double kKnobStepVolts = 0.005;

    explicit CSimulatedBoardDlg(CSimulatedBoard& board, QWidget* parent = nullptr);

    // Shows the board as it is now.
    void Refresh();

    static double KnobVolts(int position);
    static int KnobPosition(double volts);
    // What R203's reading looks like against HMU0's TMON2 thresholds, as in
    // the thermal demonstration: red at hot, orange at warm, dark green below.
    static QColor TemperatureColour(double celsius, int warmDegrees, int hotDegrees);
    // The faults armed on a device, as the window lists them ("none" for none).
    static QString ActiveFaultsText(const class CHmuDevice& device);

private:
    QWidget* BuildSupplies();
    QWidget* BuildPots();
    QWidget* BuildThermal();
    QWidget* BuildDesignOptions();
    QWidget* BuildDevices();
    QWidget* BuildFaults();
    void OnKnob(int pot, int position);
    void OnPresent(int hmu, bool present);
    void OnInject();
    void OnClearFaults();
    void UpdateFaultControls();

    CSimulatedBoard& m_board;
    QTimer* m_refresh = nullptr;
    QString m_faultError;  // why the last Inject was refused, until the choice changes
};
