// Every register port operation against every fault the simulated cable can
// inject, end to end on the demonstration board. A fault that clears within
// the five attempts must not show at all (the same result and device state as
// without it); one that persists gives the operation's failure value and
// error flag, and a refused transfer changes nothing on the device. After
// each, the cable must be back in step: the next read returns its own
// register, an absent device stays absent.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

#include "device/blocks/FaultLog.h"
#include "device/Tovin_I2C_Port.h"
#include "sim/SimulatedBoard.h"
#include "device/blocks/Adc.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Trim.h"

namespace {

// A data write whose failure the operation does not report: the reads that
// follow show what the device held before, as specified.
constexpr int kSilentData = -2;

struct Operation {
    const char* name;
    uint8_t address;   // write address of its device
    bool readsData;    // its result comes from a read transaction
    bool hasCommand;   // sends bytes after the address
    int dataIndex;     // the byte after the address that carries the first data; -1 none
    double failure;    // its result when it fails
    int failureFlag;   // and the error flag then
    std::function<double(CTovin_I2C_Port&)> run;
};

enum class Kind { WriteAddressNack, ReadAddressNack, CommandNack, DataNack, Writes, Unplug, Transient };

struct Fault {
    const char* name;
    Kind kind;
    bool hmuOnly;  // injected in the HMU device (the main device has no such fault)
    std::function<void(CSimulatedBoard&, const Operation&)> inject;
    int unplugAfter = 0;
};

constexpr int kAlways = CSimulatedFtdiDriver::kAlways;
static_assert(kAlways == CHmuDevice::kAlways);

const std::vector<Operation>& Operations()
{
    using P = CTovin_I2C_Port;
    static const std::vector<Operation> operations = {
        {"ReadRegister", 0xC0, true, true, -1, 0, 0, [](P& p) { return p.ReadRegister(0x33, 0x34); }},
        {"WriteRegister", 0xC0, false, true, 2, 0, 0, [](P& p) { p.WriteRegister(0x31, 0x20, 0x5A); return 0.0; }},
        {"MaskedWrite", 0xC0, false, true, 3, 0, 0, [](P& p) { p.MaskedWrite(0x21, 0x0F, 0xF0); return 0.0; }},
        {"UpdateConfiguration", 0xC0, false, true, -1, 0, P::kErrorAck, [](P& p) { p.UpdateConfiguration(); return 0.0; }},
        {"ReadSenseRange", 0xC0, true, true, -1, 100, 0, [](P& p) { return imon::ReadSenseRange(p, 1, nullptr); }},
        {"ReadTemperature", 0xC0, true, true, -1, 0, 0, [](P& p) { return tmon::ReadTemperature(p, 1); }},
        {"ReadTrimCode", 0xC0, true, true, -1, 0, 0, [](P& p) { return trim::ReadCode(p, 1); }},
        {"WriteTrimTarget", 0xC0, false, true, 2, 0, 0, [](P& p) { trim::WriteTargetWord(p, 1, 0x0ABC); return 0.0; }},
        {"ReadSignature", 0xC0, true, true, -1, 0, 0, [](P& p) { return static_cast<double>(signature::Read(p)); }},
        {"ReadMonitorRecord", 0xC0, true, true, kSilentData, 0, 0, [](P& p) { return adc::ReadMonitorRecord(p, 2); }},
        {"MeasureVoltage", 0xC0, true, true, kSilentData, 0, 0, [](P& p) { return adc::MeasureVoltage(p, 3); }},
        {"MeasureVoltageRanged", 0xC0, true, true, kSilentData, 0, 0, [](P& p) { return adc::MeasureVoltageRanged(p, 2); }},
        {"fault log unlock (BeginCommand, WriteBytes)", 0xC0, false, true, 2, 0, 0,
         [](P& p) {
             const uint8_t code[2] = {faultlog::kUnlockFirst, faultlog::kUnlockSecond};
             return p.BeginCommand(faultlog::kCmdUnlock, -1) && p.WriteBytes(code, 2) ? 1.0 : 0.0;
         }},
        {"ProbeHmu", 0xC0, false, false, -1, 0, 0, [](P& p) { return p.ProbeHmu(0) ? 1.0 : 0.0; }},
        {"ReadMain", 0x40, true, true, -1, 0, P::kErrorAck, [](P& p) { return p.ReadMain(1); }},
        {"WriteMain", 0x40, false, true, 1, 0, P::kErrorAck, [](P& p) { p.WriteMain(1, 0x99); return 0.0; }},
    };
    return operations;
}

const std::vector<Fault>& Faults()
{
    using B = CSimulatedBoard;
    using O = Operation;
    static const std::vector<Fault> faults = {
        {"address NACK always", Kind::WriteAddressNack, false,
         [](B& b, const O& o) { b.Driver()->InjectAddressNack(o.address, kAlways); }},
        {"address NACK 4 times", Kind::Transient, false, [](B& b, const O& o) { b.Driver()->InjectAddressNack(o.address, 4); }},
        {"read address NACK always", Kind::ReadAddressNack, false,
         [](B& b, const O& o) { b.Driver()->InjectAddressNack(static_cast<uint8_t>(o.address + 1), kAlways); }},
        {"read address NACK 4 times", Kind::Transient, false,
         [](B& b, const O& o) { b.Driver()->InjectAddressNack(static_cast<uint8_t>(o.address + 1), 4); }},
        {"command NACK always", Kind::CommandNack, true, [](B& b, const O&) { b.Hmu(0)->InjectFault(HmuFault::CommandNack, kAlways); }},
        {"command NACK once", Kind::Transient, true, [](B& b, const O&) { b.Hmu(0)->InjectFault(HmuFault::CommandNack, 1); }},
        {"data NACK always", Kind::DataNack, true, [](B& b, const O&) { b.Hmu(0)->InjectFault(HmuFault::DataNack, kAlways); }},
        {"data NACK once", Kind::Transient, true, [](B& b, const O&) { b.Hmu(0)->InjectFault(HmuFault::DataNack, 1); }},
        {"short read", Kind::Transient, false, [](B& b, const O&) { b.Driver()->ShortenReads(1, 1); }},
        {"two short reads", Kind::Transient, false, [](B& b, const O&) { b.Driver()->ShortenReads(2, 2); }},
        {"failed write", Kind::Transient, false, [](B& b, const O&) { b.Driver()->FailWrites(1); }},
        {"short write", Kind::Transient, false, [](B& b, const O&) { b.Driver()->ShortenWrites(3, 1); }},
        {"every write fails", Kind::Writes, false, [](B& b, const O&) { b.Driver()->FailWrites(1000); }},
        {"unplugged between a write and its read", Kind::Unplug, false,
         [](B& b, const O&) { b.Driver()->UnplugAfterTransfers(1); }, 1},
        {"unplugged in the second exchange", Kind::Unplug, false,
         [](B& b, const O&) { b.Driver()->UnplugAfterTransfers(3); }, 3},
    };
    return faults;
}

struct Outcome {
    double value = 0;
    int flag = 0;
    std::string state;  // what the devices hold afterwards
};

std::string DeviceState(const CSimulatedBoard& board)
{
    std::ostringstream state;
    const CHmuDevice& hmu = *board.Hmu(0);
    for (int r = 0; r < CHmuDevice::kConfigRegisters; ++r)
        state << int{hmu.PendingConfiguration(r)} << ',' << int{hmu.ActiveConfiguration(r)} << ' ';
    // Not the number of updates: one repeated after its reply was lost
    // applies the same registers again.
    state << "unlocked " << hmu.EraseUnlocked() << " trim";
    for (int n = 0; n < CHmuDevice::kTrimCells; ++n) state << ' ' << hmu.TrimTarget(n);
    state << " main";
    for (int r = 0; r < CMainDevice::kRegisters; ++r) state << ' ' << int{board.Main()->Register(r)};
    return state.str();
}

struct Bench {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    CTovin_I2C_Port port{board->Driver()};

    Bench()
    {
        port.SetDemoMode(false);
        EXPECT_EQ(port.OpenCable(), FTDI_OK);
        board->Driver()->ResetCounters();
    }
    CSimulatedFtdiDriver& Cable() { return *board->Driver(); }
    Outcome Run(const Operation& operation)
    {
        Outcome outcome;
        outcome.value = operation.run(port);
        outcome.flag = port.GetError();
        outcome.state = DeviceState(*board);
        return outcome;
    }
    uint64_t Transfers() const
    {
        const SimulatedDriverCounters c = board->Driver()->Counters();
        return c.writeCalls + c.readCalls;
    }
};

bool Hits(const Fault& fault, const Operation& operation, uint64_t transfers)
{
    switch (fault.kind) {
    case Kind::WriteAddressNack:
    case Kind::Writes: return true;
    case Kind::ReadAddressNack: return operation.readsData;
    case Kind::CommandNack: return operation.hasCommand;
    case Kind::DataNack: return operation.dataIndex >= 0;
    case Kind::Unplug: return transfers > static_cast<uint64_t>(fault.unplugAfter);
    case Kind::Transient: return false;
    }
    return false;
}

TEST(FaultMatrix, EveryPortOperationAgainstEveryInjectedFault)
{
    for (const Operation& operation : Operations()) {
        Bench reference;
        const std::string initial = DeviceState(*reference.board);
        const Outcome expected = reference.Run(operation);
        const uint64_t transfers = reference.Transfers();
        ASSERT_EQ(expected.flag, 0) << operation.name;

        for (const Fault& fault : Faults()) {
            if (fault.kind == Kind::DataNack && operation.dataIndex == kSilentData) continue;
            if (fault.hmuOnly && operation.address != CSimulatedBoard::kHmuBaseAddress) continue;
            const std::string cell = std::string(operation.name) + " / " + fault.name;
            Bench bench;
            fault.inject(*bench.board, operation);
            const Outcome got = bench.Run(operation);
            if (Hits(fault, operation, transfers)) {
                EXPECT_EQ(got.value, operation.failure) << cell;
                EXPECT_EQ(got.flag, operation.failureFlag) << cell;
                // A device that refused a byte took nothing of what followed.
                if (fault.kind != Kind::Unplug && fault.kind != Kind::Writes) {
                    EXPECT_EQ(got.state, initial) << cell;
                }
            } else {
                EXPECT_EQ(got.value, expected.value) << cell;
                EXPECT_EQ(got.flag, expected.flag) << cell;
                EXPECT_EQ(got.state, expected.state) << cell;
            }

            // Every transaction ended with a STOP, also a command phase that
            // failed every attempt (a pulled cable releases the lines itself).
            if (fault.kind != Kind::Unplug) {
                EXPECT_FALSE(bench.Cable().Bus().InTransaction()) << cell << ": bus left mid-transaction";
            }

            // The fault clears: the next operations get their own answers.
            CSimulatedFtdiDriver& cable = bench.Cable();
            cable.InjectAddressNack(operation.address, 0);
            cable.InjectAddressNack(static_cast<uint8_t>(operation.address + 1), 0);
            bench.board->Hmu(0)->InjectFault(HmuFault::CommandNack, 0);
            bench.board->Hmu(0)->InjectFault(HmuFault::DataNack, 0);
            cable.ShortenReads(0, 0);
            cable.FailWrites(0);
            cable.ShortenWrites(0, 0);
            cable.UnplugAfterTransfers(-1);
            if (!cable.IsPlugged()) {
                cable.SetPlugged(true);
                ASSERT_EQ(bench.port.OpenCable(), FTDI_OK) << cell;
            }
            bench.port.ClearError();
            EXPECT_EQ(bench.port.ReadRegister(0x33, 0x34), bench.board->Hmu(0)->PendingConfiguration(0x34)) << cell;
            EXPECT_EQ(bench.port.ReadRegister(0x33, 0x35), bench.board->Hmu(0)->PendingConfiguration(0x35)) << cell;
            EXPECT_FALSE(bench.port.ProbeHmu(2)) << cell << ": phantom HMU2";
            EXPECT_TRUE(bench.port.ProbeHmu(1)) << cell;
            EXPECT_EQ(bench.port.ReadMain(3), bench.board->Main()->Register(3)) << cell;
            EXPECT_EQ(bench.port.GetError(), 0) << cell;
            EXPECT_FALSE(bench.port.GetLink().IsOutOfStep()) << cell;
        }
    }
}

}  // namespace
