#include "logview/TovinLogStatus.h"

#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>
#include <ctime>

#include "settings/Settings.h"
#include "ui/AppServices.h"
#include "ui/UserInteraction.h"
#include "device/blocks/Imon.h"
#include "logview/QtIntervalTimer.h"
#include "logview/TovinTrendDlg.h"
#include "logging/LogFailures.h"

namespace {

// Leading decimal digits, saturating; 0 when the text does not start with one.
int LeadingNumber(const QString& text)
{
    long long value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) break;
        value = value * 10 + (c.unicode() - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

}  // namespace

CTovinLogStatus::CTovinLogStatus(CAppServices& app)
    : m_app(app),
      m_session(app.Port(), app.Remembered().logSettings,
                [&app](int device, int monitor) {
                    return app.Settings().ReadReal(imon::SenseResistorSettingName(device, monitor),
                                                   imon::kDefaultSenseResistance);
                }),
      m_timer(std::make_unique<CQtIntervalTimer>()),
      m_delayField(new QLineEdit(this)),
      m_totalField(new QLineEdit(this)),
      m_browse(new QPushButton(QStringLiteral("&Browse"), this)),
      m_path(new QLabel(this)),
      m_status(new QLabel(this)),
      m_start(new QPushButton(QStringLiteral("&Start"), this)),
      m_stop(new QPushButton(QStringLiteral("St&op"), this)),
      m_cancel(new QPushButton(QStringLiteral("&Cancel"), this)),
      m_trend(new QPushButton(QStringLiteral("T&rend"), this))
{
    setWindowTitle(QStringLiteral("Data Logging Status"));
    setAttribute(Qt::WA_DeleteOnClose);

    const auto digitsOnly = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    const int digitWidth = fontMetrics().horizontalAdvance(QStringLiteral("00000000"));
    for (QLineEdit* field : {m_delayField, m_totalField}) {
        field->setValidator(digitsOnly);
        field->setMaxLength(9);
        field->setFixedWidth(digitWidth);
        field->installEventFilter(this);
    }
    m_delayField->setText(QString::number(m_delay));
    m_totalField->setText(QString::number(m_total));

    auto* setup = new QGroupBox(QStringLiteral("Data File Setup"), this);
    auto* setupGrid = new QGridLayout(setup);
    auto* delayLabel = new QLabel(QStringLiteral("&Delay (1 to 180 sec.)"), setup);
    auto* totalLabel = new QLabel(QStringLiteral("&Total Records (1 to 1000, 0 for unlimited)"), setup);
    delayLabel->setBuddy(m_delayField);
    totalLabel->setBuddy(m_totalField);
    setupGrid->addWidget(m_delayField, 0, 0);
    setupGrid->addWidget(delayLabel, 0, 1);
    setupGrid->addWidget(m_totalField, 1, 0);
    setupGrid->addWidget(totalLabel, 1, 1);
    setupGrid->addWidget(m_browse, 2, 0);
    setupGrid->addWidget(m_path, 2, 1);
    setupGrid->setColumnStretch(1, 1);
    // The path is shortened to the label's width; the whole path is its tip.
    m_path->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    m_path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* saving = new QGroupBox(QStringLiteral("Saving"), this);
    auto* savingLayout = new QVBoxLayout(saving);
    m_status->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    m_status->setMinimumHeight(fontMetrics().height());
    m_status->setWordWrap(true);
    savingLayout->addWidget(m_status);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_trend);
    buttons->addWidget(m_cancel);
    savingLayout->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(setup);
    layout->addWidget(saving);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    // Enter is no command here: no button takes it.
    for (QPushButton* b : {m_browse, m_start, m_stop, m_cancel, m_trend}) b->setAutoDefault(false);
    connect(m_trend, &QPushButton::clicked, this, &CTovinLogStatus::OpenTrend);
    connect(m_browse, &QPushButton::clicked, this, &CTovinLogStatus::BrowseLogFile);
    connect(m_start, &QPushButton::clicked, this, &CTovinLogStatus::StartLogging);
    connect(m_stop, &QPushButton::clicked, this, &CTovinLogStatus::StopLogging);
    connect(m_cancel, &QPushButton::clicked, this, &CTovinLogStatus::CancelLogging);

    SetInputsEnabled(true);
    ShowPath();
}

CTovinLogStatus::~CTovinLogStatus()
{
    m_timer->Stop();
    m_session.Close();
}

void CTovinLogStatus::SetTimer(std::unique_ptr<CIntervalTimer> timer)
{
    if (!timer) return;
    m_timer->Stop();
    m_timer = std::move(timer);
}

void CTovinLogStatus::accept() {}

void CTovinLogStatus::reject()
{
    CancelLogging();
}

bool CTovinLogStatus::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_delayField) ClampNumberField(m_delayField, kMinDelay, kMaxDelay);
        if (watched == m_totalField) ClampNumberField(m_totalField, kMinTotal, kMaxTotal);
    }
    return CTovinDialog::eventFilter(watched, event);
}

void CTovinLogStatus::resizeEvent(QResizeEvent* event)
{
    CTovinDialog::resizeEvent(event);
    ShowPath();
}

void CTovinLogStatus::ClampNumberField(QLineEdit* field, int minimum, int maximum)
{
    const int value = LeadingNumber(field->text());
    if (value < minimum)
        field->setText(QString::number(minimum));
    else if (value > maximum)
        field->setText(QString::number(maximum));
}

void CTovinLogStatus::SetInputsEnabled(bool enabled)
{
    for (QWidget* input : {static_cast<QWidget*>(m_delayField), static_cast<QWidget*>(m_totalField),
                           static_cast<QWidget*>(m_browse), static_cast<QWidget*>(m_start)})
        input->setEnabled(enabled);
    m_stop->setEnabled(!enabled);
    m_trend->setEnabled(!enabled);
}

CTovinTrendDlg* CTovinLogStatus::TrendWindow() const
{
    return m_trendWindow.data();
}

void CTovinLogStatus::OpenTrend()
{
    if (m_trendWindow) {
        m_trendWindow->show();
        m_trendWindow->raise();
        m_trendWindow->activateWindow();
        return;
    }
    // A window of this one's: it closes with it.
    auto* trend = new CTovinTrendDlg(this);
    trend->setAttribute(Qt::WA_DeleteOnClose);
    if (!trend->FollowLog(m_app.Remembered().logFileName)) {
        delete trend;
        return;
    }
    if (!m_session.IsOpen()) trend->EndLive();
    // Handed on as written; the window draws after this window's timer tick is done.
    connect(this, &CTovinLogStatus::RecordWritten, trend, qOverload<const LogRecord&>(&CTovinTrendDlg::AddRecord));
    m_trendWindow = trend;
    trend->show();
}

QString CTovinLogStatus::StatusText() const
{
    return m_status->text();
}

QString CTovinLogStatus::PathText() const
{
    return m_path->text();
}

void CTovinLogStatus::SetStatus(const QString& text)
{
    m_status->setText(text);
    // Shown now: the record that follows keeps the window busy.
    if (m_status->isVisible()) m_status->repaint();
}

void CTovinLogStatus::ShowPath()
{
    const QString path = m_app.Remembered().logFileName;
    const int width = m_path->width() > 0 ? m_path->width() : m_path->minimumWidth();
    m_path->setText(m_path->fontMetrics().elidedText(path, Qt::ElideMiddle, width));
    m_path->setToolTip(path);
}

void CTovinLogStatus::BrowseLogFile()
{
    const QString chosen = Ui().GetSaveFileName(this, QString(), QString(), QStringLiteral("Log Files (*.log)"));
    if (chosen.isEmpty()) return;
    m_app.Remembered().logFileName = QFileInfo(chosen).absoluteFilePath();
    ShowPath();
}

void CTovinLogStatus::StartLogging()
{
    // Started from the keyboard, a field may still hold what it had when it
    // lost no focus: a delay of 0 would log as fast as the bus allows.
    ClampNumberField(m_delayField, kMinDelay, kMaxDelay);
    ClampNumberField(m_totalField, kMinTotal, kMaxTotal);
    m_delay = LeadingNumber(m_delayField->text());
    m_total = LeadingNumber(m_totalField->text());

    // A FIFO nobody reads yet, or whose reader stops reading, would hold the
    // window until someone does: the desktop logger does not wait for one.
    m_fifoRefused = false;
    const CLogSession::StartResult started =
        m_session.Start(m_app.Remembered().logFileName.toStdString(), m_delay, m_total, std::time(nullptr), [this] {
            m_fifoRefused = true;
            return false;
        });
    const bool refusedFifo = m_fifoRefused;
    if (started == CLogSession::StartResult::OpenFailed) {
        CUserInteraction::Message message;
        message.text = QString::fromStdString(m_session.ErrorText());
        if (refusedFifo)
            message.text += QStringLiteral(
                ".\nThe log file is a FIFO: the data logger writes to regular files and does not wait for a "
                "program to read one. Choose a regular file.");
        message.title = QStringLiteral("Error opening file");
        message.icon = CUserInteraction::Icon::Error;
        Ui().MessageBox(this, message);
        return;
    }
    SetInputsEnabled(false);
    if (started == CLogSession::StartResult::WriteFailed) {
        Finish(QString::fromStdString(m_session.ErrorText()));
        return;
    }
    // An open Trend window follows the new run from its header.
    if (m_trendWindow) m_trendWindow->FollowLog(m_app.Remembered().logFileName);
    RecordStep();
    if (m_session.IsOpen() && m_total != 1) m_timer->Start(m_delay * 1000, [this] { OnTimerTick(); });
}

void CTovinLogStatus::OnTimerTick()
{
    if (!m_session.IsOpen()) return;
    // The record before outlasted the interval: the next follows it at once.
    if (m_session.RecordUnderway()) {
        m_late = true;
        return;
    }
    RecordStep();
}

void CTovinLogStatus::RecordStep()
{
    const int next = m_session.RecordsWritten() + 1;
    if (!m_lateText.isEmpty())
        SetStatus(m_lateText);
    else
        SetStatus(m_total != 0 ? QStringLiteral("Reading Record %1 of %2").arg(next).arg(m_total)
                               : QStringLiteral("Reading Record %1").arg(next));
    m_lateText.clear();
    if (!m_session.BeginRecord()) return;
    // The bus is read in short steps, the window's events handled between
    // them: the record never holds up the windows for long.
    const int chain = ++m_recordChain;
    m_timer->Defer([this, chain] { ContinueRecord(chain); });
}

void CTovinLogStatus::ContinueRecord(int chain)
{
    // Stopped, or a newer run started, since this step was asked for.
    if (chain != m_recordChain || !m_session.RecordUnderway()) return;
    switch (m_session.StepRecord(kLogStepBudget)) {
    case CLogSession::Progress::Reading:
        m_timer->Defer([this, chain] { ContinueRecord(chain); });
        return;
    case CLogSession::Progress::Failed:
        Finish(QString::fromStdString(m_session.ErrorText()));
        return;
    case CLogSession::Progress::Written:
        break;
    }
    emit RecordWritten(m_session.LastRecord());
    // Readings that failed are left out of the file: the status says which.
    const std::string failed = FailedReadingsText(m_session.LastRecord());
    if (!failed.empty())
        SetStatus(QStringLiteral("Record %1: failed readings left out: %2")
                      .arg(m_session.LastRecord().number)
                      .arg(QString::fromStdString(failed)));
    if (m_session.Complete()) {
        const bool closed = m_session.Close();
        QString status = closed ? QStringLiteral("Log successfully saved") : QString::fromStdString(m_session.ErrorText());
        if (closed && m_session.Failures().Any())
            status += QStringLiteral("; ") + QString::fromStdString(m_session.Failures().Summary());
        Finish(status);
        return;
    }
    if (m_late && m_session.IsOpen()) {
        m_late = false;
        const int written = m_session.RecordsWritten();
        const QString of = m_total != 0 ? QStringLiteral(" of %1").arg(m_total) : QString();
        m_lateText = QStringLiteral("Reading Record %1%2 late: record %3 took longer than the %4 s interval")
                         .arg(written + 1)
                         .arg(of)
                         .arg(written)
                         .arg(m_delay);
        RecordStep();
    }
}

void CTovinLogStatus::Finish(const QString& status)
{
    m_timer->Stop();
    ++m_recordChain;  // a step still asked for does nothing
    m_late = false;
    m_lateText.clear();
    if (m_trendWindow) m_trendWindow->EndLive();
    if (!status.isNull()) SetStatus(status);
    SetInputsEnabled(true);
}

void CTovinLogStatus::StopLogging()
{
    QString status;
    if (m_session.IsOpen())
        status = m_session.Close() ? QStringLiteral("Logging was stopped") : QString::fromStdString(m_session.ErrorText());
    Finish(status);
}

void CTovinLogStatus::CancelLogging()
{
    ++m_recordChain;
    m_session.Close();
    m_timer->Stop();
    done(kIdCancel);  // closes the window, which deletes itself
}
