#pragma once
// One logging run, as the status window and the command line both run it:
// the file opened (truncated) and the header written, then records written
// one at a time, each flushed, until the run is complete or stopped. A
// failed write or flush ends the run at once: the file is closed with the
// records completed before (none cut short), and ErrorText() holds the
// system's error text. A reading that failed is left out of its record and
// counted in Failures(), so that whoever runs the session can name it.

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "logging/LogFailures.h"
#include "logging/LogFile.h"
#include "logging/LogWriter.h"

// How long one step of a stepped record reads the bus before the window's
// events come in again.
inline constexpr std::chrono::microseconds kLogStepBudget{8000};

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
    // open; WriteFailed: the file was opened, and is closed again. `wait`
    // decides whether an open that waits for a reader goes on (CLogFile).
    // The path "-" is standard output.
    StartResult Start(const std::string& path, int delaySeconds, int totalRecords, std::time_t now,
                      const CLogFile::OpenWait& wait = {});
    // Reads and writes the next record. False on a write error; the file is
    // closed then.
    bool WriteRecord();
    // The same record in steps, for a window that keeps its event loop
    // running: BeginRecord, then StepRecord until it is no longer Reading.
    // Each step reads for about `budget` under its own cable lock (see
    // CLogRecordReader); the record goes into the file whole, at its last step.
    enum class Progress { Reading, Written, Failed };
    bool BeginRecord();  // false when no file is open
    Progress StepRecord(std::chrono::microseconds budget);
    bool RecordUnderway() const { return m_reader != nullptr; }
    // Steps the record underway or the last stepped record took.
    int RecordSteps() const { return m_steps; }

    // Ends the run. False, with the error text, when the file did not close
    // cleanly; closing when nothing is open succeeds.
    bool Close();

    bool IsOpen() const { return m_file.IsOpen(); }
    int RecordsWritten() const { return m_written; }
    int TotalRecords() const { return m_total; }
    // A limited run has written all its records.
    bool Complete() const { return m_total != 0 && m_written >= m_total; }
    const std::string& ErrorText() const { return m_error; }
    // The last record written: its values, and in each device block the
    // channels whose reading failed and are not in the file.
    const LogRecord& LastRecord() const { return m_last; }
    // The readings left out since Start, by device and channel.
    const CLogFailures& Failures() const { return m_failures; }

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
    CLogFailures m_failures;
    RecordObserver m_observer;
    std::unique_ptr<CLogRecordReader> m_reader;  // the stepped record underway
    int m_steps = 0;
};
