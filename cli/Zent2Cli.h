#pragma once
// The command-line companion: checks its arguments, picks the cable (the real
// one, the simulated board or none in demo mode), runs one command inside one
// cable lock and prints the result; or runs a script of commands, each in a
// cable lock of its own, on one board or cable session. Exit status: 0 done,
// 1 a device or the cable failed, 2 bad usage or input (then nothing reaches
// the bus). A script stops at its first failing command with its status, and
// at a SIGINT or SIGTERM that ends one of its log commands with 128 plus the
// signal's number, as a shell reports a command a signal ended.

#include <functional>
#include <iosfwd>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LogCommand.h"
#include "device/BoardConfig.h"

class CFtdiDriver;
class CSimulatedBoard;
class CTovin_I2C_Port;

class CZent2Cli {
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitDevice = 1;
    static constexpr int kExitUsage = 2;
    static constexpr int kExitSignal = 128;  // plus the signal's number

    using DriverFactory = std::function<std::shared_ptr<CFtdiDriver>()>;

    CZent2Cli();
    ~CZent2Cli();
    CZent2Cli(const CZent2Cli&) = delete;
    CZent2Cli& operator=(const CZent2Cli&) = delete;

    // The driver used without --simulated-board or --demo; this system's
    // cable backend (link/CableBackend.h) unless set.
    void SetCableFactory(DriverFactory factory) { m_cableFactory = std::move(factory); }
    // The board --simulated-board runs on (it must outlive Run); a fresh
    // demonstration board unless set.
    void SetBoard(CSimulatedBoard* board) { m_board = board; }
    // Where "-" reads its script from; standard input unless set.
    void SetInput(std::istream* in) { m_input = in; }
    // The time the log command waits on; the real clock unless set.
    void SetLogClock(LogClock clock) { m_logClock = std::move(clock); }

    // args without the program name.
    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

private:
    int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    // A script's commands with their line numbers, checked in full.
    struct ScriptLine {
        int number = 0;
        std::string text;
        cli::CliRequest request;
    };
    bool ReadScript(const cli::CliRequest& session, std::vector<ScriptLine>& lines, std::string& source,
                    std::ostream& err);
    int RunScript(const std::vector<ScriptLine>& lines, const std::string& source, CTovin_I2C_Port& port,
                  std::ostream& out, std::ostream& err);
    int Execute(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Devices(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Scan(CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Detect(CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    // measure or faults without HMU: the command for every device that answers.
    using DeviceCommand = int (CZent2Cli::*)(const cli::CliRequest&, CTovin_I2C_Port&, std::ostream&, std::ostream&);
    int EveryDevice(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err,
                    DeviceCommand command);
    int Read(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Write(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err);
    int Update(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err);
    int Dump(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Measure(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Ues(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int ReadMainRegister(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int WriteMainRegister(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err);
    // Lets the board clock run: on the simulated board by the seconds at once,
    // on the cable in real time, in demo mode not at all.
    void Sleep(const cli::CliRequest& request);
    int Trim(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Hvout(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Gpio(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Faults(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int EraseFaults(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Csv(const cli::CliRequest& request, std::ostream& out, std::ostream& err);
    // The metrics endpoint; stopSignal as RunServeCommand's stoppedBy.
    int Serve(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err,
              int* stopSignal = nullptr);
    // diff-config and load-config, with the file read before the cable was
    // opened or, on a script line, now.
    int ConfigFileCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                          std::ostream& err);

    DriverFactory m_cableFactory;
    CSimulatedBoard* m_board = nullptr;
    LogClock m_logClock = LogClock::Real();
    std::istream* m_input = nullptr;
    CSimulatedBoard* m_running = nullptr;  // the board of the running command, if simulated
    // The configuration file of the command line's diff-config or load-config, checked before anything opened.
    std::optional<boardconfig::Settings> m_configFile;
};

// The whole program, as main() runs it.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
