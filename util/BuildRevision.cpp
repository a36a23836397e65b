#include "util/Version.h"

// Written by cmake/BuildRevision.cmake at every build.
#include "BuildRevisionText.h"

const char* BuildRevision()
{
    return ZENT2_BUILD_REVISION;
}

std::string VersionText(std::string_view program)
{
    return std::string(program) + " " + ProgramVersion() + " (revision " + BuildRevision() + ")\n";
}
