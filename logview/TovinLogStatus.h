#pragma once
// The data logging status window: modeless, one at a time, owned by the
// application (it outlives a rebuilt main window). The user sets the
// interval, the number of records and the file, then starts and stops
// logging here. Start writes the header and the first record at once, the
// timer the others; the status line tells which record is being read, and
// how the run ended. A failed write ends the run with the system's error
// text on the status line; every record written before it stays in the file.
//
// States: Idle (inputs, Browse and Start enabled, Stop disabled) and
// Logging (the opposite). Cancel, Escape and the close box end a run and
// close the window; the window deletes itself.

#include <QPointer>
#include <chrono>
#include <memory>

#include "ui/TovinDialog.h"
#include "logging/IntervalTimer.h"
#include "logging/LogSession.h"

class QLabel;
class QLineEdit;
class QPushButton;
class CAppServices;
class CTovinTrendDlg;

class CTovinLogStatus : public CTovinDialog {
    Q_OBJECT
public:
    static constexpr int kMinDelay = 1;
    static constexpr int kMaxDelay = 180;
    static constexpr int kMinTotal = 0;
    static constexpr int kMaxTotal = 1000;

    explicit CTovinLogStatus(CAppServices& app);
    ~CTovinLogStatus() override;  // closes the file: every record written stays

    // Replaces the logging timer (tests advance their own).
    void SetTimer(std::unique_ptr<CIntervalTimer> timer);

    void StartLogging();
    void StopLogging();
    void CancelLogging();
    void BrowseLogFile();
    // The field's leading digits as a number (0 without any), brought into
    // minimum..maximum; the field is rewritten only when it was outside.
    static void ClampNumberField(QLineEdit* field, int minimum, int maximum);
    void SetInputsEnabled(bool enabled);

    bool IsLogging() const { return m_session.IsOpen(); }
    int RecordsWritten() const { return m_session.RecordsWritten(); }
    int Delay() const { return m_delay; }
    int TotalRecords() const { return m_total; }
    QString StatusText() const;
    QString PathText() const;  // as the label shows it, shortened to fit

    QLineEdit* DelayField() const { return m_delayField; }
    QLineEdit* TotalField() const { return m_totalField; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* StopButton() const { return m_stop; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* TrendButton() const { return m_trend; }
    // The Trend window that follows the run: the log so far, then each
    // record as it is written. One at a time; null when none is open.
    void OpenTrend();
    CTovinTrendDlg* TrendWindow() const;

signals:
    // A record is in the file, flushed.
    void RecordWritten(const LogRecord& record);

public slots:
    void accept() override;  // Enter does nothing
    void reject() override;  // Escape and the close box cancel

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnTimerTick();
    // Begins the next record; its steps follow on the timer's Defer.
    void RecordStep();
    void ContinueRecord(int chain);
    // Ends a run: timer stopped, inputs enabled, the status line set.
    void Finish(const QString& status);
    void SetStatus(const QString& text);
    void ShowPath();

    CAppServices& m_app;
    CLogSession m_session;
    std::unique_ptr<CIntervalTimer> m_timer;
    int m_delay = 1;
    int m_total = 0;
    int m_recordChain = 0;  // counts records begun and runs ended
    bool m_late = false;    // the timer ticked while a record was being read
    QString m_lateText;
    bool m_fifoRefused = false;  // the log file was a FIFO that would have had the window wait

    QLineEdit* m_delayField;
    QLineEdit* m_totalField;
    QPushButton* m_browse;
    QLabel* m_path;
    QLabel* m_status;
    QPushButton* m_start;
    QPushButton* m_stop;
    QPushButton* m_cancel;
    QPushButton* m_trend;
    QPointer<CTovinTrendDlg> m_trendWindow;
};
