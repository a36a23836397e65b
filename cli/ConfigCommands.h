#pragma once
// zent2-cli save-config, diff-config and load-config: board configuration
// files (device/BoardConfig.h) saved from the devices, compared with them and
// loaded onto them, inside the caller's cable lock. Exit statuses as the
// other commands: 0 done, 1 a device failed (diff-config: the board differs),
// 2 a bad file (diff-config: also a device that did not answer).

#include <iosfwd>
#include <string>

#include "cli/CommandLine.h"
#include "device/BoardConfig.h"

class CTovin_I2C_Port;

namespace cli {

// Reads and checks the file of diff-config or load-config; false after its
// one-line message on err (exit status 2).
bool ReadConfigFile(const std::string& path, boardconfig::Settings& settings, std::ostream& err);
// Before anything is opened: false, after the message, for a save-config
// FILE that cannot be written whatever the devices say (a folder).
bool CheckSaveTarget(const CliRequest& request, std::ostream& err);

int SaveConfig(const CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
int DiffConfig(const boardconfig::Settings& file, const std::string& source, CTovin_I2C_Port& port,
               std::ostream& out, std::ostream& err);
int LoadConfig(const CliRequest& request, const boardconfig::Settings& file, CTovin_I2C_Port& port,
               std::ostream& out, std::ostream& err);

}  // namespace cli
