#include "app/TovinAppContext.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "ui/FontOccManager.h"
#include "app/JTAG_CableSetup.h"
#include "app/SimulatedBoardDlg.h"
#include "app/TovinMainDlg.h"
#include "ui/TovinPropertyPage.h"
#include "ui/TovinPropertySheet.h"
#include "ui/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"
#include "pages/ViewAllDlg.h"
#include "pages/TovinDataLog.h"
#include "pages/Fault_Dlg.h"
#include "pages/IMONCOMPDlg.h"
#include "pages/SNTRX_TrimDACs_Dlg.h"
#include "pages/TMONCOMPDlg.h"
#include "pages/TovinGPIODlg.h"
#include "pages/TovinHVOUTDlg.h"
#include "pages/VMONCOMPDlg.h"
#include "sim/SimulatedBoard.h"

namespace {

CTovinAppContext* g_app = nullptr;

constexpr const char* kDemoMode = "Demo Mode";
constexpr const char* kLargeUiFont = "Large UI Font";
constexpr const char* kI2CAddress = "I2C Address";
constexpr const char* kI2CSwAddress = "I2C SW Address";
constexpr const char* kFpgaSection = "FPGA Section";
constexpr const char* kI2CBaudrate = "I2C Baudrate";
constexpr const char* kLogSettings = "Log Settings";
constexpr const char* kCableSerial = "Cable Serial";
constexpr const char* kCableIds = "Cable VID PID";
constexpr const char* kFaultLogUnlockCode = "Fault Log Unlock Code";
// A clock that stood still longer (a suspended machine) does not make up for all of it.
constexpr std::chrono::seconds kMaxBoardCatchUp{10};

int64_t MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CTovinAppContext& TheApp()
{
    return *g_app;
}

bool HasApp()
{
    return g_app != nullptr;
}

CTovinAppContext* SetTheApp(CTovinAppContext* context)
{
    CTovinAppContext* previous = g_app;
    g_app = context;
    return previous;
}

CTovinAppContext::CTovinAppContext(std::shared_ptr<CFtdiDriver> driver, std::unique_ptr<CSettingsStore> store)
    : m_driver(std::move(driver)), m_settings(std::move(store))
{
    m_remembered.logSettings.fill(1);
    m_remembered.logFileName = QString::fromLatin1(kApplicationName) + QStringLiteral(".log");
}

CTovinAppContext::~CTovinAppContext()
{
    Shutdown();
}

int CTovinAppContext::Run()
{
    Startup();
    MainWindowLoop();
    WriteSettings();
    Shutdown();
    return 0;
}

void CTovinAppContext::Startup()
{
    m_port = std::make_unique<CTovin_I2C_Port>(m_driver);
    // Cable locks find this application's link and demo mode.
    if (GetCableContext() != this) m_previousCableContext = SetCableContext(this);
    CFontOccManager::SetUiFont(m_uiFontFace, m_uiFontSize);

    m_demoMode = m_settings.ReadNumber(kDemoMode, 0) != 0;
    SetLargeUiFont(m_settings.ReadNumber(kLargeUiFont, 1) != 0);
    m_i2cAddress = static_cast<int>(m_settings.ReadNumber(kI2CAddress, 0xC0));
    m_i2cSwAddress = static_cast<int>(m_settings.ReadNumber(kI2CSwAddress, 0x40));
    m_fpgaSection = static_cast<int>(m_settings.ReadNumber(kFpgaSection, 0));
    const int rate = static_cast<int>(m_settings.ReadNumber(kI2CBaudrate, 400));
    if (!m_settings.ReadBinary(kLogSettings, m_remembered.logSettings.data(), m_remembered.logSettings.size())) m_remembered.logSettings.fill(1);
    // Four hex digits; anything else gives the built-in code, silently, as every setting does.
    m_faultUnlockCode =
        faultlog::ParseUnlockCode(m_settings.ReadText(kFaultLogUnlockCode, "")).value_or(faultlog::kUnlockCode);

    m_storedCableSerial = m_settings.ReadText(kCableSerial, "");
    m_cableSerial = m_cableOverride.serial.empty() ? m_storedCableSerial : m_cableOverride.serial;
    if (!ParseUsbIds(m_settings.ReadText(kCableIds, ""), &m_cableVendor, &m_cableProduct))
        m_cableVendor = m_cableProduct = 0;
    if (m_cableOverride.vendor != 0) {
        m_cableVendor = m_cableOverride.vendor;
        m_cableProduct = m_cableOverride.product;
    }
    m_driver->SelectCable(CableChoice());

    m_port->SetDemoMode(m_demoMode);
    m_port->GetLink().SetRate(rate);
    m_port->OpenCable();  // a missing cable is reported by the main window's checks
    m_remembered.registerMap = regmap::Build();
    m_port->SetHmuBase(m_i2cAddress);
    m_port->SetMainAddress(m_i2cSwAddress);
    m_remembered.browserSelection = 0;

    if (m_board) {
        m_boardClock = std::make_unique<QTimer>();
        QObject::connect(m_boardClock.get(), &QTimer::timeout, [this] { RunBoardClock(); });
        m_boardClockNs = MonotonicNs();
        m_boardClock->start(kBoardClockMs);
    }
}

void CTovinAppContext::RunBoardClock()
{
    if (!m_board) return;
    const int64_t now = MonotonicNs();
    const auto passed = std::chrono::nanoseconds(now - m_boardClockNs);
    m_boardClockNs = now;
    m_board->Advance(std::chrono::duration_cast<CSimulatedBoard::Duration>(
        std::min<std::chrono::nanoseconds>(passed, kMaxBoardCatchUp)));
}

std::optional<SimulatedThermalOutputs> CTovinAppContext::SimulatedThermal() const
{
    if (m_board == nullptr || m_board->Main() == nullptr) return std::nullopt;
    return SimulatedThermalOutputs{m_board->Design().HeaterOn(), m_board->Design().FanSpeed()};
}

void CTovinAppContext::PlaceBesideBoard(QWidget& dialog)
{
    if (m_board == nullptr || !m_boardPanel || !m_boardPanel->isVisible()) return;
    const QScreen* screen = m_boardPanel->screen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    dialog.adjustSize();
    // Frames as the window system draws them, where it has drawn the board's.
    const int frame = m_boardPanel->frameGeometry().width() - m_boardPanel->width();
    const int demoWidth = dialog.width() + frame;
    if (demoWidth + m_boardPanel->frameGeometry().width() > area.width()) return;
    dialog.move(area.topLeft());
    m_boardPanel->move(area.left() + demoWidth, area.top());
}

void CTovinAppContext::ShowBoardPanel()
{
    if (!m_board) return;
    if (!m_boardPanel) m_boardPanel = new CSimulatedBoardDlg(*m_board);
    m_boardPanel->show();
    m_boardPanel->raise();
    m_boardPanel->activateWindow();
}

void CTovinAppContext::MainWindowLoop()
{
    int result = 0;
    while (!m_exitRequested) {
        CTovinMainDlg window;
        result = window.DoModal();
        if (result != kLargeGuiResult) break;
    }
    m_exitTimer.reset();
}

void CTovinAppContext::RequestExit()
{
    if (m_exitRequested) return;
    m_exitRequested = true;
    // Modal runs are nested: each one returns to the code that opened it,
    // which may open another, so the topmost is ended on every tick until
    // the main window loop is over.
    m_exitTimer = std::make_unique<QTimer>();
    QObject::connect(m_exitTimer.get(), &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
    });
    m_exitTimer->start(10);
}

void CTovinAppContext::WriteSettings()
{
    // "I2C SW Address" is read but never written. All go in one write: a
    // program killed while saving keeps either the old set or the new one.
    SettingList values = {
        {kDemoMode, SettingValue::Number(m_demoMode ? 1 : 0)},
        {kLargeUiFont, SettingValue::Number(m_largeUiFont ? 1 : 0)},
        {kI2CAddress, SettingValue::Number(static_cast<uint32_t>(m_i2cAddress))},
        {kFpgaSection, SettingValue::Number(static_cast<uint32_t>(m_fpgaSection))},
        {kI2CBaudrate, SettingValue::Number(static_cast<uint32_t>(m_port ? m_port->GetLink().GetRate() : 400))},
        {kLogSettings, SettingValue::Binary(std::vector<uint8_t>(m_remembered.logSettings.begin(), m_remembered.logSettings.end()))},
    };
    // Only once a cable was chosen, so that a first run leaves no empty value.
    if (!m_storedCableSerial.empty() || m_settings.Has(kCableSerial))
        values.push_back({kCableSerial, SettingValue::Text(m_storedCableSerial)});
    m_settings.WriteValues(values);
}

FtdiCableChoice CTovinAppContext::CableChoice() const
{
    return {m_cableSerial, m_cableVendor, m_cableProduct};
}

std::vector<std::string> CTovinAppContext::AttachedCableSerials()
{
    // Listed without the serial choice, which would hide the other cables;
    // open channels are not touched, and the choice applies again at once.
    FtdiCableChoice any = CableChoice();
    any.serial.clear();
    m_driver->SelectCable(any);
    uint32_t count = 0;
    m_driver->CreateDeviceInfoList(&count);
    std::vector<std::string> serials;
    for (int i = 0; i < static_cast<int>(count); ++i) {
        const std::string serial = m_driver->DeviceDetails(i).cableSerial;
        if (!serial.empty() && std::find(serials.begin(), serials.end(), serial) == serials.end())
            serials.push_back(serial);
    }
    m_driver->SelectCable(CableChoice());
    return serials;
}

void CTovinAppContext::ChooseCable(const std::string& serial)
{
    m_cableSerial = m_storedCableSerial = serial;
    m_driver->SelectCable(CableChoice());
    if (!m_port) return;
    m_port->GetLink().CloseI2CChannel();
    m_port->OpenCable();
}

void CTovinAppContext::Shutdown()
{
    // The status window closes its log file (every record written) as it goes.
    delete m_logStatus.data();
    delete m_boardPanel.data();
    m_boardClock.reset();
    m_port.reset();
    if (GetCableContext() == this) SetCableContext(m_previousCableContext);
}

void CTovinAppContext::SetHmuBaseAddress(int address)
{
    m_i2cAddress = address;
    if (m_port) m_port->SetHmuBase(address);
}

void CTovinAppContext::SetDemoMode(bool demo)
{
    m_demoMode = demo;
    if (m_port) m_port->SetDemoMode(demo);
}

void CTovinAppContext::SetLargeUiFont(bool on)
{
    m_largeUiFont = on;
    CFontOccManager::SetLargeFont(on);
    // The board window is made again in the new font, where it was.
    if (m_boardPanel) {
        const bool shown = m_boardPanel->isVisible();
        const QPoint place = m_boardPanel->pos();
        delete m_boardPanel.data();
        if (shown) {
            ShowBoardPanel();
            m_boardPanel->move(place);
        }
    }
}

CI2C_FTDI* CTovinAppContext::CableLink()
{
    return m_port ? &m_port->GetLink() : nullptr;
}

void CTovinAppContext::CableSetupCommand(QWidget* parent)
{
    CJTAG_CableSetup dialog(parent);
    dialog.SetDemoMode(m_demoMode);
    dialog.SetPort(m_port.get());
    dialog.SetCableSerial(m_cableSerial);
    dialog.SetAttachedCables(AttachedCableSerials());
    if (dialog.DoModal() != kIdOk) return;
    SetDemoMode(dialog.GetDemoMode());
    if (dialog.GetCableSerial() != m_cableSerial) ChooseCable(dialog.GetCableSerial());
}

bool CTovinAppContext::AddAnsweringPages(CTovinPropertySheet& sheet, BuiltPages& pages, const PageFactory& makePage,
                                         const std::function<void(CTovinPropertyPage&, int)>& prepare)
{
    for (int i = 0; i < CTovin_I2C_Port::kHmuDevices; ++i) pages.push_back(makePage());
    {
        CCableLock lock;  // one lock for all eight probes
        for (int i = 0; i < CTovin_I2C_Port::kHmuDevices; ++i) {
            CTovinPropertyPage& page = *pages[i];
            page.SetPort(m_port.get());
            page.SetServices(this);
            if (prepare) prepare(page, i);
            page.SetDeviceIndex(i);
            if (m_port->ProbeHmu(i)) sheet.AddDevicePage(&page, QStringLiteral("HMU%1").arg(i));
        }
    }
    if (sheet.PageCount() > 0) return true;
    ShowExclamation(nullptr, QStringLiteral("Required HMU device is not found."));
    return false;
}

void CTovinAppContext::OpenDevicePages(const QString& title, bool closeOnly, const PageFactory& makePage)
{
    CTovinPropertySheet sheet(title, closeOnly);
    BuiltPages pages;  // destroyed before the sheet: the pages leave it first
    if (AddAnsweringPages(sheet, pages, makePage, {})) sheet.DoModal();
}

void CTovinAppContext::OpenVmonPages(const QString& title, bool closeOnly)
{
    OpenPages<CVMONCOMPDlg>(title, closeOnly);
}

void CTovinAppContext::OpenImonPages(const QString& title, bool closeOnly)
{
    OpenPages<CIMONCOMPDlg>(title, closeOnly);
}

void CTovinAppContext::OpenTmonPages(const QString& title, bool closeOnly)
{
    OpenPages<CTMONCOMPDlg>(title, closeOnly);
}

void CTovinAppContext::OpenGpioPages(const QString& title, bool closeOnly)
{
    OpenPages<CTovinGPIODlg>(title, closeOnly);
}

void CTovinAppContext::OpenHvoutPages(const QString& title, bool closeOnly)
{
    OpenPages<CTovinHVOUTDlg>(title, closeOnly);
}

void CTovinAppContext::OpenTrimPages(const QString& title, bool closeOnly)
{
    OpenPages<CSNTRX_TrimDACs_Dlg>(title, closeOnly);
}

void CTovinAppContext::OpenAllRegisterPages()
{
    RegisterPageAccess access;
    access.give = [](CTovinPropertyPage& page, const std::vector<RegisterEntry>& rows, int selection) {
        auto& browser = static_cast<CViewAllDlg&>(page);
        browser.SetRows(rows);
        browser.SetListPosition(selection);
    };
    access.rows = [](const CTovinPropertyPage& page) { return static_cast<const CViewAllDlg&>(page).Rows(); };
    access.selection = [](const CTovinPropertyPage& page) {
        return static_cast<const CViewAllDlg&>(page).ListPosition();
    };
    OpenRegisterPages([] { return std::make_unique<CViewAllDlg>(); }, access);
}

void CTovinAppContext::OpenFaultPages(const QString& title, bool closeOnly)
{
    OpenPages<CFault_Dlg>(title, closeOnly);
}

void CTovinAppContext::OpenLogSelectionPages(const QString& title, bool closeOnly)
{
    OpenDevicePages(title, closeOnly, [this] {
        auto page = std::make_unique<CTovinDataLog>();
        page->SetSelection(&m_remembered.logSettings);
        return page;
    });
}

void CTovinAppContext::OpenRegisterPages(const PageFactory& makePage, const RegisterPageAccess& access)
{
    constexpr int rows = regmap::kRowsPerDevice;
    CTovinPropertySheet sheet(QStringLiteral("ZENT I2C All I2C Registers"), false);
    BuiltPages pages;
    const auto giveRows = [&](CTovinPropertyPage& page, int i) {
        // The page gets the rows without their values: it reads them itself.
        std::vector<RegisterEntry> block(m_remembered.registerMap.begin() + i * rows, m_remembered.registerMap.begin() + (i + 1) * rows);
        for (auto& row : block) row.value = 0;
        access.give(page, block, m_remembered.browserSelection);
    };
    if (!AddAnsweringPages(sheet, pages, makePage, giveRows)) return;
    if (sheet.DoModal() != kIdOk) return;
    for (int i = 0; i < CTovin_I2C_Port::kHmuDevices; ++i) {
        const CTovinPropertyPage& page = *pages[i];
        m_remembered.browserSelection = access.selection(page);
        // Devices that did not answer never showed their rows: leave them as they were.
        if (!page.IsInitialised()) continue;
        const std::vector<RegisterEntry> pageRows = access.rows(page);
        for (int r = 0; r < rows && r < static_cast<int>(pageRows.size()); ++r) {
            m_remembered.registerMap[i * rows + r].value = pageRows[r].value;
            m_remembered.registerMap[i * rows + r].shown = pageRows[r].shown;
        }
    }
}

void CTovinAppContext::AdoptLogStatusWindow(QWidget* window)
{
    m_logStatus = window;
}
