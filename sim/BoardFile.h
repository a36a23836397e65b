#pragma once
// Board files: text that sets up the simulated board, one "key = value" per
// line. The keys and their meaning are in BoardFileHelp(), the one text users
// read (the programs print it, the README shows it).
//
// A file is read into a plan of the whole board, starting from the board as
// it is, and checked in full; the board applies a plan only when every line
// of it was good.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/blocks/FaultLog.h"
#include "sim/BoardValues.h"
#include "sim/HmuDevice.h"

struct BoardFault {
    HmuFault fault = HmuFault::AddressNack;
    int times = 0;  // CHmuDevice::kAlways for every occasion
    int command = CHmuDevice::kAnyCommand;
};

// What a file sets on one device, beyond the slot's values. These need the
// device on the board once the file is read.
struct BoardDevicePlan {
    std::vector<faultlog::Record> records;  // the whole log
    uint8_t status0 = 0;                    // extra status bits (CHmuDevice::SetFaultStatusFlags)
    uint8_t status1 = 0;
    std::vector<std::pair<int, uint8_t>> configuration;  // register, value, in file order
    std::optional<uint8_t> outputControl;
    std::vector<BoardFault> faults;  // in file order
    int firstLine = 0;  // line of the first such key in the file, 0 when none
};

// What a file sets on the main device and the board around it.
struct BoardMainPlan {
    std::array<std::optional<uint8_t>, kBoardMainRegisters> registers;  // as the design powers up
    std::optional<bool> suppliesOn;  // powers up with its supplies on, or off until Manual Restart
    int firstLine = 0;  // line of the first such key in the file, 0 when none
};

struct BoardPlan {
    std::array<HmuBoardValues, kBoardHmus> values;
    std::array<PotWindow, kBoardPots> windows;
    std::array<bool, kBoardHmus> present{};
    bool mainPresent = false;
    std::array<BoardDevicePlan, kBoardHmus> devices;
    BoardMainPlan main;
    bool fanAimed = true;
    ThermalSetup thermal;
};

// Board files are small text files: longer lines (and, read from disk,
// larger files) are refused.
constexpr size_t kMaxBoardLineBytes = 4096;
constexpr size_t kMaxBoardFileBytes = 1024 * 1024;

// Reads the text of a board file into the plan. On failure error holds one
// line naming the source and the line, and the plan is not to be used; text
// of the file in it is cut short, with control and non-ASCII bytes as \xNN.
bool ParseBoardFile(const std::string& text, const std::string& source, BoardPlan& plan, std::string& error);

// The format and every key, as a user reads it.
std::string_view BoardFileHelp();
