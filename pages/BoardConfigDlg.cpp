#include "pages/BoardConfigDlg.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>
#include <numeric>

#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "settings/FileSettingsStore.h"
#include "ui/AppServices.h"
#include "ui/UserInteraction.h"
#include "util/TextFormat.h"
#include "util/Version.h"

namespace {

const char* const kTitle = "ZENT2 I2C";
const char* const kFilter = "Board Configurations (*.cfg);;All Files (*)";

QString Hex(int value)
{
    return QString::fromStdString(FormatText("0x%02X", value));
}

QString DeviceList(const std::vector<int>& devices)
{
    QStringList names;
    for (const int d : devices) names << QStringLiteral("HMU%1").arg(d);
    return names.join(QStringLiteral(", "));
}

// "HMU1 "VMON3 Config0" (28)"
QString Named(const boardconfig::Setting& s)
{
    return QStringLiteral("HMU%1 \"%2\" (%3)")
        .arg(s.device)
        .arg(QString::fromStdString(s.Register().name))
        .arg(s.Register().reg);
}

std::string LocalPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

void Inform(QWidget* parent, const QString& text)
{
    Ui().MessageBox(parent, {text, QString::fromLatin1(kTitle), CUserInteraction::Icon::Information,
                             CUserInteraction::Buttons::Ok});
}

void Warn(QWidget* parent, const QString& text)
{
    ShowExclamation(parent, text, QString::fromLatin1(kTitle));
}

QString StoppedAnswering(const boardconfig::Setting& failed, const char* what)
{
    return QStringLiteral("HMU%1 stopped answering while \"%2\" (%3) was read.\n%4")
        .arg(failed.device)
        .arg(QString::fromStdString(failed.Register().name))
        .arg(failed.Register().reg)
        .arg(QString::fromLatin1(what));
}

// Runs `step` (true while there is more to do) under a cable lock of its own
// each time, with the event loop turning in between: the window repaints and
// other windows' timers get their traffic in. A progress bar shows after half
// a second, with Cancel while `cancellable` says so; until it shows, user
// input waits, so no second command starts in between. False when cancelled.
struct Steps {
    std::function<bool()> step;
    std::function<size_t()> finished;
    std::function<size_t()> total;
    std::function<bool()> cancellable = [] { return true; };
};
bool RunInSteps(QWidget* parent, const QString& what, const Steps& steps)
{
    QProgressDialog progress(what, QStringLiteral("Cancel"), 0, 1, parent);
    progress.setWindowTitle(QString::fromLatin1(kTitle));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    bool cancelButton = true;
    for (bool more = true; more;) {
        {
            CCableLock lock;
            more = steps.step();
        }
        if (!more) break;
        if (cancelButton && !steps.cancellable()) {
            progress.setCancelButton(nullptr);
            cancelButton = false;
        }
        progress.setMaximum(static_cast<int>(steps.total()));
        progress.setValue(static_cast<int>(steps.finished()));  // shows it once half a second has gone
        QApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                         : QEventLoop::ExcludeUserInputEvents);
        if (cancelButton && progress.wasCanceled()) return false;
    }
    return true;
}

// The devices of `devices` that answer: a probe each, few enough for one lock.
std::vector<int> Present(CTovin_I2C_Port& port, const std::vector<int>& devices)
{
    std::vector<int> present;
    CCableLock lock;
    for (const int device : devices)
        if (port.ProbeHmu(device)) present.push_back(device);
    return present;
}

// Reads `which`, a step at a time; false when cancelled.
bool ReadInSteps(QWidget* parent, CTovin_I2C_Port& port, const boardconfig::Settings& which,
                 boardconfig::Reading& reading)
{
    boardconfig::CReader reader(which);
    const bool done = RunInSteps(parent, QStringLiteral("Reading the configuration registers..."),
                                 {[&] { return reader.Step(port); }, [&] { return reader.Finished(); },
                                  [&] { return reader.Total(); }});
    reading = reader.Result();
    return done;
}

// The file the user picks, read and checked in full; false when cancelled
// or after saying what is wrong with it.
bool OpenConfiguration(QWidget* parent, const QString& caption, QString& path, boardconfig::Settings& file)
{
    path = Ui().GetOpenFileName(parent, caption, QString(), QString::fromLatin1(kFilter));
    if (path.isEmpty()) return false;
    std::string error;
    if (boardconfig::ReadFile(LocalPath(path), file, error)) return true;
    Warn(parent, QStringLiteral("The configuration file cannot be used:\n%1\n\nNothing was sent to the board.")
                     .arg(QString::fromStdString(error)));
    return false;
}

// The board's values of the file's registers; false after saying why not.
bool ReadBoard(QWidget* parent, CTovin_I2C_Port& port, const QString& path, const boardconfig::Settings& file,
               const char* consequence, boardconfig::Settings& values)
{
    std::vector<int> absent;
    {
        CCableLock lock;
        absent = boardconfig::AbsentDevices(port, file);
    }
    if (!absent.empty()) {
        const std::string error = boardconfig::AbsentDeviceError(file, absent.front(), LocalPath(path));
        Warn(parent, QStringLiteral("%1\n%2").arg(QString::fromStdString(error), QString::fromLatin1(consequence)));
        return false;
    }
    boardconfig::Reading reading;
    if (!ReadInSteps(parent, port, file, reading)) return false;
    if (!reading.ok) {
        Warn(parent, StoppedAnswering(reading.failed, consequence));
        return false;
    }
    values = reading.values;
    return true;
}

// Registers as a message lists them, by device: "HMU0: "VMON1 Config0" (22), ..."
QString RegisterList(const boardconfig::Settings& settings)
{
    QStringList lines;
    for (const int device : boardconfig::Devices(settings)) {
        QStringList names;
        for (const boardconfig::Setting& s : settings)
            if (s.device == device)
                names << QStringLiteral("\"%1\" (%2)")
                             .arg(QString::fromStdString(s.Register().name))
                             .arg(s.Register().reg);
        lines << QStringLiteral("HMU%1: %2").arg(device).arg(names.join(QStringLiteral(", ")));
    }
    return lines.join(QLatin1Char('\n'));
}

// What a load that stopped half way did and did not do.
QString UnfinishedLoad(const boardconfig::LoadResult& result)
{
    using Failure = boardconfig::LoadResult::Failure;
    QString text;
    switch (result.failure) {
    case Failure::Write: text = QStringLiteral("%1 did not take its write.").arg(Named(result.failed)); break;
    case Failure::Update:
        text = QStringLiteral("HMU%1 did not acknowledge Update Configuration.").arg(result.failed.device);
        break;
    case Failure::ReadBack:
        text = QStringLiteral("HMU%1 stopped answering while %2 was read back.")
                   .arg(result.failed.device)
                   .arg(Named(result.failed));
        break;
    case Failure::Read:
    case Failure::None: return {};
    }
    text += QStringLiteral(" Loading stopped there.");
    boardconfig::Settings applied, pending;
    for (const boardconfig::Setting& s : result.written) (result.Applied(s.device) ? applied : pending).push_back(s);
    if (!applied.empty()) text += QStringLiteral("\n\nWritten and applied:\n") + RegisterList(applied);
    if (!pending.empty())
        text += QStringLiteral("\n\nWritten but not applied (no Update Configuration was sent):\n") +
                RegisterList(pending);
    if (!result.notWritten.empty()) text += QStringLiteral("\n\nNot written:\n") + RegisterList(result.notWritten);
    if (result.written.empty() && result.notWritten.empty()) text += QStringLiteral("\n\nNo register differed.");
    return text;
}

}  // namespace

CBoardConfigDlg::CBoardConfigDlg(Purpose purpose, const QString& file, const boardconfig::Settings& compared,
                                 const std::vector<boardconfig::Difference>& differences, QWidget* parent)
    : CTovinDialog(parent), m_summary(new QLabel(this)), m_list(new QTreeWidget(this))
{
    const bool load = purpose == Purpose::Load;
    const QString name = QFileInfo(file).fileName();
    const QString devices = DeviceList(boardconfig::Devices(compared));
    setWindowTitle(load ? QStringLiteral("Load Configuration") : QStringLiteral("Compare with File"));

    QString summary;
    if (differences.empty()) {
        summary = QStringLiteral("%1 hold%2 every one of the %3 registers of %4.")
                      .arg(devices, boardconfig::Devices(compared).size() == 1 ? QStringLiteral("s") : QString())
                      .arg(compared.size())
                      .arg(name);
        if (load) summary += QStringLiteral("\nLoad sends only Update Configuration to %1.").arg(devices);
    } else {
        summary = QStringLiteral("%1 of the %2 registers of %3 differ on %4.")
                      .arg(differences.size())
                      .arg(compared.size())
                      .arg(name, devices);
        if (load)
            summary += QStringLiteral("\nLoad writes the file's values, sends Update Configuration to %1 and reads "
                                      "the registers back.")
                           .arg(devices);
    }
    m_summary->setText(summary);
    m_summary->setWordWrap(true);

    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Register"), QStringLiteral("Number"),
                             QStringLiteral("File"), QStringLiteral("Board")});
    for (const boardconfig::Difference& d : differences) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, QStringLiteral("HMU%1").arg(d.file.device));
        item->setText(1, QString::fromStdString(d.file.Register().name));
        item->setText(2, QString::number(d.file.Register().reg));
        item->setText(3, Hex(d.file.value));
        item->setText(4, Hex(d.deviceValue));
    }
    for (int c = 0; c < m_list->columnCount(); ++c) m_list->resizeColumnToContents(c);
    m_list->setVisible(!differences.empty());

    auto* buttons = new QDialogButtonBox(this);
    if (load) {
        buttons->addButton(QStringLiteral("&Load"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QDialogButtonBox::Cancel);
    } else {
        buttons->addButton(QDialogButtonBox::Close);
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &CBoardConfigDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CBoardConfigDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
}

QString CBoardConfigDlg::Summary() const
{
    return m_summary->text();
}

QStringList CBoardConfigDlg::Lines() const
{
    QStringList lines;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        QStringList cells;
        for (int c = 0; c < m_list->columnCount(); ++c) cells << item->text(c);
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines;
}

void SaveBoardConfiguration(QWidget* parent, CAppServices& app)
{
    CTovin_I2C_Port& port = app.Port();
    std::vector<int> all(CTovin_I2C_Port::kHmuDevices);
    std::iota(all.begin(), all.end(), 0);
    const std::vector<int> devices = Present(port, all);
    if (devices.empty()) {
        ShowExclamation(parent, QStringLiteral("Required HMU device is not found."));
        return;
    }
    QString path = Ui().GetSaveFileName(parent, QStringLiteral("Save Configuration"), QString(),
                                        QString::fromLatin1(kFilter));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".cfg");

    // Everything is read before the file is touched: a device that stops
    // answering leaves no file of zeros, and an older file stays as it was.
    boardconfig::Reading reading;
    if (!ReadInSteps(parent, port, boardconfig::AllRegisters(devices), reading)) return;
    if (!reading.ok) {
        Warn(parent, StoppedAnswering(reading.failed, "Nothing was saved."));
        return;
    }
    const boardconfig::Header header{
        ProgramVersion(), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString()};
    if (!WriteFileAtomically(LocalPath(path), boardconfig::Format(reading.values, header))) {
        Warn(parent, QStringLiteral("The configuration could not be saved as %1.").arg(path));
        return;
    }
    Inform(parent, QStringLiteral("The %1 configuration registers of %2 are saved as %3.")
                       .arg(reading.values.size())
                       .arg(DeviceList(devices), path));
}

void CompareBoardConfiguration(QWidget* parent, CAppServices& app)
{
    QString path;
    boardconfig::Settings file, board;
    if (!OpenConfiguration(parent, QStringLiteral("Compare with File"), path, file)) return;
    if (!ReadBoard(parent, app.Port(), path, file, "Nothing was compared.", board)) return;
    CBoardConfigDlg dialog(CBoardConfigDlg::Purpose::Compare, path, file, boardconfig::Compare(file, board), parent);
    dialog.DoModal();
}

void LoadBoardConfiguration(QWidget* parent, CAppServices& app)
{
    QString path;
    boardconfig::Settings file, board;
    if (!OpenConfiguration(parent, QStringLiteral("Load Configuration"), path, file)) return;
    if (!ReadBoard(parent, app.Port(), path, file, "Nothing was written.", board)) return;
    {
        CBoardConfigDlg dialog(CBoardConfigDlg::Purpose::Load, path, file, boardconfig::Compare(file, board), parent);
        if (dialog.DoModal() != kIdOk) return;
    }
    // The load reads the registers again: it writes what differs then.
    // Cancel stops it only before the first write: a board left half loaded
    // would need explaining for nothing gained.
    boardconfig::CLoader loader(file);
    if (!RunInSteps(parent, QStringLiteral("Loading %1...").arg(QFileInfo(path).fileName()),
                    {[&] { return loader.Step(app.Port()); }, [&] { return loader.Finished(); },
                     [&] { return loader.Total(); }, [&] { return !loader.Writing(); }}))
        return;
    const boardconfig::LoadResult& result = loader.Result();
    using Failure = boardconfig::LoadResult::Failure;
    if (result.failure == Failure::Read) {
        Warn(parent, StoppedAnswering(result.failed, "Nothing was written."));
        return;
    }
    if (result.failure != Failure::None) {
        Warn(parent, UnfinishedLoad(result));
        return;
    }
    if (!result.notTaken.empty()) {
        QStringList lines;
        for (const boardconfig::Difference& d : result.notTaken)
            lines << QStringLiteral("%1: written %2, reads back %3")
                         .arg(Named(d.file), Hex(d.file.value), Hex(d.deviceValue));
        Warn(parent, QStringLiteral("These registers do not read back as the file says:\n%1").arg(lines.join('\n')));
        return;
    }
    Inform(parent, QStringLiteral("%1 is loaded: %2 register%3 written, Update Configuration sent to %4, and every "
                                  "register of the file reads back as in the file.")
                       .arg(QFileInfo(path).fileName())
                       .arg(result.written.size())
                       .arg(result.written.size() == 1 ? QString() : QStringLiteral("s"))
                       .arg(DeviceList(result.updated)));
}
