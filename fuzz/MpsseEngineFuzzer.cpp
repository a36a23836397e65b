// The MPSSE engine fed any command bytes, in pieces, with an HMU device, the
// main device and a test target on its bus: it must not crash, and it must
// never hand out more reply bytes than it queued.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "sim/HmuDevice.h"
#include "sim/I2cBus.h"
#include "sim/MainDevice.h"
#include "sim/MpsseEngine.h"
#include "sim/TestTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CI2cBus bus;
    bus.Attach(0xC0, std::make_shared<CHmuDevice>());
    bus.Attach(0x40, std::make_shared<CMainDevice>());
    bus.Attach(0xA0, std::make_shared<CTestTarget>());
    CMpsseEngine engine(&bus);
    engine.SetBitMode(0x83, 2);
    // The first byte of each piece says how long it is and whether the host
    // reads replies after it, as the driver's writes and reads interleave.
    size_t at = 0;
    std::vector<uint8_t> replies;
    while (at < size) {
        const uint8_t control = data[at++];
        const size_t length = std::min<size_t>(control & 0x3F, size - at);
        engine.Write(data + at, length);
        at += length;
        if (control & 0x40) engine.Purge();
        if (control & 0x80) {
            const size_t available = engine.Available();
            replies.resize(available + 1);
            FUZZ_CHECK(engine.Read(replies.data(), replies.size()) == available);
            FUZZ_CHECK(engine.Available() == 0);
        }
    }
    return 0;
}
