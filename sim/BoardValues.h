#pragma once
// The values of the simulated board that stand around its devices: what each
// HMU slot measures and sees at its pins, and the POT rails' good windows.

#include <array>
#include <cstdint>

#include "sim/HmuDevice.h"

constexpr int kBoardHmus = 8;  // slots HMU0..HMU7
constexpr int kBoardPots = 4;  // POT1..POT4
constexpr int kBoardMainRegisters = 4;

struct HmuBoardValues {
    std::array<double, 10> vmonVolts{};    // VMON1..VMON9, HVMON
    std::array<double, 2> senseAmps{};     // IMON1, HIMON1
    std::array<double, 2> senseOhms{0.01, 0.01};
    std::array<double, 3> temperatures{};  // TMON1, TMON2, internal, degrees Celsius
    uint8_t identification = CHmuDevice::kDefaultIdentification;
    uint64_t signature = 0;
    // Bits 0..9 GPIO1..10: the level on a pin configured as input (the board
    // pulls them up), and the level the interface logic drives on an output.
    uint16_t gpioInputs = 0x3FF;
    uint16_t gpioInterface = 0;
    uint8_t hvoutInterface = 0;  // bits 0..3 HVOUT1..4 from "HMU/IF"
};

struct PotWindow {
    double low = 0.0;
    double high = 0.0;
    bool operator==(const PotWindow&) const = default;
};

// How the heated resistor R203 warms and cools. It settles at the board
// temperature plus heaterRise x heater power / cooling, where the heater
// power is 1 at DC-DC4's own voltage (it goes with the square of it) and
// cooling is 1 in still air plus fanCooling x the cube of the fan speed's
// share of full speed, the whole of that with the fan aimed at R203 and
// unaimedShare of it otherwise. It gets there with the time constant
// timeConstantSeconds / cooling. The fan reaches a new speed with the time
// constant fanSpinSeconds. With the thresholds the thermal
// demonstration sets (2 and 4 degrees over the board temperature, in whole
// degrees) the fan aimed at R203 keeps it under warm at 75 % and above,
// holds it warm at 50 % and lets it get hot at 25 %; not aimed, even full
// speed lets it get hot.
struct ThermalSetup {
    double heaterRise = 14.0;  // degrees Celsius
    double fanCooling = 40.0;
    double unaimedShare = 0.05;
    double timeConstantSeconds = 30.0;
    double fanSpinSeconds = 1.5;
    bool operator==(const ThermalSetup&) const = default;
};
