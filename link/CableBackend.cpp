#include "link/CableBackend.h"

#if defined(ZENT2_CABLE_D2XX)
#include "link/D2xxDriver.h"
#include "link/D2xxNativeApi.h"
#elif defined(ZENT2_CABLE_LIBFTDI)
#include "link/LibFtdiDriver.h"
#else
#error "No cable backend: configure with ZENT2_CABLE_BACKEND"
#endif

std::shared_ptr<CFtdiDriver> MakeCableDriver()
{
#if defined(ZENT2_CABLE_D2XX)
    // Loaded now; when it is missing the driver lists nothing and says so at
    // the first open.
    std::string failure;
    std::unique_ptr<CD2xxApi> api = LoadSystemD2xxLibrary(&failure);
    return std::make_shared<CD2xxDriver>(std::move(api), std::move(failure));
#else
    return std::make_shared<CLibFtdiDriver>();
#endif
}

const char* CableBackendName()
{
#if defined(ZENT2_CABLE_D2XX)
    return "FTDI D2XX";
#else
    return "libftdi1";
#endif
}
