// The board file parser on any text: it must not crash, a file it refuses
// changes nothing and is named in one printable line of bounded length.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "sim/SimulatedBoard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static auto board = CSimulatedBoard::CreateDefault();
    static const HmuBoardValues before = board->Values(0);
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (board->LoadText(text, error)) {
        FUZZ_CHECK(error.empty());
        // Start the next input from the demonstration board again.
        board = CSimulatedBoard::CreateDefault();
        return 0;
    }
    FUZZ_CHECK(!error.empty() && error.size() < 400);
    for (const char c : error) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    FUZZ_CHECK(board->Values(0).vmonVolts == before.vmonVolts);
    FUZZ_CHECK(board->Hmu(0) != nullptr && board->Hmu(1) != nullptr && board->Main() != nullptr);
    return 0;
}
