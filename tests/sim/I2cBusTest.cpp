#include <gtest/gtest.h>

#include <sstream>

#include "sim/I2cBus.h"
#include "sim/TestTarget.h"
#include "SimTestSequences.h"

using simtest::Bytes;
using simtest::Hex;

namespace {

// Drives the bus pins directly, one change at a time, as a bit-banging master
// would; nothing of the MPSSE engine is involved.
class PinMaster {
public:
    explicit PinMaster(CI2cBus& bus) : m_bus(bus) {}

    void Scl(bool level) { m_bus.SetScl(level, m_t += 500); }
    void Sda(bool level) { m_bus.SetMasterSda(level, m_t += 500); }
    void Start() { Sda(true); Scl(true); Sda(false); Scl(false); }
    void Stop() { Sda(false); Scl(true); Sda(true); }
    void Bit(bool b) { Sda(b); Scl(true); Scl(false); }
    bool ReadBit()
    {
        Sda(true);
        Scl(true);
        const bool b = m_bus.Sda();
        Scl(false);
        return b;
    }
    bool WriteByte(uint8_t v)
    {
        for (int i = 7; i >= 0; --i)
            Bit(((v >> i) & 1) != 0);
        return !ReadBit();
    }
    uint8_t ReadByte(bool ack)
    {
        uint8_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = static_cast<uint8_t>((v << 1) | (ReadBit() ? 1 : 0));
        Bit(!ack);
        return v;
    }

    // Runs a little program: S, P, Wxx (write byte), Ra / Rn (read byte, then
    // ACK / NACK), 1 / 0 (one bit), c (a clock pulse leaving SDA alone).
    // Returns the bytes read.
    Bytes Run(const std::string& program)
    {
        Bytes read;
        std::istringstream in(program);
        std::string op;
        while (in >> op) {
            if (op == "S") Start();
            else if (op == "P") Stop();
            else if (op[0] == 'W') WriteByte(static_cast<uint8_t>(std::stoul(op.substr(1), nullptr, 16)));
            else if (op == "Ra") read.push_back(ReadByte(true));
            else if (op == "Rn") read.push_back(ReadByte(false));
            else if (op == "1" || op == "0") Bit(op == "1");
            else if (op == "c") { Scl(true); Scl(false); }
            else ADD_FAILURE() << "unknown step " << op;
        }
        return read;
    }

private:
    CI2cBus& m_bus;
    uint64_t m_t = 0;
};

TEST(I2cBus, DecodesConditionsAndBytesFromPinChanges)
{
    struct Case {
        const char* program;
        const char* log;
        const char* written;   // bytes the target at C0 received
        const char* read;      // bytes the master read
    };
    const Case cases[] = {
        {"S P", "S P", "", ""},
        {"S WC0 W10 W33 P", "S C0 A 10 A 33 A P", "10 33", ""},
        {"S WC0 W10 S WC1 Ra Rn P", "S C0 A 10 A Sr C1 A 5A A C3 N P", "10", "5A C3"},
        {"S WC1 Rn P", "S C1 A 00 N P", "", "00"},  // the pointer starts at 0
        {"S P S WC0 P", "S P S C0 A P", "", ""},   // a START after a STOP is not repeated
        {"S W90 P", "S 90 N P", "", ""},           // nobody at that address
        {"S W90 W10 P", "S 90 N 10 N P", "", ""},  // the rest of a refused transaction
        // Bits clocked on an idle bus, even an address and its acknowledge
        // clock, reach nobody.
        {"1 1 0 0 0 0 0 0 c c S WC0 W44 P", "S C0 A 44 A P", "44", ""},
        // A START or STOP in the middle of a byte abandons it.
        {"S WC0 W10 1 0 1 S WC1 Rn P", "S C0 A 10 A Sr C1 A 5A N P", "10", "5A"},
        {"S WC0 W10 0 1 1 0 0 P", "S C0 A 10 A P", "10", ""},
        {"S 1 1 0 P S WC0 W20 P", "S P S C0 A 20 A P", "20", ""},
        {"S 1 1 0 0 0 0 0 S WC0 P", "S Sr C0 A P", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        CI2cBus bus;
        auto target = std::make_shared<CTestTarget>();
        target->SetByte(0x10, 0x5A);
        target->SetByte(0x11, 0xC3);
        ASSERT_TRUE(bus.Attach(0xC0, target));
        PinMaster master(bus);
        EXPECT_EQ(master.Run(c.program), Hex(c.read));
        EXPECT_EQ(bus.EventLog(), c.log);
        EXPECT_EQ(target->Written(), Hex(c.written));
        EXPECT_TRUE(bus.Sda()) << "every program leaves the bus released";
    }
}

TEST(I2cBus, TargetHooksFollowTheTransaction)
{
    CI2cBus bus;
    auto target = std::make_shared<CTestTarget>();
    auto other = std::make_shared<CTestTarget>();
    bus.Attach(0xC0, target);
    bus.Attach(0xC2, other);
    PinMaster master(bus);
    master.Run("S WC0 W00 S WC1 Ra Ra Rn P S WC2 P");

    EXPECT_EQ(target->Starts(), 2);           // every START on the bus
    EXPECT_EQ(target->RepeatedStarts(), 1);
    EXPECT_EQ(target->Stops(), 2);
    EXPECT_EQ(target->Addressed(), 2);        // only its own address bytes
    EXPECT_EQ(target->Sent().size(), 3u);     // one OnRead per byte read, none after the NACK
    EXPECT_EQ(target->MasterAcks(), 2);
    EXPECT_EQ(target->MasterNacks(), 1);
    EXPECT_EQ(target->Pointer(), 3);
    EXPECT_EQ(other->Addressed(), 1);
    EXPECT_EQ(bus.AddressCount(0xC0), 1);
    EXPECT_EQ(bus.AddressCount(0xC1), 1);
    EXPECT_EQ(bus.AddressCount(0xC2), 1);
}

TEST(I2cBus, SdaIsTheWiredAndOfMasterAndTargets)
{
    CI2cBus bus;
    auto a = std::make_shared<CTestTarget>();
    auto b = std::make_shared<CTestTarget>();
    a->SetByte(0, 0xF0);
    b->SetByte(0, 0x3C);
    bus.Attach(0xC0, a);
    bus.Attach(0xC0, b);  // two devices answering one address
    PinMaster master(bus);
    master.Run("S");
    for (int i = 7; i >= 0; --i)
        master.Bit(((0xC0 >> i) & 1) != 0);
    master.Sda(true);
    EXPECT_TRUE(bus.MasterSda());
    EXPECT_FALSE(bus.Sda()) << "the acknowledge holds SDA low against the released master";
    master.Scl(true);
    master.Scl(false);
    EXPECT_TRUE(bus.Sda()) << "released after the acknowledge clock";

    master.Run("W00 S WC1");
    EXPECT_EQ(master.ReadByte(false), 0xF0 & 0x3C);
    master.Run("P");
    EXPECT_EQ(bus.EventLog(), "S C0 A 00 A Sr C1 A 30 N P");
}

TEST(I2cBus, InjectedAddressNacksCountDown)
{
    struct Case {
        uint8_t injectAt;
        int times;
        const char* acks;  // one letter per attempt to C0
    };
    const Case cases[] = {
        {0xC0, 2, "NNAA"},
        {0xC0, CI2cBus::kAlways, "NNNN"},
        {0xC0, 0, "AAAA"},
        {0xC1, CI2cBus::kAlways, "AAAA"},  // only the exact address byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.acks));
        CI2cBus bus;
        auto target = std::make_shared<CTestTarget>();
        bus.Attach(0xC0, target);
        bus.InjectAddressNack(c.injectAt, c.times);
        PinMaster master(bus);
        std::string acks;
        int acked = 0;
        for (int i = 0; i < 4; ++i) {
            master.Start();
            const bool ack = master.WriteByte(0xC0);
            master.Stop();
            acks += ack ? 'A' : 'N';
            acked += ack ? 1 : 0;
        }
        EXPECT_EQ(acks, c.acks);
        EXPECT_EQ(bus.AddressCount(0xC0), 4);
        EXPECT_EQ(target->Addressed(), acked) << "a refused address never reaches the target";
    }
}

TEST(I2cBus, RefusedDataByteIsNacked)
{
    CI2cBus bus;
    auto target = std::make_shared<CTestTarget>();
    bus.Attach(0xC0, target);
    target->RefuseWrites(1);
    PinMaster master(bus);
    master.Run("S WC0 W10 W20 P");
    EXPECT_EQ(bus.EventLog(), "S C0 A 10 N 20 A P");
    EXPECT_EQ(target->Written(), Hex("20"));
}

TEST(I2cBus, AttachAndDetach)
{
    CI2cBus bus;
    auto target = std::make_shared<CTestTarget>();
    EXPECT_FALSE(bus.Attach(0xC1, target)) << "attach by the even write address";
    EXPECT_FALSE(bus.Attach(0xC0, nullptr));
    EXPECT_TRUE(bus.Attach(0xC0, target));
    PinMaster master(bus);
    master.Run("S WC0 P");
    EXPECT_TRUE(bus.Detach(0xC0));
    EXPECT_FALSE(bus.Detach(0xC0));
    master.Run("S WC0 P");
    EXPECT_EQ(bus.EventLog(), "S C0 A P S C0 N P");
}

}  // namespace
