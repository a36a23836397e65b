#pragma once
// The values of the simulated board that stand around its devices: what each
// HMU slot measures and sees at its pins, and the POT rails' good windows.

#include <array>
#include <cstdint>

#include "sim/HmuDevice.h"

constexpr int kBoardHmus = 8;  // slots HMU0..HMU7
constexpr int kBoardPots = 4;  // POT1..POT4

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

// Where POT rail pot (0..3) is measured: POT1 and POT2 on VMON7 and VMON8 of
// HMU0, POT3 and POT4 on those of HMU1.
struct PotRail {
    int index = 0;    // HMU slot
    int channel = 0;  // voltage input, 6 = VMON7
};
constexpr PotRail PotRailOf(int pot) { return {pot / 2, 6 + pot % 2}; }

struct PotWindow {
    double low = 0.0;
    double high = 0.0;
};
