#pragma once
// One logging run, as the status window and the command line both run it:
// the file opened (truncated) and the header written, then records written
// one at a time, each flushed, until the run is complete or stopped. A
// failed write or flush ends the run at once: the file is closed with what
// was written before, and ErrorText() holds the system's error text.

#include <ctime>
#include <functional>
#include <string>

#include "logging/LogFile.h"
#include "logging/LogWriter.h"

class CLogSession {
public:
    enum class StartResult { Started, OpenFailed, WriteFailed };
    using RecordObserver = std::function<void(const LogRecord&)>;

    // The selection is read at every record, so a change applies to the next one.
    CLogSession(CTovin_I2C_Port& port, const logsel::LogSelection& selection, SenseResistance senseOhms);
    ~CLogSession();  // closes the file
    CLogSession(const CLogSession&) = delete;
    CLogSession& operator=(const CLogSession&) = delete;

    // Opens the file and writes the header of a run of totalRecords (0 for
    // no limit) every delaySeconds, begun at `now`. OpenFailed: nothing is
    // open; WriteFailed: the file was opened, and is closed again.
    StartResult Start(const std::string& path, int delaySeconds, int totalRecords, std::time_t now);
    // Reads and writes the next record. False on a write error; the file is
    // closed then.
    bool WriteRecord();
    // Ends the run. False, with the error text, when the file did not close
    // cleanly; closing when nothing is open succeeds.
    bool Close();

    bool IsOpen() const { return m_file.IsOpen(); }
    int RecordsWritten() const { return m_written; }
    int TotalRecords() const { return m_total; }
    // A limited run has written all its records.
    bool Complete() const { return m_total != 0 && m_written >= m_total; }
    const std::string& ErrorText() const { return m_error; }
    const LogRecord& LastRecord() const { return m_last; }

    // Told about every record once it is in the file.
    void SetRecordObserver(RecordObserver observer) { m_observer = std::move(observer); }

private:
    bool Failed();

    CTovin_I2C_Port& m_port;
    const logsel::LogSelection& m_selection;
    SenseResistance m_senseOhms;
    CLogFile m_file;
    int m_total = 0;
    int m_written = 0;
    std::string m_error;
    LogRecord m_last;
    RecordObserver m_observer;
};
