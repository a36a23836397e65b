// A fresh simulated board has empty fault logs, while faults that come later
// are logged; Manual Restart turns fault logging on again after a
// demonstration turned it off. Read through the cable as a program reads it.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "device/Tovin_I2C_Port.h"
#include "device/blocks/DemoDesign.h"
#include "device/blocks/FaultLog.h"
#include "sim/SimulatedBoard.h"

namespace {

using namespace std::chrono_literals;

int LoggedFaults(CSimulatedBoard& board, int hmu)
{
    CTovin_I2C_Port port(board.Driver());
    EXPECT_EQ(port.OpenCable(), FTDI_OK);
    port.SetHmuIndex(hmu);
    faultlog::Records records{};
    const faultlog::LogRead log = faultlog::ReadLog(port, records);
    EXPECT_TRUE(log.Answered());
    return log.count;
}

TEST(FreshBoard, FaultLogStartsEmptyAndLaterFaultsAreLogged)
{
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    const auto step = [&](auto time) { board->Advance(std::chrono::duration_cast<CSimulatedBoard::Duration>(time)); };
    const auto loggingBit = [&] { return demodesign::kFaultLogging.Get(board->Main()->Register(demodesign::kFaultLogging.reg)); };

    const struct {
        const char* what;
        std::function<void()> act;
        int hmu0Faults;
        int hmu1Faults;
        const char* logging;
    } steps[] = {
        {"fresh", [] {}, 0, 0, "On"},
        {"five seconds on", [&] { step(5s); }, 0, 0, "On"},
        {"PB_SW3 pushed", [&] { board->PressFaultButton(); step(10ms); }, 1, 0, "Off (the supplies are off)"},
        {"Manual Restart, sequencing", [&] { board->PressManualRestart(); step(1s); }, 1, 0,
         "Off (the supplies are coming up)"},
        {"supplies up again", [&] { step(10s); }, 1, 0, "On"},
        {"the demonstration clears the fault logging bit",
         [&] {
             const uint8_t reg = board->Main()->Register(demodesign::kFaultLogging.reg);
             board->Main()->SetRegister(demodesign::kFaultLogging.reg, demodesign::kFaultLogging.Set(reg, 0));
             step(10ms);
         },
         1, 0, "Off (the fault logging bit is clear)"},
        {"PB_SW3 pushed with logging off", [&] { board->PressFaultButton(); step(10ms); }, 1, 0,
         "Off (the fault logging bit is clear)"},
        {"Manual Restart brings logging back", [&] { board->PressManualRestart(); step(10s); }, 1, 0, "On"},
        {"PB_SW3 pushed again", [&] { board->PressFaultButton(); step(10ms); }, 2, 0, "Off (the supplies are off)"},
    };
    for (const auto& s : steps) {
        s.act();
        EXPECT_EQ(LoggedFaults(*board, 0), s.hmu0Faults) << s.what;
        EXPECT_EQ(LoggedFaults(*board, 1), s.hmu1Faults) << s.what;
        EXPECT_EQ(board->Design().FaultLoggingText(), s.logging) << s.what;
    }
    EXPECT_EQ(loggingBit(), 1);
}

}  // namespace
