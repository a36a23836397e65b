// Ending the desktop program from outside: SIGTERM and SIGINT end it as Exit
// does, through every window it has open, with the settings saved.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "app/ExitSignals.h"
#include "settings/FileSettingsStore.h"
#include "settings/MemorySettingsStore.h"
#include "app/TovinAppContext.h"
#include "ui/UserInteraction.h"
#include "sim/SimulatedFtdiDriver.h"

namespace {

bool ProcessEventsUntil(const std::function<bool()>& done, int milliseconds = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

TEST(ExitSignals, EachSignalIsCaughtOnceAndHandedToTheEventLoop)
{
    for (const int number : {SIGTERM, SIGINT}) {
        const int other = number == SIGTERM ? SIGINT : SIGTERM;
        std::signal(other, SIG_IGN);  // what was there before comes back afterwards
        std::vector<int> caught;
        {
            CExitSignals handlers([&](int s) { caught.push_back(s); });
            ASSERT_TRUE(handlers.IsInstalled());
            std::raise(number);
            EXPECT_TRUE(caught.empty()) << "the handler itself only writes to the socket";
            EXPECT_TRUE(ProcessEventsUntil([&] { return !caught.empty(); })) << number;
            EXPECT_EQ(caught, std::vector<int>{number});
            struct sigaction now {};
            sigaction(number, nullptr, &now);
            EXPECT_EQ(now.sa_handler, SIG_DFL) << "a second one ends the program at once";
        }
        struct sigaction restored {};
        sigaction(other, nullptr, &restored);
        EXPECT_EQ(restored.sa_handler, SIG_IGN);
        std::signal(other, SIG_DFL);
    }
}

TEST(ExitRequest, EndsEveryModalWindowEvenOnesOpenedMeanwhileAndSavesTheSettings)
{
    auto memory = std::make_unique<CMemorySettingsStore>();
    CMemorySettingsStore& store = *memory;
    CTovinAppContext app(std::make_shared<CSimulatedFtdiDriver>(), std::move(memory));
    CTovinAppContext* previousApp = SetTheApp(&app);
    CUserInteraction* previousUi = SetUserInteraction(nullptr);  // the real windows, run by exec()

    // A command of the main window that shows one box after the other: the
    // request comes while the first is open.
    bool secondEnded = false;
    QTimer::singleShot(0, [&] {
        Ui().MessageBox(nullptr, {QStringLiteral("first"), {}, CUserInteraction::Icon::None, CUserInteraction::Buttons::Ok});
        Ui().MessageBox(nullptr, {QStringLiteral("second"), {}, CUserInteraction::Icon::None, CUserInteraction::Buttons::Ok});
        secondEnded = true;
    });
    QTimer::singleShot(100, [&] { app.RequestExit(); });
    std::atomic<bool> ended = false;
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ended) std::abort();  // a window that stayed open would hang the test run
    });
    EXPECT_EQ(app.Run(), 0);
    ended = true;
    watchdog.join();
    EXPECT_TRUE(secondEnded);
    EXPECT_EQ(store.Names(), (std::vector<std::string>{"Demo Mode", "Large UI Font", "I2C Address", "FPGA Section",
                                                       "I2C Baudrate", "Log Settings"}));
    SetUserInteraction(previousUi);
    SetTheApp(previousApp);
}

#ifdef __linux__
// The signal is caught once the program's handler is in place.
bool Catches(pid_t pid, int number)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1;
    }
    return false;
}

TEST(ExitSignals, TheProgramEndsOnSigtermAndSigintWithItsSettingsSaved)
{
    for (const int number : {SIGTERM, SIGINT}) {
        const std::filesystem::path config = std::filesystem::temp_directory_path() /
                                             ("zent2-exit-" + std::to_string(::getpid()) + "-" + std::to_string(number));
        std::filesystem::remove_all(config);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(ZENT2_I2C_PATH, ZENT2_I2C_PATH, "--simulated-board", static_cast<char*>(nullptr));
            _exit(127);
        }
        bool ready = false;
        for (int i = 0; i < 600 && !(ready = Catches(child, number)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(ready) << "the program never caught signal " << number;
        kill(child, number);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, settings unsaved";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const std::filesystem::path file =
            config / "Norvane Semiconductor Corporation" / "ZENT2_I2C_Utility" / "Settings.reg";
        EXPECT_EQ(CFileSettingsStore(file).Names().size(), 6u) << number;
        std::filesystem::remove_all(config);
    }
}
#endif

}  // namespace
