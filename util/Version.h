#pragma once
// The program's version, and the source revision a build was made from.

#include <string>
#include <string_view>

// "1.0.17.297", from the project version of the build: the About box, the
// log file header and --version show it.
const char* ProgramVersion();

// The git revision the programs were built from ("5966e63a1b2c", with
// "-dirty" for a changed tree), or "unknown" outside a git checkout.
// Defined in the zent2version library, which only the programs link, so that
// a new revision relinks them and nothing else.
const char* BuildRevision();

// What --version prints: "zent2-cli 1.0.17.297 (revision 5966e63a1b2c)\n".
std::string VersionText(std::string_view program);
