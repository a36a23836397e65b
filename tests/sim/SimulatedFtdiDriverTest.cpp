#include <gtest/gtest.h>

#include "sim/SimulatedFtdiDriver.h"
#include "sim/TestTarget.h"
#include "SimTestSequences.h"

using simtest::Bytes;
using simtest::Cat;
using simtest::Exchange;
using simtest::Hex;
using simtest::ReadByte;
using simtest::Start;
using simtest::Stop;
using simtest::WriteByte;

namespace {

class SimulatedCable : public ::testing::Test {
protected:
    void SetUp() override
    {
        target = std::make_shared<CTestTarget>();
        driver.Bus().Attach(0xC0, target);
        handle = simtest::OpenI2C(driver);
        ASSERT_NE(handle, nullptr);
    }

    // START, address, STOP: the probe a register port makes. Returns the
    // acknowledge byte (bit 0 set = NACK), or -1 when nothing came back.
    int Probe(uint8_t address)
    {
        const Bytes reply = Exchange(driver, handle, Cat({Start(), WriteByte(address), Stop()}), 1);
        return reply.empty() ? -1 : reply[0];
    }

    CSimulatedFtdiDriver driver;
    std::shared_ptr<CTestTarget> target;
    FtdiHandle handle = nullptr;
};

TEST_F(SimulatedCable, WriteTransactionDeliversExactlyTheBytesSent)
{
    const Bytes reply = Exchange(driver, handle,
                                 Cat({Start(), WriteByte(0xC0), WriteByte(0x10), WriteByte(0x33),
                                      WriteByte(0x34), Stop()}),
                                 4);
    EXPECT_EQ(reply, Hex("00 00 00 00"));
    EXPECT_EQ(target->Written(), Hex("10 33 34"));
    EXPECT_EQ(target->Byte(0x10), 0x33);
    EXPECT_EQ(target->Byte(0x11), 0x34);
    EXPECT_EQ(target->Byte(0x12), 0x00);
    EXPECT_EQ(driver.EventLog(), "S C0 A 10 A 33 A 34 A P");
    EXPECT_TRUE(driver.UnknownOpcodes().empty());
}

TEST_F(SimulatedCable, WriteThenReadReturnsTheTargetsData)
{
    target->SetByte(0x20, 0x5A);
    target->SetByte(0x21, 0xA5);
    // Command phase without STOP, then the read phase in a second exchange:
    // the START that opens it must come out as a repeated START.
    EXPECT_EQ(Exchange(driver, handle, Cat({Start(), WriteByte(0xC0), WriteByte(0x20)}), 2), Hex("00 00"));
    const Bytes reply = Exchange(driver, handle,
                                 Cat({Start(), WriteByte(0xC1), ReadByte(false), ReadByte(true), Stop()}), 3);
    EXPECT_EQ(reply, Hex("00 5A A5"));
    EXPECT_EQ(driver.EventLog(), "S C0 A 20 A Sr C1 A 5A A A5 N P");
    EXPECT_EQ(target->MasterAcks(), 1);
    EXPECT_EQ(target->MasterNacks(), 1);
    EXPECT_EQ(target->Written(), Hex("20"));
}

TEST_F(SimulatedCable, AddressAcknowledgesAndInjectedNacks)
{
    EXPECT_EQ(Probe(0xC0) & 1, 0);
    EXPECT_EQ(Probe(0xC4) & 1, 1) << "nobody at C4";

    driver.InjectAddressNack(0xC0, 2);
    std::vector<int> acks;
    for (int i = 0; i < 4; ++i)
        acks.push_back(Probe(0xC0) & 1);
    EXPECT_EQ(acks, (std::vector<int>{1, 1, 0, 0}));
    EXPECT_EQ(driver.AddressCount(0xC0), 5);
    EXPECT_EQ(driver.AddressCount(0xC4), 1);

    // A data read from a missing device: the address is NACKed and nothing
    // drives SDA, so the byte reads all ones.
    const Bytes reply = Exchange(driver, handle, Cat({Start(), WriteByte(0xC5), ReadByte(true), Stop()}), 2);
    EXPECT_EQ(reply, Hex("01 FF"));
}

TEST_F(SimulatedCable, ReadsReturnWhatIsThereAndKeepTheRest)
{
    const Bytes four = Cat({Start(), WriteByte(0xC0), WriteByte(0x00), WriteByte(0x01), WriteByte(0x02), Stop()});
    uint32_t written = 0;
    driver.Write(handle, four.data(), static_cast<uint32_t>(four.size()), &written);
    EXPECT_EQ(written, four.size());

    uint8_t buffer[8] = {};
    uint32_t received = 99;
    EXPECT_EQ(driver.Read(handle, buffer, 3, &received), FTDI_OK);
    EXPECT_EQ(received, 3u);
    EXPECT_EQ(driver.Read(handle, buffer, 8, &received), FTDI_OK);
    EXPECT_EQ(received, 1u) << "only what is left, without waiting";
    EXPECT_EQ(driver.Read(handle, buffer, 8, &received), FTDI_OK);
    EXPECT_EQ(received, 0u);

    // Short reads: the next two reads come back one byte short.
    driver.ShortenReads(1, 2);
    driver.Write(handle, four.data(), static_cast<uint32_t>(four.size()), &written);
    std::vector<uint32_t> sizes;
    for (int i = 0; i < 4; ++i) {
        driver.Read(handle, buffer, 8, &received);
        sizes.push_back(received);
    }
    EXPECT_EQ(sizes, (std::vector<uint32_t>{3, 0, 1, 0}));
}

TEST_F(SimulatedCable, CountsExchangesBytesAndClockCycles)
{
    driver.ResetCounters();
    const Bytes probe = Cat({Start(), WriteByte(0xC0), Stop()});
    Exchange(driver, handle, probe, 1);
    const SimulatedDriverCounters c = driver.Counters();
    EXPECT_EQ(c.writeCalls, 1u);
    EXPECT_EQ(c.readCalls, 1u);
    EXPECT_EQ(c.bytesWritten, probe.size());
    EXPECT_EQ(c.bytesRead, 1u);
    EXPECT_EQ(c.sclCycles, 10u);  // 8 bits, the acknowledge, the STOP
    driver.ResetCounters();
    EXPECT_EQ(driver.Counters().writeCalls, 0u);
    EXPECT_EQ(driver.Counters().sclCycles, 0u);
    EXPECT_EQ(driver.AddressCount(0xC0), 0);
}

TEST_F(SimulatedCable, ARoundTripDelaysOnlyReadsThatWaitForTheChip)
{
    const Bytes probe = Cat({Start(), WriteByte(0xC0), Stop()});
    for (const int roundTripUs : {0, 2000}) {
        driver.SetRoundTrip(std::chrono::microseconds(roundTripUs));
        driver.ResetCounters();
        EXPECT_EQ(Exchange(driver, handle, probe, 1), Bytes{0x00}) << roundTripUs;
        uint8_t none = 0;
        uint32_t received = 0;
        EXPECT_EQ(driver.Read(handle, &none, 0, &received), FTDI_OK);  // asks for nothing: no wait
        const SimulatedDriverCounters c = driver.Counters();
        EXPECT_EQ(c.roundTripWaits, roundTripUs == 0 ? 0u : 1u) << roundTripUs;
        EXPECT_GE(c.roundTripWaitUs, static_cast<uint64_t>(roundTripUs)) << roundTripUs;
    }
}

TEST_F(SimulatedCable, UnplugAndReplug)
{
    FtdiHandle enable = nullptr;
    ASSERT_EQ(driver.Open(0, &enable), FTDI_OK);
    driver.SetPlugged(false);

    uint32_t count = 7;
    driver.CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(driver.IsOpen(1));
    const Bytes probe = Cat({Start(), WriteByte(0xC0), Stop()});
    uint32_t written = 5;
    EXPECT_NE(driver.Write(handle, probe.data(), static_cast<uint32_t>(probe.size()), &written), FTDI_OK);
    EXPECT_EQ(written, 0u);
    uint8_t buffer[4];
    uint32_t received = 5;
    driver.Read(handle, buffer, 4, &received);
    EXPECT_EQ(received, 0u);
    FtdiHandle again = nullptr;
    EXPECT_NE(driver.Open(1, &again), FTDI_OK);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(target->Addressed(), 0);

    driver.SetPlugged(true);
    driver.CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 2u);
    EXPECT_NE(driver.Write(handle, probe.data(), static_cast<uint32_t>(probe.size()), &written), FTDI_OK)
        << "a handle from before the unplug stays dead";
    EXPECT_EQ(driver.Close(enable), FTDI_OK) << "but it can still be closed";
    FtdiHandle fresh = simtest::OpenI2C(driver);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(driver.Close(handle), FTDI_OK);
    EXPECT_TRUE(driver.IsOpen(1)) << "closing the dead handle leaves the new one open";
    handle = fresh;
    EXPECT_EQ(Probe(0xC0), 0);
}

TEST(SimulatedFtdiDriver, OpenRefusals)
{
    struct Case {
        const char* what;
        int devices;
        int index;
        bool alreadyOpen;
        int failNext;  // FailOpens count for the index
        bool plugged;
        bool opens;
    };
    const Case cases[] = {
        {"plain open", 2, 1, false, 0, true, true},
        {"index not listed", 2, 2, false, 0, true, false},
        {"negative index", 2, -1, false, 0, true, false},
        {"only one device", 1, 1, false, 0, true, false},
        {"sixteen devices", 16, 15, false, 0, true, true},
        {"second open", 2, 1, true, 0, true, false},
        {"injected failure", 2, 0, false, 1, true, false},
        {"always failing", 2, 0, false, CSimulatedFtdiDriver::kAlways, true, false},
        {"unplugged", 2, 0, false, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CSimulatedFtdiDriver driver;
        driver.SetDeviceCount(c.devices);
        FtdiHandle first = nullptr;
        if (c.alreadyOpen) {
            ASSERT_EQ(driver.Open(c.index, &first), FTDI_OK);
        }
        driver.FailOpens(c.index, c.failNext);
        driver.SetPlugged(c.plugged);
        FtdiHandle sentinel = reinterpret_cast<FtdiHandle>(uintptr_t{0x1234});
        FtdiHandle h = sentinel;
        const FtdiStatus status = driver.Open(c.index, &h);
        EXPECT_EQ(status == FTDI_OK, c.opens);
        if (!c.opens) {
            EXPECT_EQ(h, sentinel) << "a failed open leaves the handle alone";
        }
        if (c.failNext == 1) {
            EXPECT_EQ(driver.Open(c.index, &h), FTDI_OK) << "only the next open fails";
            EXPECT_EQ(driver.OpenAttempts(c.index), 2);
            EXPECT_EQ(driver.OpenCount(c.index), 1);
        }
        if (c.alreadyOpen) {
            EXPECT_TRUE(driver.IsOpen(c.index));
            uint32_t version = 0;
            EXPECT_EQ(driver.GetDriverVersion(first, &version), FTDI_OK) << "the first handle still works";
        }
    }
}

TEST(SimulatedFtdiDriver, StaleAndUnknownHandlesAreRefused)
{
    CSimulatedFtdiDriver driver;
    FtdiHandle h = simtest::OpenI2C(driver);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(driver.Close(h), FTDI_OK);
    EXPECT_EQ(driver.CloseCount(1), 1);
    EXPECT_FALSE(driver.IsOpen(1));

    const Bytes bytes = Hex("80 01 83");
    const FtdiHandle bad[] = {h, nullptr, reinterpret_cast<FtdiHandle>(uintptr_t{0xDEAD}),
                              reinterpret_cast<FtdiHandle>(&driver)};
    for (FtdiHandle handle : bad) {
        uint32_t n = 0;
        uint8_t buffer[4];
        uint32_t version = 0;
        EXPECT_NE(driver.Write(handle, bytes.data(), 3, &n), FTDI_OK);
        EXPECT_NE(driver.Read(handle, buffer, 4, &n), FTDI_OK);
        EXPECT_NE(driver.SetBitMode(handle, 0, 2), FTDI_OK);
        EXPECT_NE(driver.GetDriverVersion(handle, &version), FTDI_OK);
        EXPECT_NE(driver.Close(handle), FTDI_OK);
    }
    EXPECT_TRUE(driver.Bus().Sda()) << "nothing reached the bus";
}

TEST(SimulatedFtdiDriver, CommandsBeforeMpsseModeAreNotExecuted)
{
    CSimulatedFtdiDriver driver;
    FtdiHandle h = nullptr;
    ASSERT_EQ(driver.Open(1, &h), FTDI_OK);
    const Bytes bytes = Cat({Hex("80 03 83"), Start(), WriteByte(0xC0)});
    uint32_t n = 0;
    EXPECT_EQ(driver.Write(h, bytes.data(), static_cast<uint32_t>(bytes.size()), &n), FTDI_OK);
    EXPECT_EQ(driver.EventLog(), "");
    uint8_t reply[4];
    driver.Read(h, reply, 4, &n);
    EXPECT_EQ(n, 0u);
    driver.SetBitMode(h, 0x83, 2);
    driver.Write(h, bytes.data(), static_cast<uint32_t>(bytes.size()), &n);
    EXPECT_EQ(driver.EventLog(), "S C0 N");

    driver.SetBitMode(h, 0x00, 0);  // leaving MPSSE releases the lines
    EXPECT_TRUE(driver.Bus().Sda());
    EXPECT_TRUE(driver.Bus().Scl());
}

TEST(SimulatedFtdiDriver, ListsDevicesWithTheirSerials)
{
    struct Case {
        int count;
        uint32_t filled;
    };
    const Case cases[] = {{0, 0}, {2, 2}, {16, 16}, {20, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        CSimulatedFtdiDriver driver;
        driver.SetDeviceCount(c.count);
        uint32_t count = 99;
        driver.CreateDeviceInfoList(&count);
        EXPECT_EQ(count, static_cast<uint32_t>(c.count));

        // One spare record after the store catches any overrun.
        FtdiDeviceRecord records[CFtdiDriver::kMaxRecords + 1];
        records[CFtdiDriver::kMaxRecords].SetSerial("GUARD");
        count = 99;
        driver.GetDeviceInfoList(records, &count);
        EXPECT_EQ(count, static_cast<uint32_t>(c.count));
        for (uint32_t i = 0; i < c.filled; ++i)
            EXPECT_EQ(records[i].Serial(), driver.DeviceSerials()[i]);
        EXPECT_EQ(records[CFtdiDriver::kMaxRecords].Serial(), "GUARD");
    }

    CSimulatedFtdiDriver driver;
    FtdiDeviceRecord records[CFtdiDriver::kMaxRecords];
    uint32_t count = 0;
    driver.GetDeviceInfoList(records, &count);
    EXPECT_EQ(records[0].Serial(), "ZSIM2232A");
    EXPECT_EQ(records[1].Serial(), "ZSIM2232B");
    driver.SetDeviceSerials({"FT1", "FT2", "FT3"});
    driver.GetDeviceInfoList(records, &count);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(records[2].Serial(), "FT3");
}

TEST(SimulatedFtdiDriver, EnableChannelDrivesOnlyItsLine)
{
    CSimulatedFtdiDriver driver;
    FtdiHandle i2c = simtest::OpenI2C(driver);
    ASSERT_NE(i2c, nullptr);
    driver.ResetCounters();
    FtdiHandle enable = nullptr;
    ASSERT_EQ(driver.Open(0, &enable), FTDI_OK);
    driver.SetBitMode(enable, 0x00, 2);
    uint32_t n = 0;
    for (const char* step : {"82 00 01", "85", "82 00 01", "82 01 01"}) {
        const Bytes b = Hex(step);
        driver.Write(enable, b.data(), static_cast<uint32_t>(b.size()), &n);
    }
    EXPECT_TRUE(driver.EnableLine());
    const Bytes low = Hex("82 00 01");
    driver.Write(enable, low.data(), 3, &n);
    EXPECT_FALSE(driver.EnableLine());
    EXPECT_EQ(driver.EnableRisingEdges(), 1);
    EXPECT_EQ(driver.EnableFallingEdges(), 1);
    const Bytes bad = Hex("AA");
    driver.Write(enable, bad.data(), 1, &n);
    EXPECT_EQ(driver.UnknownOpcodes(0), bad);
    EXPECT_TRUE(driver.UnknownOpcodes().empty());
    EXPECT_EQ(driver.Counters().sclCycles, 0u) << "the enable channel is not on the bus";
    EXPECT_EQ(driver.EventLog(), "");
    EXPECT_EQ(driver.Close(enable), FTDI_OK);
    EXPECT_EQ(driver.OpenCount(0), 1);
    EXPECT_EQ(driver.CloseCount(0), 1);
    EXPECT_TRUE(driver.IsOpen(1));

    uint32_t version = 0;
    EXPECT_EQ(driver.GetLibraryVersion(&version), FTDI_OK);
    EXPECT_EQ(version, CSimulatedFtdiDriver::kLibraryVersion);
    EXPECT_EQ(driver.GetDriverVersion(i2c, &version), FTDI_OK);
    EXPECT_EQ(version, CSimulatedFtdiDriver::kDriverVersion);
}

}  // namespace
