#include "logging/LogSession.h"

CLogSession::CLogSession(CTovin_I2C_Port& port, const logsel::LogSelection& selection, SenseResistance senseOhms)
    : m_port(port), m_selection(selection), m_senseOhms(std::move(senseOhms))
{
}

CLogSession::~CLogSession() = default;

bool CLogSession::Failed()
{
    m_error = m_file.ErrorText();
    m_file.Close();  // the first error is the one to report
    return false;
}

CLogSession::StartResult CLogSession::Start(const std::string& path, int delaySeconds, int totalRecords,
                                            std::time_t now, const CLogFile::OpenWait& wait)
{
    Close();
    m_error.clear();
    m_written = 0;
    m_total = totalRecords;
    m_last = LogRecord{};
    m_failures.Clear();
    // "-" is standard output, as command-line tools take it; a file dialog
    // never gives that name.
    if (!(path == "-" ? m_file.OpenStandardOutput() : m_file.Open(path, wait))) {
        m_error = m_file.ErrorText();
        return StartResult::OpenFailed;
    }
    if (!WriteLogHeader(m_file, m_port, delaySeconds, totalRecords, now)) {
        Failed();
        return StartResult::WriteFailed;
    }
    return StartResult::Started;
}

bool CLogSession::WriteRecord()
{
    if (!m_file.IsOpen()) return false;
    m_reader.reset();
    const bool ok = WriteLogRecord(m_file, m_port, m_written + 1, m_selection, m_senseOhms, &m_last);
    if (!ok) return Failed();
    ++m_written;
    m_failures.Add(m_last);
    if (m_observer) m_observer(m_last);
    return true;
}

bool CLogSession::BeginRecord()
{
    if (!m_file.IsOpen()) return false;
    m_reader = std::make_unique<CLogRecordReader>(m_port, m_written + 1, m_selection, m_senseOhms);
    m_steps = 0;
    return true;
}

CLogSession::Progress CLogSession::StepRecord(std::chrono::microseconds budget)
{
    if (!m_reader || !m_file.IsOpen()) {
        m_reader.reset();
        return Progress::Failed;
    }
    const bool done = m_reader->Step(budget);
    m_steps = m_reader->Steps();
    if (!done) return Progress::Reading;
    LogRecord record = m_reader->Take();
    m_reader.reset();
    const bool ok = m_file.WriteWhole(FormatLogRecord(record));
    m_last = std::move(record);
    if (!ok) {
        Failed();
        return Progress::Failed;
    }
    ++m_written;
    m_failures.Add(m_last);
    if (m_observer) m_observer(m_last);
    return Progress::Written;
}

bool CLogSession::Close()
{
    m_reader.reset();  // a record cut short is never written
    if (!m_file.IsOpen()) return true;
    if (m_file.Close()) return true;
    m_error = m_file.ErrorText();
    return false;
}
