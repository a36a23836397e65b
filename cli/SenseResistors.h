#pragma once
// The sense resistor of each current monitor, as the desktop logger takes it:
// --rsense for every monitor when given; otherwise the desktop utility's
// stored setting HMUn_IMONm_SenseResistor, and 0.1 ohm where none is stored.

#include <functional>

#include "cli/CommandLine.h"

namespace cli {

// ohms(device, monitor). The settings file is read once, when this is made.
std::function<float(int, int)> SenseResistors(const CliRequest& request);

}  // namespace cli
