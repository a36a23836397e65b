#include "link/Mpsse.h"

namespace mpsse {

namespace {

bool IsTms(uint8_t op)
{
    return op == 0x4A || op == 0x4B || op == 0x6A || op == 0x6B || op == 0x6E || op == 0x6F;
}

}  // namespace

std::optional<Command> Measure(const uint8_t* data, std::size_t size)
{
    const uint8_t op = data[0];
    std::size_t need = 0;
    bool answers = false;
    if (op >= 0x10 && op <= 0x3F) {
        const bool bits = (op & 0x02) != 0;
        const bool writes = (op & 0x10) != 0;
        answers = (op & 0x20) != 0;
        if (bits) {
            need = writes ? 3 : 2;  // bit count, then one data byte when writing
        } else {
            if (size < 3) return Command{0, answers};
            const std::size_t bytes = std::size_t(data[1] | data[2] << 8) + 1;
            need = 3 + (writes ? bytes : 0);
        }
    } else if (IsTms(op)) {
        need = 3;  // length in bits, one byte of TMS data
        answers = (op & 0x20) != 0;
    } else {
        switch (op) {
        case kReadLow: case kReadHigh:
            need = 1;
            answers = true;
            break;
        case kSetLow: case kSetHigh:
        case kSetDivisor:
        case 0x8F:             // clock n x 8 bits, no data
        case 0x9C: case 0x9D:  // clock n x 8 bits or until GPIOL1 high, low
        case 0x9E:             // drive-only-zero mask
            need = 3;
            break;
        case kLoopbackOn: case kLoopbackOff:
        case kSendImmediate:
        case 0x88: case 0x89:  // wait on GPIOL1 high, low
        case kDivideBy5Off: case kDivideBy5On:
        case kThreePhaseOn: case kThreePhaseOff:
        case 0x94: case 0x95:  // clock until GPIOL1 high, low
        case kAdaptiveOn: case kAdaptiveOff:
            need = 1;
            break;
        case 0x8E:  // clock n bits, no data
            need = 2;
            break;
        default:
            return std::nullopt;
        }
    }
    return Command{need <= size ? need : 0, answers};
}

}  // namespace mpsse
