#pragma once
// CD2xxApi over ftd2xx.dll, loaded at run time (Windows only).

#ifdef _WIN32

#include <filesystem>
#include <memory>
#include <string>

#include "link/D2xxApi.h"

// ftd2xx.dll from the Windows system folder, where FTDI's driver installs it,
// and from nowhere else: not the program's folder, not the current folder, not
// the search path, so that no other file of that name is ever loaded. Null
// when it is not there or lacks a call the backend needs; *failure then says
// which.
std::unique_ptr<CD2xxApi> LoadSystemD2xxLibrary(std::string* failure);

// The library at exactly this path. For the tests, which run the backend on
// a stand-in library made from the simulated cable; the programs never call it.
std::unique_ptr<CD2xxApi> LoadD2xxLibraryFrom(const std::filesystem::path& file, std::string* failure);

#endif
