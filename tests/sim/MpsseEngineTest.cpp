#include <gtest/gtest.h>

#include <optional>

#include "sim/I2cBus.h"
#include "link/Mpsse.h"
#include "sim/MpsseEngine.h"
#include "sim/TestTarget.h"
#include "SimTestSequences.h"

using simtest::Bytes;
using simtest::Cat;
using simtest::Hex;

namespace {

struct EngineOnBus {
    CI2cBus bus;
    CMpsseEngine engine{&bus};

    EngineOnBus()
    {
        engine.SetBitMode(0x83, 2);
        Send(Hex("80 03 83 85"));
    }
    void Send(const Bytes& bytes) { engine.Write(bytes.data(), bytes.size()); }
    Bytes Replies()
    {
        Bytes out(engine.Available());
        out.resize(engine.Read(out.data(), out.size()));
        return out;
    }
};

// SDA as it stood at each rising edge of SCL in the recorded trace.
std::vector<int> BitsAtRisingEdges(const CBusTrace& trace)
{
    bool scl = trace.InitialScl();
    bool sda = trace.InitialSda();
    std::vector<int> bits;
    for (const BusTraceEvent& e : trace.Events()) {
        if (e.line == BusLine::Sda) {
            sda = e.level;
            continue;
        }
        if (e.level && !scl)
            bits.push_back(sda ? 1 : 0);
        scl = e.level;
    }
    return bits;
}

std::vector<int> Bits(const std::string& text)
{
    std::vector<int> bits;
    for (char c : text)
        bits.push_back(c == '1' ? 1 : 0);
    return bits;
}

TEST(MpsseEngine, SetPinsDriveTheBusAndReadBack)
{
    struct Case {
        const char* commands;
        bool scl, sda;       // bus levels afterwards
        bool enable;         // high byte bit 0
        const char* reply;   // expected reply bytes
    };
    const Case cases[] = {
        {"80 03 83", true, true, false, ""},
        {"80 01 83", true, false, false, ""},
        {"80 00 83", false, false, false, ""},
        {"80 00 81", false, true, false, ""},   // SDA released: pulled up
        {"80 02 81", false, true, false, ""},   // a value on a released pin does nothing
        {"80 00 80", true, true, false, ""},    // both released
        {"80 03 83 81", true, true, false, "7F"},
        {"80 01 83 81", true, false, false, "79"},  // SDA in follows the bus
        {"82 01 01", true, true, true, ""},
        {"82 01 01 82 00 01", true, true, false, ""},
        {"82 01 00 83", true, true, false, "FE"},   // released enable line reads low
        {"82 01 01 83", true, true, true, "FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands);
        EngineOnBus s;
        s.Send(Hex(c.commands));
        EXPECT_EQ(s.bus.Scl(), c.scl);
        EXPECT_EQ(s.bus.Sda(), c.sda);
        EXPECT_EQ(s.engine.HighPin(0), c.enable);
        EXPECT_EQ(s.Replies(), Hex(c.reply));
        EXPECT_TRUE(s.engine.UnknownOpcodes().empty());
    }
}

TEST(MpsseEngine, ClockOutPutsBitsOnSdaBeforeEachRisingEdge)
{
    struct Case {
        const char* commands;
        const char* bits;
    };
    const Case cases[] = {
        {"11 00 00 A5", "10100101"},
        {"11 01 00 A5 3C", "1010010100111100"},
        {"13 02 A0", "101"},            // three bits, MSB first
        {"13 00 80", "1"},
        {"19 00 00 35", "10101100"},    // LSB first
        {"1B 03 0B", "1101"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands);
        EngineOnBus s;
        s.Send(Hex("80 00 83"));
        s.bus.StartTrace();
        s.Send(Hex(c.commands));
        EXPECT_EQ(BitsAtRisingEdges(s.bus.Trace()), Bits(c.bits));
        EXPECT_FALSE(s.bus.Scl()) << "the clock idles low again";
        EXPECT_TRUE(s.Replies().empty());
    }
}

TEST(MpsseEngine, ClockInSamplesSdaAndReplies)
{
    struct Case {
        const char* commands;
        const char* reply;
    };
    const Case cases[] = {
        {"80 00 81 22 00", "01"},        // released SDA reads high, the bit lands in bit 0
        {"80 00 83 22 00", "00"},        // the master's own low output wins (wired AND)
        {"80 00 81 20 00 00", "FF"},
        {"80 00 81 20 01 00", "FF FF"},
        {"84 80 02 83 22 00", "01"},     // loopback reads the data out latch
        {"84 80 00 83 22 00", "00"},
        {"84 31 00 00 5A", "5A"},        // out and in together, MSB first
        {"84 33 03 A0", "0A"},           // four bits shift in from the low end
        {"84 39 00 00 35", "35"},        // LSB first
        {"84 3B 03 0B", "B0"},           // LSB first bits shift in from the top
        {"84 31 01 00 12 34 85 80 00 81 22 00", "12 34 01"},
        {"87", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands);
        EngineOnBus s;
        s.Send(Hex(c.commands));
        EXPECT_EQ(s.Replies(), Hex(c.reply));
        EXPECT_TRUE(s.engine.UnknownOpcodes().empty());
    }
}

TEST(MpsseEngine, UnknownOpcodesAreAnsweredAndReported)
{
    struct Case {
        const char* commands;
        const char* reply;
        const char* unknown;
    };
    const Case cases[] = {
        {"AA", "FA AA", "AA"},
        {"AB", "FA AB", "AB"},
        {"00", "FA 00", "00"},
        {"AB 80 01 83 AC 22 00", "FA AB FA AC 00", "AB AC"},  // the engine carries on after each
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands);
        EngineOnBus s;
        s.Send(Hex(c.commands));
        EXPECT_EQ(s.Replies(), Hex(c.reply));
        EXPECT_EQ(s.engine.UnknownOpcodes(), Hex(c.unknown));
    }
}

TEST(MpsseEngine, CommandsSplitAcrossWritesBehaveAsOneWrite)
{
    const Bytes sequence = Cat({simtest::Start(), simtest::WriteByte(0xC0), simtest::WriteByte(0x10),
                                simtest::Start(), simtest::WriteByte(0xC1), simtest::ReadByte(false),
                                simtest::ReadByte(true), simtest::Stop(), Hex("86 3B 00 AA")});
    auto run = [&](const std::vector<size_t>& cuts) {
        EngineOnBus s;
        auto target = std::make_shared<CTestTarget>();
        target->SetByte(0x10, 0x5A);
        target->SetByte(0x11, 0xC3);
        s.bus.Attach(0xC0, target);
        size_t from = 0;
        for (size_t cut : cuts) {
            s.engine.Write(sequence.data() + from, cut - from);
            from = cut;
        }
        s.engine.Write(sequence.data() + from, sequence.size() - from);
        EXPECT_EQ(s.engine.PendingCommandBytes(), 0u);
        return std::make_tuple(s.Replies(), s.bus.EventLog(), s.engine.Divisor(), s.engine.UnknownOpcodes());
    };

    const auto whole = run({});
    EXPECT_EQ(std::get<0>(whole), Hex("00 00 00 5A C3 FA AA"));
    EXPECT_EQ(std::get<1>(whole), "S C0 A 10 A Sr C1 A 5A A C3 N P");
    for (size_t cut = 1; cut < sequence.size(); ++cut) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(run({cut}), whole);
    }
    std::vector<size_t> everyByte;
    for (size_t cut = 1; cut < sequence.size(); ++cut)
        everyByte.push_back(cut);
    EXPECT_EQ(run(everyByte), whole);
}

TEST(MpsseEngine, BitTimingFollowsTheDivisor)
{
    struct Case {
        uint16_t divisor;
        uint64_t halfPeriodNs;
    };
    const Case cases[] = {{59, 5000}, {29, 2500}, {14, 1250}, {5, 500}, {0, 83}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.divisor);
        EngineOnBus s;
        s.Send({0x86, static_cast<uint8_t>(c.divisor), 0x00});
        EXPECT_EQ(s.engine.HalfPeriodNs(), c.halfPeriodNs);
        s.Send(Hex("80 00 83"));
        s.bus.StartTrace();
        s.Send(Hex("11 00 00 A5 80 00 81 22 00 80 03 83"));
        std::vector<uint64_t> rises, falls;
        uint64_t last = 0;
        for (const BusTraceEvent& e : s.bus.Trace().Events()) {
            EXPECT_GT(e.timeNs, last) << "every change has a time stamp of its own";
            last = e.timeNs;
            if (e.line == BusLine::Scl)
                (e.level ? rises : falls).push_back(e.timeNs);
        }
        ASSERT_EQ(rises.size(), 10u);  // 8 data bits, the acknowledge, the final release
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(falls[i] - rises[i], c.halfPeriodNs);
            if (i > 0) {
                EXPECT_EQ(rises[i] - rises[i - 1], 2 * c.halfPeriodNs);
            }
        }
        // The set-pins command between the byte and the acknowledge takes time too.
        EXPECT_EQ(rises[8] - falls[7], CMpsseEngine::kSetPinsNs + c.halfPeriodNs);
    }
}

// SCL rise-to-rise and high times of one byte clocked out, from the trace.
struct ByteClock {
    std::vector<uint64_t> periods;
    std::vector<uint64_t> highs;
};

ByteClock ClockOfOneByte(EngineOnBus& s)
{
    s.Send(Hex("80 00 83"));
    s.bus.ClearTrace();
    s.bus.StartTrace();
    s.Send(Hex("11 00 00 A5"));
    ByteClock clock;
    std::vector<uint64_t> rises;
    for (const BusTraceEvent& e : s.bus.Trace().Events()) {
        if (e.line != BusLine::Scl) continue;
        if (e.level) {
            if (!rises.empty()) clock.periods.push_back(e.timeNs - rises.back());
            rises.push_back(e.timeNs);
        } else if (!rises.empty()) {
            clock.highs.push_back(e.timeNs - rises.back());
        }
    }
    return clock;
}

TEST(MpsseEngine, ClockSetUpCommandsChangeTheBitClockAndOutliveTheSession)
{
    struct Case {
        const char* setup;
        uint16_t divisor;
        uint64_t periodNs;  // SCL rise to rise
        uint64_t highNs;
    };
    const Case cases[] = {
        {"", 59, 10000, 5000},                 // power-up: divide by 5, two-phase
        {"8B 97 8D", 59, 10000, 5000},         // the same, said out loud
        {"8A", 59, 2000, 1000},                // 60 MHz master clock: five times faster
        {"8A 8B", 59, 10000, 5000},
        {"8A", 14, 500, 250},
        {"8C", 59, 15000, 5000},               // three-phase: one more half period of hold
        {"8C 8D", 59, 10000, 5000},
        {"8A 8C", 14, 750, 250},
        {"96 97", 59, 10000, 5000},            // adaptive clocking switched off again
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        EngineOnBus s;
        s.Send(Hex(c.setup));
        s.Send({0x86, static_cast<uint8_t>(c.divisor), 0x00});
        // What another program set stays for the next one: only power-up resets it.
        s.engine.ResetSession();
        s.engine.SetBitMode(0x00, 0);
        s.engine.SetBitMode(0x83, 2);
        const ByteClock clock = ClockOfOneByte(s);
        ASSERT_EQ(clock.periods.size(), 7u);
        ASSERT_EQ(clock.highs.size(), 8u);
        for (uint64_t p : clock.periods) EXPECT_EQ(p, c.periodNs);
        for (uint64_t h : clock.highs) EXPECT_EQ(h, c.highNs);
        EXPECT_TRUE(s.engine.UnknownOpcodes().empty());

        s.engine.PowerUp();
        s.engine.SetBitMode(0x83, 2);
        s.Send({0x86, 59, 0x00});
        const ByteClock fresh = ClockOfOneByte(s);
        ASSERT_FALSE(fresh.periods.empty());
        EXPECT_EQ(fresh.periods[0], 10000u) << "power-up restores the defaults";
    }
}

TEST(MpsseEngine, AdaptiveClockingStallsWithoutAReturnedClock)
{
    EngineOnBus s;
    s.bus.Attach(0xC0, std::make_shared<CTestTarget>());
    s.Send(Hex("96"));
    s.Send(Hex("80 00 83 81"));  // pin commands do not wait for the clock
    EXPECT_EQ(s.Replies(), Hex("78"));
    s.bus.StartTrace();
    s.Send(Cat({simtest::Start(), simtest::WriteByte(0xC0), simtest::Stop(), Hex("97 AA")}));
    EXPECT_TRUE(s.engine.Stalled());
    EXPECT_TRUE(s.Replies().empty()) << "nothing after the stalled command runs, 97 and AA included";
    const auto& events = s.bus.Trace().Events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const BusTraceEvent& e) { return e.line == BusLine::Scl && e.level; }),
              1)
        << "the START's own pin change, then no clock pulse";

    // A bit-mode reset drops the stalled command; adaptive clocking stays on
    // until it is switched off.
    s.engine.SetBitMode(0x00, 0);
    s.engine.SetBitMode(0x83, 2);
    EXPECT_FALSE(s.engine.Stalled());
    EXPECT_TRUE(s.engine.Adaptive());
    s.bus.ClearEventLog();
    s.Send(Cat({Hex("97"), simtest::Start(), simtest::WriteByte(0xC0), simtest::Stop()}));
    EXPECT_FALSE(s.engine.Stalled());
    EXPECT_EQ(s.Replies(), Hex("00"));
    EXPECT_EQ(s.bus.EventLog(), "Sr C0 A P") << "the stalled START never ended";
}

TEST(MpsseEngine, JointPinChangeMovesSdaWhileSclIsLow)
{
    // A START queued after a transaction that ended without STOP: 80 03 83
    // right after 80 00 83 must be a repeated START, not a STOP and a START.
    EngineOnBus s;
    s.bus.Attach(0xC0, std::make_shared<CTestTarget>());
    s.Send(Cat({simtest::Start(), simtest::WriteByte(0xC0), simtest::Start(), simtest::WriteByte(0xC1),
                simtest::ReadByte(true), simtest::Stop()}));
    EXPECT_EQ(s.bus.EventLog(), "S C0 A Sr C1 A 00 N P");

    // SDA rises first while SCL is low, then SCL rises, with its own later time.
    s.Send(Hex("80 00 83"));
    s.bus.StartTrace();
    s.Send(Hex("80 03 83"));
    const auto& events = s.bus.Trace().Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].line, BusLine::Sda);
    EXPECT_EQ(events[1].line, BusLine::Scl);
    EXPECT_LT(events[0].timeNs, events[1].timeNs);

    // Falling together, SCL goes first, so no START appears from nowhere.
    s.bus.ClearEventLog();
    s.Send(Hex("80 00 83"));
    EXPECT_EQ(s.bus.EventLog(), "");
}

}  // namespace

// The simulated engine keeps its own command table so that it checks the
// link's; the two must agree on every opcode either of them knows, or the
// engine would take the link's bytes apart differently from a real chip.
TEST(MpsseEngine, CommandLengthsAgreeWithTheLinkTable)
{
    for (int op = 0; op < 256; ++op) {
        SCOPED_TRACE(op);
        // Enough bytes for any header; the byte counts ask for 3 bytes of data.
        const uint8_t cmd[] = {static_cast<uint8_t>(op), 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
        const std::optional<mpsse::Command> link = mpsse::Measure(cmd, sizeof cmd);
        const size_t engine = CMpsseEngine::CommandLength(cmd, sizeof cmd);
        if (link) {
            EXPECT_EQ(engine, link->length);
            // A shift with its header cut short needs more bytes in both.
            if (op >= 0x10 && op <= 0x3F && (op & 0x02) == 0) {
                EXPECT_EQ(CMpsseEngine::CommandLength(cmd, 2), 0u);
                EXPECT_EQ(mpsse::Measure(cmd, 2)->length, 0u);
            }
        } else {
            EXPECT_EQ(engine, 1u) << "an opcode the link does not know is one bad command";
        }
    }
}
