// Board configurations through the main window's File menu on the simulated
// board, with every file dialog and message answered by the recording
// interaction: the file Save writes, the differences Compare lists, Load's
// question and what it writes; devices that stop answering and a damaged
// file, none of which leaves zeros in a file or writes the board.

#include <gtest/gtest.h>

#include <QFile>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "app/TovinMainDlg.h"
#include "pages/BoardConfigDlg.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"
#include "util/TextFormat.h"

namespace {

struct ConfigBench {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::unique_ptr<TestApp> t = std::make_unique<TestApp>(
        board->Driver(), [](CMemorySettingsStore& s) { s.Set("Demo Mode", SettingValue::Number(0)); });
    std::vector<QStringList> shownLines;  // of each configuration dialog
    std::vector<QString> shownSummaries;
    int answer = kIdCancel;               // how the configuration dialogs end

    ConfigBench()
    {
        t->ui.onModal = [this](QDialog& dialog) {
            if (auto* config = qobject_cast<CBoardConfigDlg*>(&dialog)) {
                shownLines.push_back(config->Lines());
                shownSummaries.push_back(config->Summary());
            }
            return answer;
        };
    }
    int turns = 0;  // of the event loop during the last command
    void Command(const char* action)
    {
        CTovinMainDlg window;
        QAction* a = window.Action(QString::fromLatin1(action));
        ASSERT_NE(a, nullptr) << action;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [this] { ++turns; });
        turns = 0;
        probe.start(0);
        a->trigger();
    }
    CHmuDevice& Hmu(int n) { return *board->Hmu(n); }
    std::string LastMessage() const
    {
        return t->ui.messages.empty() ? std::string() : t->ui.messages.back().text.toStdString();
    }
    bool Wrote() const { return std::regex_search(t->driver->EventLog(), std::regex("S C[0-9A-F] A (31|35) A")); }
};

std::string TempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("zent2-desktop-config-" + name)).string();
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const char* const kSave = "Save &Configuration...";
const char* const kCompare = "Co&mpare with File...";
const char* const kLoad = "&Load Configuration...";

TEST(BoardConfiguration, SavedComparedAndLoadedBackThroughTheFileMenu)
{
    ConfigBench bench;
    const std::string path = TempPath("board.cfg");
    std::filesystem::remove(path);
    bench.t->driver->ResetCounters();

    // The name gets the filter's extension; the file holds what the devices hold.
    bench.t->ui.saveAnswers = {QString::fromStdString(TempPath("board"))};
    bench.Command(kSave);
    EXPECT_EQ(bench.LastMessage(), "The 178 configuration registers of HMU0, HMU1 are saved as " + path + ".");
    const std::string text = ReadAll(path);
    int lines = 0;
    static const std::regex line("HMU([01])  \"[^\"]+\" +([0-9]+)  0x([0-9A-F]{2})");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it, ++lines)
        EXPECT_EQ(std::stoi((*it)[3], nullptr, 16),
                  bench.Hmu(std::stoi((*it)[1])).PendingConfiguration(std::stoi((*it)[2])))
            << (*it)[0];
    EXPECT_EQ(lines, 178);
    // The window gets its turns while the bus works: a step's few
    // transactions at a time, never the whole board in one go.
    EXPECT_GE(bench.turns, 178 / boardconfig::kTransactionsPerStep);

    const int vmon1 = bench.Hmu(0).PendingConfiguration(22);
    bench.Hmu(0).SetConfiguration(22, 0x5A);  // VMON1 Config0
    bench.Hmu(1).SetConfiguration(86, 0xE5);  // HVOUT2 Config1
    const QStringList differences = {QString::fromStdString(FormatText("HMU0\tVMON1 Config0\t22\t0x%02X\t0x5A", vmon1)),
                                     QStringLiteral("HMU1\tHVOUT2 Config1\t86\t0x00\t0xE5")};
    bench.t->driver->ClearEventLog();
    bench.t->ui.openAnswers = {QString::fromStdString(path)};
    bench.Command(kCompare);
    ASSERT_EQ(bench.shownLines.size(), 1u);
    EXPECT_EQ(bench.shownLines[0].join('\n').toStdString(), differences.join('\n').toStdString());
    EXPECT_EQ(bench.t->ui.modalTitles.back().toStdString(), "Compare with File");
    EXPECT_FALSE(bench.Wrote());

    // Load shows the same list and asks: Cancel writes nothing, Load writes.
    const int updates[2] = {bench.Hmu(0).UpdateCount(), bench.Hmu(1).UpdateCount()};
    for (const int answer : {int{kIdCancel}, int{kIdOk}}) {
        bench.answer = answer;
        bench.t->ui.openAnswers = {QString::fromStdString(path)};
        bench.Command(kLoad);
        EXPECT_EQ(bench.shownLines.back().join('\n').toStdString(), differences.join('\n').toStdString());
        EXPECT_EQ(bench.t->ui.modalTitles.back().toStdString(), "Load Configuration");
        EXPECT_EQ(bench.Wrote(), answer == kIdOk);
        // Read to compare, then read again, write, update and read back.
        const int reads = 178 * (answer == kIdOk ? 3 : 1);
        EXPECT_GE(bench.turns, reads / boardconfig::kTransactionsPerStep);
    }
    EXPECT_EQ(bench.LastMessage(), "zent2-desktop-config-board.cfg is loaded: 2 registers written, Update "
                                   "Configuration sent to HMU0, HMU1, and every register of the file reads back as in "
                                   "the file.");
    EXPECT_EQ(bench.Hmu(0).ActiveConfiguration(22), vmon1);
    EXPECT_EQ(bench.Hmu(1).ActiveConfiguration(86), 0x00);
    EXPECT_EQ(bench.Hmu(0).UpdateCount(), updates[0] + 1);
    EXPECT_EQ(bench.Hmu(1).UpdateCount(), updates[1] + 1);

    bench.t->ui.openAnswers = {QString::fromStdString(path)};
    bench.Command(kCompare);
    EXPECT_TRUE(bench.shownLines.back().isEmpty());
    EXPECT_EQ(bench.shownSummaries.back().toStdString(),
              "HMU0, HMU1 hold every one of the 178 registers of zent2-desktop-config-board.cfg.");
    EXPECT_EQ(bench.t->driver->Counters().transactionsWithEnableLow, 0u) << "all traffic inside the cable lock";
    std::filesystem::remove(path);
}

TEST(BoardConfiguration, FailuresAreReportedAndNothingTakesTheirPlace)
{
    const std::string path = TempPath("failing.cfg");
    const std::string good = "HMU0 \"VMON1 Config0\" 22 0x5A\nHMU1 \"HVOUT2 Config1\" 86 0xE5\n";
    const struct {
        const char* name;
        std::string file;  // written before the command; empty: the command saves
        const char* fault;  // a board file line
        const char* command;
        QString message;
    } cases[] = {
        {"a device that stops answering during a save", "old file", "hmu1.nack.command.0x33 = always", kSave,
         QStringLiteral("HMU1 stopped answering while \"Trim1 Profile0 Low\" (12) was read.\nNothing was saved.")},
        {"a damaged file", good + "HMU1 \"HVOUT2 Config1\" 87 0x00\n", "", kLoad,
         QStringLiteral("The configuration file cannot be used:\n%1, line 3: \"HVOUT2 Config1\" is register 86, not "
                        "87\n\nNothing was sent to the board.")
             .arg(QString::fromStdString(path))},
        {"a device not on the board", "# board\nHMU2 \"VMON1 Config0\" 22 0x5A\n", "", kCompare,
         QStringLiteral("%1, line 2: HMU2 is not on the board (it did not answer)\nNothing was compared.")
             .arg(QString::fromStdString(path))},
        {"a write that HMU1 does not take", good, "hmu1.nack.data.0x31 = always", kLoad,
         QStringLiteral("HMU1 \"HVOUT2 Config1\" (86) did not take its write. Loading stopped there.\n\nWritten and "
                        "applied:\nHMU0: \"VMON1 Config0\" (22)\n\nNot written:\nHMU1: \"HVOUT2 Config1\" (86)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigBench bench;
        bench.answer = kIdOk;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.file;
        if (*c.fault != '\0') {
            std::string error;
            ASSERT_TRUE(bench.board->LoadText(c.fault, error)) << error;
        }
        const int vmon1 = bench.Hmu(0).PendingConfiguration(22);
        bench.t->ui.saveAnswers = {QString::fromStdString(path)};
        bench.t->ui.openAnswers = {QString::fromStdString(path)};
        bench.t->driver->ClearEventLog();
        bench.Command(c.command);
        ASSERT_FALSE(bench.t->ui.messages.empty());
        EXPECT_EQ(bench.LastMessage(), c.message.toStdString());
        EXPECT_EQ(bench.t->ui.messages.back().icon, CUserInteraction::Icon::Exclamation);
        EXPECT_EQ(ReadAll(path), c.file) << "the file stays as it was";
        const bool hmu0Loaded = std::string(c.name) == "a write that HMU1 does not take";
        EXPECT_EQ(bench.Hmu(0).ActiveConfiguration(22), hmu0Loaded ? 0x5A : vmon1);
        EXPECT_EQ(bench.Hmu(1).PendingConfiguration(86), 0x00) << "HMU1 is never written";
        EXPECT_EQ(bench.Wrote(), hmu0Loaded);
    }
    std::filesystem::remove(path);
}

}  // namespace
