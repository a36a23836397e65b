#include "util/Version.h"

const char* ProgramVersion()
{
    return ZENT2_PROGRAM_VERSION;
}
