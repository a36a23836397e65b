#include "app/Version.h"

const char* ProgramVersion()
{
    return ZENT2_PROGRAM_VERSION;
}
