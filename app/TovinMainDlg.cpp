#include "app/TovinMainDlg.h"

#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/AboutDlg.h"
#include "app/TovinAppContext.h"
#include "app/TovinI2CAddressDlg.h"
#include "ui/UserInteraction.h"
#include "demo/TovinDCDCClockingDlg.h"
#include "demo/TovinDemo1Dlg.h"
#include "demo/TovinDemo2Dlg.h"
#include "demo/TovinDemo3Dlg.h"
#include "demo/TovinTrimMarginDlg.h"
#include "device/Tovin_I2C_Port.h"
#include "pages/BoardConfigDlg.h"
#include "pages/UESDlg.h"
#include "logview/TovinLogStatus.h"
#include "logview/TovinTrendDlg.h"
#include "pages/BoardMonitorDlg.h"

namespace {

const char* const kNoCable = "I2C NAK error or cable issue.\nPlease check I2C connection.";
const char* const kNoHmu = "Required HMU device is not found.";
const char* const kNoDesign =
    "Demo Design is not found.\nPlease program the board with ZENT21_Demo_Design.JED (can be downloaded from "
    "Norvane website).";

// The cable is listed but its I2C channel did not open: why, in the driver's
// words when it has them, and the link's status line.
QString I2CChannelProblem(CI2C_FTDI& link)
{
    const std::string reason = link.Driver().OpenFailure(CI2C_FTDI::kI2CChannelIndex);
    QString text = QStringLiteral("The FTDI cable is attached, but its I2C channel (device %1) cannot be opened")
                       .arg(CI2C_FTDI::kI2CChannelIndex);
    text += reason.empty() ? QStringLiteral(".") : QStringLiteral(":\n") + QString::fromStdString(reason) + '.';
    return text + QStringLiteral("\n\n") + QString::fromStdString(link.StatusText());
}

}  // namespace

QIcon ApplicationIcon()
{
    // The icon of the desktop entry, built into the program (app/CMakeLists.txt).
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/zent2-i2c.png").arg(size), QSize(size, size));
    return icon;
}

CTovinMainDlg::CTovinMainDlg(QWidget* parent) : CTovinDialog(parent), m_app(TheApp()), m_icon(ApplicationIcon())
{
    setWindowTitle(QStringLiteral("ZENT I2C Power, Thermal & Control Plane Management") +
                   (m_app.SimulatedBoard() ? QStringLiteral(" (simulated board)") : QString()));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    // Modal to nothing above it: the modeless logging window stays usable beside it.
    setWindowModality(Qt::WindowModal);

    auto* top = new QVBoxLayout(this);
    BuildMenu();
    top->setMenuBar(m_menuBar);

    auto* demo = new QGroupBox(QStringLiteral("Demonstration"), this);
    auto* demoLayout = new QVBoxLayout(demo);
    QPushButton* first = AddButton(demoLayout, QStringLiteral("&Scalable Architecture"), &CTovinMainDlg::OnDemo1);
    QPushButton* second = AddButton(demoLayout, QStringLiteral("Th&ermal Management"), &CTovinMainDlg::OnDemo2);
    QPushButton* third = AddButton(demoLayout, QStringLiteral("Fa&ult Logging"), &CTovinMainDlg::OnDemo3);
    // The demonstrations stand out: the first button's font, bold.
    QFont bold = first->font();
    bold.setWeight(QFont::Bold);
    for (QPushButton* b : {first, second, third}) b->setFont(bold);

    auto* optional = new QGroupBox(QStringLiteral("Optional Demo Settings"), this);
    auto* optionalLayout = new QVBoxLayout(optional);
    AddButton(optionalLayout, QStringLiteral("DC/DC Cl&ocking"), &CTovinMainDlg::OnDcdcClocking);
    AddButton(optionalLayout, QStringLiteral("&Margining"), &CTovinMainDlg::OnMargining);
    optionalLayout->addStretch();

    auto* power = new QGroupBox(QStringLiteral("Power Management"), this);
    auto* powerLayout = new QGridLayout(power);
    auto addPower = [&](int row, int column, const QString& text, void (CTovinMainDlg::*command)()) {
        auto* b = new QPushButton(text, power);
        connect(b, &QPushButton::clicked, this, command);
        b->setAutoDefault(false);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        powerLayout->addWidget(b, row, column);
    };
    addPower(0, 0, QStringLiteral("&VMON"), &CTovinMainDlg::OnVmon);
    addPower(0, 1, QStringLiteral("&IMON"), &CTovinMainDlg::OnImon);
    addPower(0, 2, QStringLiteral("Trim &Cells"), &CTovinMainDlg::OnTrimCells);
    addPower(1, 0, QStringLiteral("&GPIO"), &CTovinMainDlg::OnGpio);
    addPower(1, 1, QStringLiteral("&HVOUT"), &CTovinMainDlg::OnHvout);
    powerLayout->setRowStretch(2, 1);
    for (int column = 0; column < 3; ++column) powerLayout->setColumnStretch(column, 1);

    auto* thermal = new QGroupBox(QStringLiteral("Thermal Management"), this);
    auto* thermalLayout = new QVBoxLayout(thermal);
    AddButton(thermalLayout, QStringLiteral("&TMON"), &CTovinMainDlg::OnTmon);

    auto* control = new QGroupBox(QStringLiteral("Control Plane Management"), this);
    auto* controlLayout = new QVBoxLayout(control);
    AddButton(controlLayout, QStringLiteral("Read &Fault Log Mem"), &CTovinMainDlg::OnFaultLog);

    auto* grid = new QGridLayout;
    grid->addWidget(demo, 0, 0);
    grid->addWidget(optional, 0, 1);
    grid->addWidget(power, 1, 0);
    auto* right = new QVBoxLayout;
    right->addWidget(thermal);
    right->addWidget(control);
    grid->addLayout(right, 1, 1);
    top->addLayout(grid);

    auto* bottom = new QHBoxLayout;
    AddButton(bottom, QStringLiteral("&ALL I2C"), &CTovinMainDlg::OnAllI2C);
    AddButton(bottom, QStringLiteral("UES"), &CTovinMainDlg::OnUes);
    AddButton(bottom, QStringLiteral("Board Mo&nitor"), &CTovinMainDlg::OnBoardMonitor);
    bottom->addStretch();
    AddButton(bottom, QStringLiteral("E&xit"), &CTovinMainDlg::OnExit);
    top->addLayout(bottom);

    m_largeGui->setChecked(m_app.LargeUiFont());
    setWindowIcon(m_icon);
}

QPushButton* CTovinMainDlg::AddButton(QLayout* layout, const QString& text, void (CTovinMainDlg::*command)())
{
    auto* button = new QPushButton(text, this);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, command);
    layout->addWidget(button);
    return button;
}

void CTovinMainDlg::BuildMenu()
{
    m_menuBar = new QMenuBar(this);
    QMenu* file = m_menuBar->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("&Start Data Logging...")), &QAction::triggered, this,
            &CTovinMainDlg::OnStartDataLogging);
    connect(file->addAction(QStringLiteral("&Open Log...")), &QAction::triggered, this, &CTovinMainDlg::OnOpenLog);
    file->addSeparator();
    // Board configurations: every device of the board, so here rather than
    // in the all-registers browser, whose pages are one device each.
    connect(file->addAction(QStringLiteral("Save &Configuration...")), &QAction::triggered, this,
            &CTovinMainDlg::OnSaveConfiguration);
    connect(file->addAction(QStringLiteral("Co&mpare with File...")), &QAction::triggered, this,
            &CTovinMainDlg::OnCompareConfiguration);
    connect(file->addAction(QStringLiteral("&Load Configuration...")), &QAction::triggered, this,
            &CTovinMainDlg::OnLoadConfiguration);
    file->addSeparator();
    connect(file->addAction(QStringLiteral("E&xit")), &QAction::triggered, this, &CTovinMainDlg::OnExit);

    QMenu* options = m_menuBar->addMenu(QStringLiteral("&Options"));
    m_largeGui = options->addAction(QStringLiteral("Large &GUI"));
    m_largeGui->setCheckable(true);
    connect(m_largeGui, &QAction::triggered, this, &CTovinMainDlg::OnLargeGui);
    options->addSeparator();
    connect(options->addAction(QStringLiteral("I2C &Interface...")), &QAction::triggered, this,
            &CTovinMainDlg::OnI2CInterface);
    connect(options->addAction(QStringLiteral("I2C &Address...")), &QAction::triggered, this,
            &CTovinMainDlg::OnI2CAddress);
    options->addSeparator();
    connect(options->addAction(QStringLiteral("Data &Logging...")), &QAction::triggered, this,
            &CTovinMainDlg::OnDataLoggingSelection);
    connect(options->addAction(QStringLiteral("Board &Monitor...")), &QAction::triggered, this,
            &CTovinMainDlg::OnBoardMonitor);
    // Only on the simulated board: its knobs, buttons and lamps.
    if (m_app.SimulatedBoard()) {
        options->addSeparator();
        connect(options->addAction(QStringLiteral("Simulated &Board...")), &QAction::triggered, this,
                &CTovinMainDlg::OnSimulatedBoard);
    }

    QMenu* help = m_menuBar->addMenu(QStringLiteral("&Help"));
    connect(help->addAction(QStringLiteral("&About")), &QAction::triggered, this, &CTovinMainDlg::OnAbout);
}

QPushButton* CTovinMainDlg::Button(const QString& text) const
{
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

QAction* CTovinMainDlg::Action(const QString& text) const
{
    for (QAction* a : m_menuBar->findChildren<QAction*>())
        if (a->text() == text) return a;
    return nullptr;
}

bool CTovinMainDlg::CheckConnection()
{
    CTovin_I2C_Port& port = m_app.Port();
    port.OpenCable();
    if (m_app.DemoMode()) return true;
    port.CheckCable();
    const int error = port.GetError();
    if (error != 0 && (error & 0x80)) {
        QString text = QString::fromLatin1(kNoCable) +
                       QStringLiteral("\nWithout a cable, zent2-i2c --simulated-board runs on the simulated board.");
        // A cable chosen by serial may be plugged in while another is not.
        if (!m_app.CableSerial().empty())
            text += QStringLiteral("\n\nNo cable with the serial number %1 is attached; \"I2C Interface...\" "
                                   "chooses another.")
                        .arg(QString::fromStdString(m_app.CableSerial()));
        // The driver could not even look (on Windows: FTDI's D2XX driver is missing).
        if (const std::string reason = port.GetLink().Driver().ListFailure(); !reason.empty())
            text += QStringLiteral("\n\n") + QString::fromStdString(reason) + '.';
        ShowExclamation(this, text);
        return false;
    }
    // Listed but not opened (no permission, another program holds it): every
    // device would look absent, so say why instead.
    if (!port.GetLink().IsI2CChannelOpen()) {
        ShowExclamation(this, I2CChannelProblem(port.GetLink()));
        return false;
    }
    return true;
}

bool CTovinMainDlg::CheckDemoHmus()
{
    for (int device : {0, 1}) {
        if (!m_app.Port().ProbeHmu(device)) {
            ShowExclamation(this, QString::fromLatin1(kNoHmu));
            return false;
        }
    }
    return true;
}

bool CTovinMainDlg::CheckDemoDesign()
{
    if (!m_app.Port().ProbeMain()) {
        ShowExclamation(this, QString::fromLatin1(kNoDesign));
        return false;
    }
    return true;
}

QPoint CTovinMainDlg::MinimizedIconPosition(QSize client, QSize icon)
{
    return {(client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2};
}

void CTovinMainDlg::paintEvent(QPaintEvent* event)
{
    if (!isMinimized()) {
        CTovinDialog::paintEvent(event);
        return;
    }
    const int side = style()->pixelMetric(QStyle::PM_LargeIconSize);
    const QSize iconSize(side, side);
    QPainter painter(this);
    painter.drawPixmap(MinimizedIconPosition(size(), iconSize), m_icon.pixmap(iconSize));
}

// The demonstrations and the optional demo settings need the demonstration
// board's devices.
void CTovinMainDlg::OnDemo1()
{
    if (!CheckConnection() || !CheckDemoHmus() || !CheckDemoDesign()) return;
    CTovinDemo1Dlg dialog(m_app, this);
    m_app.PlaceBesideBoard(dialog);
    dialog.SetSubtitle(QStringLiteral("Scalable Architecture"));
    dialog.DoModal();
}

void CTovinMainDlg::OnDemo2()
{
    if (!CheckConnection() || !CheckDemoHmus() || !CheckDemoDesign()) return;
    CTovinDemo2Dlg dialog(m_app, this);
    m_app.PlaceBesideBoard(dialog);
    dialog.SetSubtitle(QStringLiteral("Thermal Management"));
    dialog.DoModal();
}

void CTovinMainDlg::OnDemo3()
{
    if (!CheckConnection() || !CheckDemoHmus() || !CheckDemoDesign()) return;
    CTovinDemo3Dlg dialog(m_app, this);
    m_app.PlaceBesideBoard(dialog);
    dialog.SetSubtitle(QStringLiteral("Fault Logging"));
    dialog.SetFaultLogCommand([this] { OnFaultLog(); });
    dialog.DoModal();
}

void CTovinMainDlg::OnDcdcClocking()
{
    if (!CheckConnection() || !CheckDemoDesign()) return;
    CTovinDCDCClockingDlg dialog(m_app, this);
    dialog.DoModal();
}

void CTovinMainDlg::OnMargining()
{
    if (!CheckConnection() || !CheckDemoDesign()) return;
    CTovinTrimMarginDlg dialog(m_app, this);
    dialog.DoModal();
}

void CTovinMainDlg::OnVmon()
{
    if (!CheckConnection()) return;
    m_app.OpenVmonPages(QStringLiteral("ZENT I2C VMON Voltages, Comparator Status and Thresholds"), true);
}

void CTovinMainDlg::OnImon()
{
    if (!CheckConnection()) return;
    m_app.OpenImonPages(QStringLiteral("ZENT I2C IMON Currents, Comparator Status and Thresholds"), true);
}

void CTovinMainDlg::OnTrimCells()
{
    if (!CheckConnection()) return;
    m_app.OpenTrimPages(QStringLiteral("ZENT I2C Trim Cells"), true);
}

void CTovinMainDlg::OnGpio()
{
    if (!CheckConnection()) return;
    m_app.OpenGpioPages(QStringLiteral("ZENT I2C Digital I/O"), true);
}

void CTovinMainDlg::OnHvout()
{
    if (!CheckConnection()) return;
    m_app.OpenHvoutPages(QStringLiteral("ZENT I2C HVOUT Status"), true);
}

void CTovinMainDlg::OnFaultLog()
{
    if (!CheckConnection()) return;
    m_app.OpenFaultPages(QStringLiteral("ZENT I2C Fault log Record"), true);
}

void CTovinMainDlg::OnTmon()
{
    if (!CheckConnection()) return;
    m_app.OpenTmonPages(QStringLiteral("ZENT I2C TMON Temperatures, Comparator Status and Thresholds"), true);
}

void CTovinMainDlg::OnAllI2C()
{
    if (!CheckConnection()) return;
    m_app.OpenAllRegisterPages();
}

void CTovinMainDlg::OnUes()
{
    if (!CheckConnection()) return;
    CUESDlg dialog(m_app, this);
    dialog.DoModal();
}

void CTovinMainDlg::OnDataLoggingSelection()
{
    if (!CheckConnection()) return;
    m_app.OpenLogSelectionPages(QStringLiteral("Data Logging"), false);
}

void CTovinMainDlg::OnStartDataLogging()
{
    if (QWidget* status = m_app.LogStatusWindow()) {
        status->show();
        status->raise();
        status->activateWindow();
        return;
    }
    if (!CheckConnection()) return;
    // No parent: it belongs to the application and deletes itself when closed.
    auto* status = new CTovinLogStatus(m_app);
    m_app.AdoptLogStatusWindow(status);
    status->show();
}

// Any log file, in a Trend window of its own; it needs no cable. The window
// belongs to this main window, so the modal run of it does not block it.
void CTovinMainDlg::OnOpenLog()
{
    const QString path = Ui().GetOpenFileName(this, QStringLiteral("Open Log"), QString(),
                                              QStringLiteral("Log Files (*.log);;All Files (*)"));
    if (path.isEmpty()) return;
    auto* trend = new CTovinTrendDlg(this);
    trend->setAttribute(Qt::WA_DeleteOnClose);
    if (!trend->OpenFile(path)) {
        delete trend;
        return;
    }
    trend->show();
}

void CTovinMainDlg::OnSaveConfiguration()
{
    if (!CheckConnection()) return;
    SaveBoardConfiguration(this, m_app);
}

void CTovinMainDlg::OnCompareConfiguration()
{
    if (!CheckConnection()) return;
    CompareBoardConfiguration(this, m_app);
}

void CTovinMainDlg::OnLoadConfiguration()
{
    if (!CheckConnection()) return;
    LoadBoardConfiguration(this, m_app);
}

void CTovinMainDlg::OnI2CInterface()
{
    m_app.CableSetupCommand(this);
}

void CTovinMainDlg::OnI2CAddress()
{
    CTovinI2CAddressDlg dialog(this);
    dialog.DoModal();
}

void CTovinMainDlg::OnLargeGui()
{
    m_app.SetLargeUiFont(!m_app.LargeUiFont());
    m_largeGui->setChecked(m_app.LargeUiFont());
    done(CTovinAppContext::kLargeGuiResult);
}

void CTovinMainDlg::OnBoardMonitor()
{
    if (m_boardMonitor) {
        m_boardMonitor->show();
        m_boardMonitor->raise();
        m_boardMonitor->activateWindow();
        return;
    }
    if (!CheckConnection()) return;
    // A window of its own that this one owns, so it closes with it.
    auto* monitor = new CBoardMonitorDlg(m_app, this);
    monitor->setWindowFlag(Qt::Window);
    monitor->setAttribute(Qt::WA_DeleteOnClose);
    m_boardMonitor = monitor;
    monitor->show();
}

void CTovinMainDlg::OnSimulatedBoard()
{
    m_app.ShowBoardPanel();
}

void CTovinMainDlg::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.DoModal();
}

void CTovinMainDlg::OnExit()
{
    done(kIdCancel);
}
