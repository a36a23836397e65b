#pragma once
// The command-line companion: checks its arguments, picks the cable (the real
// one, the simulated board or none in demo mode), runs one command inside one
// cable lock and prints the result. Exit status: 0 done, 1 a device or the
// cable failed, 2 bad usage or input (then nothing reaches the bus).

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LogCommand.h"

class CFtdiDriver;
class CSimulatedBoard;
class CTovin_I2C_Port;

class CZent2Cli {
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitDevice = 1;
    static constexpr int kExitUsage = 2;

    using DriverFactory = std::function<std::shared_ptr<CFtdiDriver>()>;

    CZent2Cli();
    ~CZent2Cli();
    CZent2Cli(const CZent2Cli&) = delete;
    CZent2Cli& operator=(const CZent2Cli&) = delete;

    // The driver used without --simulated-board or --demo; libftdi1 unless set.
    void SetCableFactory(DriverFactory factory) { m_cableFactory = std::move(factory); }
    // The board --simulated-board runs on (it must outlive Run); a fresh
    // demonstration board unless set.
    void SetBoard(CSimulatedBoard* board) { m_board = board; }
    // The time the log command waits on; the real clock unless set.
    void SetLogClock(LogClock clock) { m_logClock = std::move(clock); }

    // args without the program name.
    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

private:
    int Execute(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Devices(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Scan(CTovin_I2C_Port& port, std::ostream& out);
    int Read(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Write(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err);
    int Update(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err);
    int Dump(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Measure(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Ues(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Trim(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Hvout(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Gpio(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int Faults(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);
    int EraseFaults(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err);

    DriverFactory m_cableFactory;
    CSimulatedBoard* m_board = nullptr;
    LogClock m_logClock = LogClock::Real();
};

// The whole program, as main() runs it.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
