#pragma once
// The driver behind the real cable on this system: libftdi1 on Linux (and
// other Unix systems), FTDI's D2XX driver on Windows; chosen when the build is
// configured (ZENT2_CABLE_BACKEND). The programs ask here and never name a
// backend.

#include <memory>

#include "link/FtdiDriver.h"

// A fresh driver for the real cable. It touches no USB until it lists.
std::shared_ptr<CFtdiDriver> MakeCableDriver();

// Which library MakeCableDriver drives, for the user: "libftdi1" or "FTDI D2XX".
const char* CableBackendName();
