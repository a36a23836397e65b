// What the register port's operations cost on the simulated board: CPU time
// per register read, and driver exchanges (write + read pairs) per operation.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Trim.h"
#include "link/CableLock.h"
#include "sim/SimulatedBoard.h"
#include "device/blocks/Adc.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Tmon.h"

int main()
{
    auto board = CSimulatedBoard::CreateDefault();
    auto driver = board->Driver();
    CTovin_I2C_Port port(driver);
    port.SetDemoMode(false);
    port.OpenCable();
    port.SetHmuIndex(0);

    std::printf("Register port on the simulated board, HMU0 at 400 kHz\n");
    bench::Measure("ReadRegister(0x33, 0x34)", [&] { port.ReadRegister(0x33, 0x34); });
    bench::Measure("MeasureVoltageRanged(6)", [&] { adc::MeasureVoltageRanged(port, 6); });

    struct Operation {
        const char* name;
        std::function<void()> run;
    };
    uint8_t buffer[112];
    const std::vector<Operation> operations = {
        {"ReadRegister", [&] { port.ReadRegister(0x33, 0x34); }},
        {"WriteRegister", [&] { port.WriteRegister(0x31, 0x34, 0x12); }},
        {"MaskedWrite", [&] { port.MaskedWrite(0x17, 0x25, 0xC0); }},
        {"UpdateConfiguration", [&] { port.UpdateConfiguration(); }},
        {"ProbeHmu (present)", [&] { port.ProbeHmu(0); }},
        {"ProbeHmu (absent, 5 attempts)", [&] { port.ProbeHmu(5); }},
        {"ReadMain", [&] { port.ReadMain(2); }},
        {"WriteMain", [&] { port.WriteMain(1, 0xC1); }},
        {"ReadSenseRange", [&] { uint8_t raw; imon::ReadSenseRange(port, 0, &raw); }},
        {"ReadTemperature", [&] { tmon::ReadTemperature(port, 0); }},
        {"ReadTrimCode", [&] { trim::ReadCode(port, 3); }},
        {"WriteTrimTarget", [&] { trim::WriteTargetWord(port, 0, 0x0123); }},
        {"ReadSignature", [&] { signature::Read(port); }},
        {"ReadMonitorRecord", [&] { adc::ReadMonitorRecord(port, 5); }},
        {"MeasureVoltage", [&] { adc::MeasureVoltage(port, 0); }},
        {"MeasureVoltageRanged", [&] { adc::MeasureVoltageRanged(port, 2); }},
        {"MeasureVoltageRanged (full scale, repeated)", [&] { adc::MeasureVoltageRanged(port, 9); }},
        {"ReadBlock of 112 bytes", [&] { port.ReadBlock(0x76, -1, buffer, 112); }},
    };
    std::printf("\n%-46s %10s %14s %11s\n", "operation", "exchanges", "bytes written", "bytes read");
    for (const auto& op : operations) {
        driver->ResetCounters();
        op.run();
        const SimulatedDriverCounters c = driver->Counters();
        std::printf("%-46s %10llu %14llu %11llu\n", op.name, static_cast<unsigned long long>(c.writeCalls),
                    static_cast<unsigned long long>(c.bytesWritten), static_cast<unsigned long long>(c.bytesRead));
    }
    std::printf("(an exchange is one driver write and its read. No cable context is set here, so the cable\n"
                " locks of the probes and the signature do not open the enable channel; in the program an\n"
                " outermost lock adds one open, 5 enable-channel writes and a close per access sequence.)\n");

    // The board clock: what one second of board time costs, with nothing to
    // move and with every trim loop of both devices moving its rail.
    std::printf("\nBoard clock, %lld ms steps\n", static_cast<long long>(CSimulatedBoard::kStep.count() / 1000));
    bench::Measure("Advance(1 s), trim loops idle", [&] { board->Advance(std::chrono::seconds(1)); }, 0.5, 10);
    auto moving = CSimulatedBoard::CreateDefault();
    int round = 0;
    bench::Measure(
        "Advance(1 s), 8 trim loops moving",
        [&] {
            // A new target each second, so that the rails are always on their way.
            for (int hmu = 0; hmu < 2; ++hmu)
                for (int cell = 0; cell < CHmuDevice::kTrimCells; ++cell) {
                    CHmuDevice& device = *moving->Hmu(hmu);
                    device.OnStart(false);
                    device.OnAddress(false);
                    device.OnWrite(trim::TargetCommand(cell));
                    device.OnWrite(static_cast<uint8_t>(round % 2 ? 0x58 : 0xF4));
                    device.OnWrite(0x01);
                    device.OnStop();
                }
            ++round;
            moving->Advance(std::chrono::seconds(1));
        },
        0.5, 10);
    // The demonstration design at its busiest: a twenty-rail sequence after
    // each Manual Restart, margining, and the thermal demonstration with R203 heating and cooling.
    auto demonstrating = CSimulatedBoard::CreateDefault();
    CMainDevice& main = *demonstrating->Main();
    main.SetRegister(0, 0x25);  // thermal demonstration started, margining +5 %
    main.SetRegister(1, 0xD1);  // twenty rails
    bench::Measure(
        "Advance(1 s), design sequencing, margining and heating",
        [&] {
            demonstrating->PressManualRestart();
            demonstrating->Advance(std::chrono::seconds(1));
        },
        0.5, 10);
    return 0;
}
