#pragma once
// The program's version.

// "1.0.17.297", from the project version of the build: the About box, the
// log file header and --version show it.
const char* ProgramVersion();
