// measure marks a voltage the device read through its attenuator: the number
// is what the device gave (not rescaled), so it reads lower than the input.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/Zent2Cli.h"
#include "sim/SimulatedBoard.h"

namespace {

TEST(CliMeasure, AVoltageAboveFullScaleIsMarkedAsAttenuated)
{
    const struct {
        const char* board;
        const char* line;  // the HVMON or VMON line expected
        bool footnote;
    } cases[] = {
        {"hmu0.hvmon = 5.0", "HVMON      0.624 V *\n", true},
        {"hmu0.vmon9 = 3.3", "VMON9      0.412 V *\n", true},
        {"hmu0.vmon9 = 2.0\nhmu0.hvmon = 1.5", "VMON9      2.000 V\n", false},
        {"hmu0.hvmon = 2.0\nhmu0.vmon9 = 1.0", "HVMON      2.000 V\n", false},
    };
    for (const auto& c : cases) {
        std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
        std::string error;
        ASSERT_TRUE(board->LoadText(c.board, error)) << error;
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::ostringstream out, err;
        ASSERT_EQ(cli.Run({"--simulated-board", "measure", "0"}, out, err), 0) << err.str();
        const std::string text = out.str();
        EXPECT_NE(text.find(c.line), std::string::npos) << c.board << ":\n" << text;
        const std::string footnote = "* read through the attenuator; not rescaled\n";
        EXPECT_EQ(text.size() >= footnote.size() && text.compare(text.size() - footnote.size(), footnote.size(), footnote) == 0,
                  c.footnote)
            << c.board << ":\n" << text;
    }
}

}  // namespace
