// zent2-cli trim, hvout and gpio on the simulated board: the lines they print
// from the device blocks, the target they send, and bad input refused before
// anything reaches the bus.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "cli/Zent2Cli.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Trim.h"
#include "sim/SimulatedBoard.h"

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

class ControlCommands : public ::testing::Test {
protected:
    Result Run(const std::vector<std::string>& args)
    {
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::ostringstream out, err;
        const int status = cli.Run(args, out, err);
        return {status, out.str(), err.str()};
    }
    Result Sim(std::vector<std::string> args)
    {
        args.insert(args.begin(), "--simulated-board");
        return Run(args);
    }
    CHmuDevice& Hmu(int n) { return *board->Hmu(n); }

    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
};

TEST_F(ControlCommands, TrimPrintsTheCellAndWritesTheTruncatedTargetCode)
{
    board->SetVmon(0, 1, 1.5);
    Hmu(0).SetConfiguration(trim::Profile0LowRegister(1), 0x26);
    Hmu(0).SetConfiguration(trim::Profile0HighRegister(1), 0xF2);
    Result r = Sim({"trim", "0", "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Trim Cell2: output 1.500 V, target 1.100 V (code 550)\n");
    // A rail above full scale: the attenuated reading, as read, marked.
    board->SetVmon(0, 1, 3.3);
    r = Sim({"trim", "0", "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Trim Cell2: output 0.412 V *, target 1.100 V (code 550)\n"
                     "* read through the attenuator; not rescaled\n");

    const struct {
        const char* cell;
        const char* volts;
        int code;
    } writes[] = {{"1", "1.234", 616}, {"4", "8.19", 4094}, {"3", "3.3", 1649}, {"2", "0", 0}, {"2", "5.", 2500}};
    for (const auto& w : writes) {
        r = Sim({"trim", "0", w.cell, w.volts});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("target code " + std::to_string(w.code) + " "), std::string::npos) << r.out;
        EXPECT_EQ(Hmu(0).TrimTarget(std::stoi(w.cell) - 1), w.code) << w.volts;
    }
}

TEST_F(ControlCommands, HvoutAndGpioPrintOneLinePerOutputOrPin)
{
    Hmu(1).SetConfiguration(hvout::Config0Register(1), 0xA7);
    Hmu(1).SetConfiguration(hvout::Config1Register(1), 0xE5);
    Hmu(1).SetConfiguration(ocb::ConfigRegister(1), 0x10);  // HVOUT2 on "I2C"
    Result r = Sim({"hvout", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "HVOUT1 = 0  source HMU/IF (signal HMU-I/F)  Static (31.25 kHz, 6.25 %)  Charge Pump (6 V, source 12.5 "
              "uA, sink 100 uA)\n"
              "HVOUT2 = 0  source OCB (signal I2C)  Switched (15.625 kHz, 37.55 %)  Open Drain (12 V, source 50 uA, "
              "sink 250 uA)\n"
              "HVOUT3 = 0  source HMU/IF (signal HMU-I/F)  Static (31.25 kHz, 6.25 %)  Charge Pump (6 V, source 12.5 "
              "uA, sink 100 uA)\n"
              "HVOUT4 = 0  source HMU/IF (signal HMU-I/F)  Static (31.25 kHz, 6.25 %)  Charge Pump (6 V, source 12.5 "
              "uA, sink 100 uA)\n");

    for (const uint8_t id : {uint8_t{0x8A}, uint8_t{0x88}}) {
        Hmu(1).SetIdentification(id);
        Hmu(1).SetConfiguration(gpio::kFirstConfigRegister, 0x05);      // GPIO1, GPIO2 inputs
        Hmu(1).SetConfiguration(gpio::kFirstConfigRegister + 1, 0x10);  // GPIO7 an input
        Hmu(1).SetConfiguration(ocb::ConfigRegister(0), 0x1C);          // GPIO2 "I2C", GPIO3 "HIMON_HCM"
        r = Sim({"gpio", "1"});
        EXPECT_EQ(r.status, 0);
        // Inputs read the board's pull-ups, outputs the interface logic (low).
        EXPECT_EQ(r.out, std::string("GPIO1 = 1  Input\n"
                                     "GPIO2 = 1  Input  signal I2C\n"
                                     "GPIO3 = 0  Output  signal HIMON_HCM\n"
                                     "GPIO4 = 0  Output\nGPIO5 = 0  Output\nGPIO6 = 0  Output\n") +
                             (id == 0x88 ? "GPIO7 = N/A\n" : "GPIO7 = 1  Input\n") +
                             "GPIO8 = 0  Output\nGPIO9 = 0  Output\nGPIO10 = 0  Output\n");
    }
}

TEST_F(ControlCommands, BadInputAndSilentDevicesAreRefused)
{
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--simulated-board", "trim", "0"}, 2, "missing"},
        {{"--simulated-board", "trim", "0", "0"}, 2, "1..4"},
        {{"--simulated-board", "trim", "0", "5"}, 2, "1..4"},
        {{"--simulated-board", "trim", "0", "x"}, 2, "bad number"},
        {{"--simulated-board", "trim", "0", "1", "8.2"}, 2, "0 to 8.19"},
        {{"--simulated-board", "trim", "0", "1", "-1"}, 2, "0 to 8.19"},
        {{"--simulated-board", "trim", "0", "1", "1e0"}, 2, "0 to 8.19"},
        {{"--simulated-board", "trim", "0", "1", "."}, 2, "0 to 8.19"},
        {{"--simulated-board", "trim", "0", "1", "1", "2"}, 2, "too many"},
        {{"--simulated-board", "hvout", "8"}, 2, "0..7"},
        {{"--simulated-board", "gpio"}, 2, "missing"},
        {{"--demo", "trim", "0", "1", "1.0"}, 2, "demo"},
        {{"--simulated-board", "trim", "2", "1", "1.0"}, 1, "HMU2"},
        {{"--simulated-board", "hvout", "3"}, 1, "HMU3"},
        {{"--simulated-board", "gpio", "4"}, 1, "HMU4"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        board->Driver()->ResetCounters();
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << line;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << line << "-> " << r.err;
        EXPECT_EQ(r.out, "") << line;
        if (c.status == 2) {
            EXPECT_EQ(board->Driver()->Counters().writeCalls, 0u) << line;
        }
    }
    for (int cell = 0; cell < trim::kCells; ++cell) EXPECT_EQ(Hmu(0).TrimTarget(cell), 0);

    const Result help = Run({"--help"});
    for (const char* usage : {"trim HMU CELL ", "trim HMU CELL VOLTS", "hvout HMU", "gpio HMU"})
        EXPECT_NE(help.out.find(usage), std::string::npos) << usage;
}

}  // namespace

// A conversion or monitor record whose ready bit never comes leaves the
// port with 0 or a stale value: the command ends with status 1 naming the
// reading, never printing it as the device's value.
TEST_F(ControlCommands, ResultsThatNeverBecomeReadyEndTheCommand)
{
    const struct {
        std::vector<std::string> args;
        std::function<void(CHmuDevice&)> fault;
        const char* reading;  // empty: the command succeeds
    } cases[] = {
        {{"measure", "0"}, [](CHmuDevice& d) { d.InjectFault(HmuFault::ConversionNeverReady, CHmuDevice::kAlways); },
         "VMON1 could not be read"},
        {{"measure", "0"}, [](CHmuDevice& d) { d.SetAdcReadyAfterPolls(4); }, "VMON1 could not be read"},
        {{"measure", "0"}, [](CHmuDevice& d) { d.SetAdcReadyAfterPolls(3); }, ""},
        {{"trim", "0", "1"}, [](CHmuDevice& d) { d.InjectFault(HmuFault::ConversionNeverReady, CHmuDevice::kAlways); },
         "trim cell 1 could not be read"},
        {{"hvout", "0"}, [](CHmuDevice& d) { d.SetRecordReadyAfterPolls(4); }, "the HVOUT settings could not be read"},
        {{"gpio", "0"}, [](CHmuDevice& d) { d.SetRecordReadyAfterPolls(4); }, "the GPIO settings could not be read"},
        {{"gpio", "0"}, [](CHmuDevice& d) { d.SetRecordReadyAfterPolls(3); }, ""},
    };
    for (const auto& c : cases) {
        board = CSimulatedBoard::CreateDefault();
        c.fault(Hmu(0));
        const Result r = Sim(c.args);
        const std::string line = c.args[0] + " " + c.reading;
        if (*c.reading == '\0') {
            EXPECT_EQ(r.status, 0) << line << ": " << r.err;
            EXPECT_NE(r.out, "") << line;
            continue;
        }
        EXPECT_EQ(r.status, CZent2Cli::kExitDevice) << line;
        EXPECT_EQ(r.out, "") << line;
        EXPECT_EQ(r.err, std::string("zent2-cli: HMU0 at 0xC0: ") + c.reading +
                             ": the device never reported the result ready\n")
            << line;
    }
}
