#include "sim/MpsseEngine.h"

#include <algorithm>

#include "sim/I2cBus.h"

namespace {
bool IsTmsCommand(uint8_t op)
{
    return op == 0x4A || op == 0x4B || op == 0x6A || op == 0x6B || op == 0x6E || op == 0x6F;
}

// 0x10-0x3F: bit 0 write on the falling edge, bit 1 bit mode, bit 2 read on
// the falling edge, bit 3 LSB first, bit 4 write, bit 5 read.
bool IsShiftCommand(uint8_t op)
{
    return op >= 0x10 && op <= 0x3F;
}

constexpr uint64_t kMasterClockMHz = 60;
}  // namespace

CMpsseEngine::CMpsseEngine(CI2cBus* bus)
    : m_bus(bus)
{
}

void CMpsseEngine::PowerUp()
{
    m_mpsse = false;
    m_loopback = false;
    m_divisor = 0;
    m_divideByFive = true;
    m_threePhase = false;
    m_adaptive = false;
    Purge();
    SetLowPins(0, 0);
    SetHighPins(0, 0);
}

void CMpsseEngine::SetBitMode(uint8_t mask, uint8_t mode)
{
    (void)mask;
    m_pending.clear();
    m_stalled = false;
    if (mode == 2) {
        m_mpsse = true;
        return;
    }
    m_mpsse = false;
    if (mode == 0) {
        SetLowPins(m_lowValue, 0);
        SetHighPins(m_highValue, 0);
    }
}

void CMpsseEngine::ResetSession()
{
    m_mpsse = false;
    Purge();
}

void CMpsseEngine::Purge()
{
    m_pending.clear();
    m_stalled = false;
    m_replies.clear();
    m_immediate = 0;
}

size_t CMpsseEngine::Read(uint8_t* out, size_t max)
{
    const size_t n = std::min(max, m_replies.size());
    for (size_t i = 0; i < n; ++i) {
        out[i] = m_replies.front();
        m_replies.pop_front();
    }
    m_immediate -= std::min(m_immediate, n);
    return n;
}

bool CMpsseEngine::HighPin(int bit) const
{
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    if ((m_highDir & mask) != 0)
        return (m_highValue & mask) != 0;
    return mask != kEnableLine;
}

void CMpsseEngine::ResetEdgeCounts()
{
    std::fill(std::begin(m_highRises), std::end(m_highRises), 0);
    std::fill(std::begin(m_highFalls), std::end(m_highFalls), 0);
}

uint64_t CMpsseEngine::HalfPeriodNs() const
{
    const uint64_t masterMHz = m_divideByFive ? kMasterClockMHz / 5 : kMasterClockMHz;
    return ((1u + uint64_t{m_divisor}) * 1000u + masterMHz / 2) / masterMHz;
}

void CMpsseEngine::Write(const uint8_t* data, size_t count)
{
    if (!m_mpsse) {
        m_dropped += count;
        return;
    }
    m_pending.insert(m_pending.end(), data, data + count);
    size_t offset = 0;
    while (offset < m_pending.size() && !m_stalled) {
        const size_t size = CommandSize(offset);
        if (size == 0 || offset + size > m_pending.size())
            break;
        const uint8_t op = m_pending[offset];
        if (m_adaptive && (IsShiftCommand(op) || IsTmsCommand(op))) {
            // No returned clock on this cable: the engine waits for ever.
            m_stalled = true;
            break;
        }
        Execute(m_pending.data() + offset);
        offset += size;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(offset));
}

size_t CMpsseEngine::CommandSize(size_t offset) const
{
    return CommandLength(m_pending.data() + offset, m_pending.size() - offset);
}

size_t CMpsseEngine::CommandLength(const uint8_t* cmd, size_t have)
{
    const uint8_t op = cmd[0];
    switch (op) {
    case 0x80:
    case 0x82:
    case 0x86:
    case 0x8F:
    case 0x9C:
    case 0x9D:
    case 0x9E:
        return 3;
    case 0x8E:
        return 2;
    case 0x81:
    case 0x83:
    case 0x84:
    case 0x85:
    case 0x87:
    case 0x88:
    case 0x89:
    case 0x8A:
    case 0x8B:
    case 0x8C:
    case 0x8D:
    case 0x94:
    case 0x95:
    case 0x96:
    case 0x97:
        return 1;
    default:
        break;
    }
    if (IsTmsCommand(op))
        return 3;
    if (!IsShiftCommand(op))
        return 1;
    const bool write = (op & 0x10) != 0;
    if ((op & 0x02) != 0)
        return write ? 3 : 2;
    if (have < 3)
        return 0;
    const size_t length = size_t{cmd[1]} + (size_t{cmd[2]} << 8) + 1;
    return write ? 3 + length : 3;
}

void CMpsseEngine::Execute(const uint8_t* cmd)
{
    const uint8_t op = cmd[0];
    switch (op) {
    case 0x80:
        SetLowPins(cmd[1], cmd[2]);
        return;
    case 0x82:
        SetHighPins(cmd[1], cmd[2]);
        return;
    case 0x81:
        m_replies.push_back(ReadLowPins());
        return;
    case 0x83:
        m_replies.push_back(ReadHighPins());
        return;
    case 0x84:
        m_loopback = true;
        return;
    case 0x85:
        m_loopback = false;
        return;
    case 0x86:
        m_divisor = static_cast<uint16_t>(cmd[1] | (cmd[2] << 8));
        return;
    case 0x87:
        // The simulated driver hands replies over as soon as they exist; a
        // chip emulated over USB holds them until this or its latency timer.
        m_immediate = m_replies.size();
        return;
    case 0x8A:
    case 0x8B:
        m_divideByFive = op == 0x8B;
        return;
    case 0x8C:
    case 0x8D:
        m_threePhase = op == 0x8C;
        return;
    case 0x96:
    case 0x97:
        m_adaptive = op == 0x96;
        return;
    case 0x8E:
        ClockPulses(size_t{cmd[1] & 7u} + 1);
        return;
    case 0x8F:
    case 0x9C:
    case 0x9D:
        // GPIOL1 is not wired on this cable: the "until GPIOL1" forms run
        // their whole count.
        ClockPulses((size_t{cmd[1]} + (size_t{cmd[2]} << 8) + 1) * 8);
        return;
    case 0x9E:
        return;  // drive-only-zero: the pins here are driven or released by direction anyway
    case 0x88:
    case 0x89:
    case 0x94:
    case 0x95:
        // Waiting (or clocking) until GPIOL1 changes: with nothing on that
        // pin the level never comes, and the engine waits for ever.
        if (((ReadLowPins() & kGpioL1) != 0) != (op == 0x88 || op == 0x94))
            m_stalled = true;
        return;
    default:
        break;
    }
    if (IsTmsCommand(op)) {
        ExecuteTms(cmd);
        return;
    }
    if (IsShiftCommand(op)) {
        ExecuteShift(cmd);
        return;
    }
    m_unknown.push_back(op);
    m_replies.push_back(kBadCommand);
    m_replies.push_back(op);
}

void CMpsseEngine::ClockPulses(size_t count)
{
    const Shift s;  // neither writes nor reads
    for (size_t i = 0; i < count; ++i)
        ClockBit(s, false);
}

void CMpsseEngine::ExecuteShift(const uint8_t* cmd)
{
    const uint8_t op = cmd[0];
    Shift s;
    s.negOut = (op & 0x01) != 0;
    s.negIn = (op & 0x04) != 0;
    s.lsbFirst = (op & 0x08) != 0;
    s.write = (op & 0x10) != 0;
    s.read = (op & 0x20) != 0;

    if ((op & 0x02) != 0) {
        const int bits = (cmd[1] & 7) + 1;
        const uint8_t out = s.write ? cmd[2] : 0;
        uint8_t in = 0;
        for (int i = 0; i < bits; ++i) {
            const int index = s.lsbFirst ? i : 7 - i;
            const bool bit = ClockBit(s, ((out >> index) & 1) != 0);
            // Bits shift in from the end the data goes out at, so a lone bit
            // read MSB first ends in bit 0.
            in = s.lsbFirst ? static_cast<uint8_t>((in >> 1) | (bit ? 0x80 : 0))
                            : static_cast<uint8_t>((in << 1) | (bit ? 1 : 0));
        }
        if (s.read)
            m_replies.push_back(in);
        return;
    }

    const size_t length = size_t{cmd[1]} + (size_t{cmd[2]} << 8) + 1;
    for (size_t n = 0; n < length; ++n) {
        const uint8_t out = s.write ? cmd[3 + n] : 0;
        uint8_t in = 0;
        for (int i = 0; i < 8; ++i) {
            const int index = s.lsbFirst ? i : 7 - i;
            const bool bit = ClockBit(s, ((out >> index) & 1) != 0);
            if (bit)
                in = static_cast<uint8_t>(in | (1u << index));
        }
        if (s.read)
            m_replies.push_back(in);
    }
}

void CMpsseEngine::ExecuteTms(const uint8_t* cmd)
{
    const uint8_t op = cmd[0];
    Shift s;
    s.negOut = (op & 0x01) != 0;
    s.negIn = (op & 0x04) != 0;
    s.lsbFirst = true;
    s.write = true;
    s.read = (op & 0x20) != 0;
    s.outPin = kTms;

    // Bit 7 of the data byte sits on the data out pin for the whole command.
    DriveData(kSdaOut, (cmd[2] & 0x80) != 0, m_timeNs + kLineSkewNs);
    const int bits = std::min((cmd[1] & 7) + 1, 7);
    uint8_t in = 0;
    for (int i = 0; i < bits; ++i) {
        const bool bit = ClockBit(s, ((cmd[2] >> i) & 1) != 0);
        in = static_cast<uint8_t>((in >> 1) | (bit ? 0x80 : 0));
    }
    if (s.read)
        m_replies.push_back(in);
}

bool CMpsseEngine::ClockBit(const Shift& s, bool outBit)
{
    const uint64_t h = HalfPeriodNs();
    const uint64_t t0 = m_timeNs;
    bool sampled = false;
    // The clock idles at the level its pin was left at; a bit is one pulse
    // away from that level and back.
    const bool idleHigh = (m_lowValue & kScl) != 0;
    if (idleHigh) {
        if (s.read && s.negIn)
            sampled = SampleDataIn();
        DriveScl(false, t0);
        if (s.write && s.negOut)
            DriveData(s.outPin, outBit, t0 + kLineSkewNs);
        DriveScl(true, t0 + h);
        if (s.write && !s.negOut)
            DriveData(s.outPin, outBit, t0 + h + kLineSkewNs);
        if (s.read && !s.negIn)
            sampled = SampleDataIn();
    } else {
        if (s.write && s.negOut)
            DriveData(s.outPin, outBit, t0 + kLineSkewNs);
        DriveScl(true, t0 + h);
        if (s.write && !s.negOut)
            DriveData(s.outPin, outBit, t0 + h + kLineSkewNs);
        if (s.read && !s.negIn)
            sampled = SampleDataIn();
        if (s.read && s.negIn)
            sampled = SampleDataIn();
        DriveScl(false, t0 + 2 * h);
    }
    // Three-phase clocking holds the data for one more half period after the
    // pulse, so that it is valid on both clock edges.
    m_timeNs = t0 + (m_threePhase ? 3 : 2) * h;
    return sampled;
}

void CMpsseEngine::DriveScl(bool level, uint64_t timeNs)
{
    m_lowValue = static_cast<uint8_t>(level ? (m_lowValue | kScl) : (m_lowValue & ~kScl));
    if (m_bus)
        m_bus->SetScl(MasterScl(), timeNs);
}

void CMpsseEngine::DriveData(uint8_t pin, bool level, uint64_t timeNs)
{
    m_lowValue = static_cast<uint8_t>(level ? (m_lowValue | pin) : (m_lowValue & ~pin));
    if (m_bus && pin == kSdaOut)
        m_bus->SetMasterSda(MasterSda(), timeNs);
}

void CMpsseEngine::SetLowPins(uint8_t value, uint8_t dir)
{
    const bool oldScl = MasterScl();
    m_lowValue = value;
    m_lowDir = dir;
    const uint64_t t0 = m_timeNs;
    m_timeNs += kSetPinsNs;
    if (!m_bus)
        return;
    const bool scl = MasterScl();
    const bool sda = MasterSda();
    // The pins of one command switch together; on the bus SDA moves while SCL
    // is low: before a rising SCL, after a falling one. So 80 03 83 after
    // 80 00 83 is a repeated START in the making, never a STOP.
    if (scl && !oldScl) {
        m_bus->SetMasterSda(sda, t0);
        m_bus->SetScl(scl, t0 + kLineSkewNs);
    } else {
        m_bus->SetScl(scl, t0);
        m_bus->SetMasterSda(sda, t0 + kLineSkewNs);
    }
}

void CMpsseEngine::SetHighPins(uint8_t value, uint8_t dir)
{
    bool before[8];
    for (int bit = 0; bit < 8; ++bit)
        before[bit] = HighPin(bit);
    m_highValue = value;
    m_highDir = dir;
    m_timeNs += kSetPinsNs;
    for (int bit = 0; bit < 8; ++bit) {
        const bool after = HighPin(bit);
        if (after && !before[bit])
            ++m_highRises[bit];
        else if (!after && before[bit])
            ++m_highFalls[bit];
    }
}

bool CMpsseEngine::SampleDataIn() const
{
    if (m_loopback)
        return (m_lowValue & kSdaOut) != 0;
    if (m_bus)
        return m_bus->Sda();
    return true;
}

uint8_t CMpsseEngine::ReadLowPins() const
{
    // Released pins float high (internal pull-ups); SCL and SDA read the bus.
    uint8_t pins = static_cast<uint8_t>((m_lowValue & m_lowDir) | static_cast<uint8_t>(~m_lowDir));
    if (m_bus) {
        pins = static_cast<uint8_t>(m_bus->Scl() ? (pins | kScl) : (pins & ~kScl));
        pins = static_cast<uint8_t>(m_bus->Sda() ? (pins | kSdaOut) : (pins & ~kSdaOut));
    }
    const bool sdaIn = SampleDataIn();
    return static_cast<uint8_t>(sdaIn ? (pins | kSdaIn) : (pins & ~kSdaIn));
}

uint8_t CMpsseEngine::ReadHighPins() const
{
    uint8_t pins = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (HighPin(bit))
            pins = static_cast<uint8_t>(pins | (1u << bit));
    return pins;
}
