#pragma once
// The application object's state and operations: the register port, the
// settings, the shared flags and addresses, the register map, the values that
// dialogs remember between openings, start-up and exit, and the page builders.
//
// Windows are handed it as their CAppServices. The shell finds it through
// TheApp(): the program's CTovin_I2C_App is one; tests create their own over
// a simulated cable and a memory store and point TheApp() at it.

#include <QPointer>
#include <QWidget>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "ui/AppServices.h"
#include "device/RegisterMap.h"
#include "device/blocks/FaultLog.h"
#include "link/CableLock.h"
#include "link/FtdiDriver.h"

class CFtdiDriver;
class CSimulatedBoard;
class CTovin_I2C_Port;
class QTimer;
class CTovinPropertyPage;
class CTovinPropertySheet;

class CTovinAppContext : public CCableContext, public CAppServices {
public:
    static constexpr int kLogSettingsSize = RememberedValues::kLogSettingsSize;
    static constexpr int kLargeGuiResult = 333;

    CTovinAppContext(std::shared_ptr<CFtdiDriver> driver, std::unique_ptr<CSettingsStore> store);
    ~CTovinAppContext() override;

    CTovinAppContext(const CTovinAppContext&) = delete;
    CTovinAppContext& operator=(const CTovinAppContext&) = delete;

    // The whole life: start-up, the main window loop, the settings written
    // back, the port destroyed. Returns the process exit status.
    int Run();
    void Startup();
    void MainWindowLoop();
    void WriteSettings();
    void Shutdown();

    // CAppServices
    CTovin_I2C_Port& Port() override { return *m_port; }
    bool HasPort() const override { return m_port != nullptr; }
    CSettings& Settings() override { return m_settings; }
    bool DemoMode() const override { return m_demoMode; }
    bool LargeUiFont() const override { return m_largeUiFont; }
    uint16_t FaultUnlockCode() const override { return m_faultUnlockCode; }
    RememberedValues& Remembered() override { return m_remembered; }
    std::optional<SimulatedThermalOutputs> SimulatedThermal() const override;

    // Flags and addresses the connection dialogs change.
    void SetDemoMode(bool demo);  // also the port's
    void SetLargeUiFont(bool on);  // takes effect for windows created afterwards

    // Ends the program as its Exit command does, from wherever it is: every
    // window that runs modally ends as its Cancel would (also one that opens
    // while this goes on), the main window last, and Run then saves the
    // settings. For SIGTERM and SIGINT.
    void RequestExit();
    bool ExitRequested() const { return m_exitRequested; }

    // The cable setup command: runs the cable dialog; on OK takes its demo
    // mode and the cable it chose.
    void CableSetupCommand(QWidget* parent);

    // Which cable to use when several are plugged in. The stored serial and
    // USB ids ("Cable Serial", "Cable VID PID") apply unless the command line
    // gave its own for this run (set before Startup; not stored).
    void SetCableOverride(const FtdiCableChoice& choice) { m_cableOverride = choice; }
    FtdiCableChoice CableChoice() const;
    const std::string& CableSerial() const { return m_cableSerial; }
    // The serial numbers of the cables plugged in, whichever is chosen.
    std::vector<std::string> AttachedCableSerials();
    // Uses, and stores, the cable with this serial (empty: the first found);
    // the I2C channel is opened again on it.
    void ChooseCable(const std::string& serial);

    // Page builders: probe HMU0..HMU7 inside one cable lock, open a modal
    // tabbed window with a page per answering device, or report that none is.
    using PageFactory = std::function<std::unique_ptr<CTovinPropertyPage>()>;
    void OpenDevicePages(const QString& title, bool closeOnly, const PageFactory& makePage);
    template <class Page>
    void OpenPages(const QString& title, bool closeOnly)
    {
        OpenDevicePages(title, closeOnly, [] { return std::make_unique<Page>(); });
    }

    // The builders of the page kinds.
    void OpenVmonPages(const QString& title, bool closeOnly);
    void OpenImonPages(const QString& title, bool closeOnly);
    void OpenTmonPages(const QString& title, bool closeOnly);
    void OpenGpioPages(const QString& title, bool closeOnly);
    void OpenHvoutPages(const QString& title, bool closeOnly);
    void OpenTrimPages(const QString& title, bool closeOnly);
    void OpenFaultPages(const QString& title, bool closeOnly);
    // The channel selection: OK stores the boxes of every page that was shown.
    void OpenLogSelectionPages(const QString& title, bool closeOnly);

    // The all-registers window: each page gets its device's rows of the map
    // and the browser selection; OK copies values, shown flags and the
    // selection back.
    struct RegisterPageAccess {
        std::function<void(CTovinPropertyPage&, const std::vector<RegisterEntry>&, int selection)> give;
        std::function<std::vector<RegisterEntry>(const CTovinPropertyPage&)> rows;
        std::function<int(const CTovinPropertyPage&)> selection;
    };
    void OpenRegisterPages(const PageFactory& makePage, const RegisterPageAccess& access);
    void OpenAllRegisterPages();

    // The simulated board the program runs on, or null on the cable; set
    // before Startup, it must outlive the context. From Startup on its clock
    // runs in real time from a timer on the user-interface thread.
    void SetSimulatedBoard(CSimulatedBoard* board) { m_board = board; }
    CSimulatedBoard* SimulatedBoard() const { return m_board; }
    // Moves the board clock on by the time passed since it last moved (at
    // most kMaxBoardCatchUp at once); the timer calls it.
    void RunBoardClock();
    static constexpr int kBoardClockMs = 20;
    // The modeless "Simulated Board" window: shown and raised, made on first
    // use; it belongs to the application like the status window below.
    void ShowBoardPanel();
    QWidget* BoardPanel() const { return m_boardPanel.data(); }
    // With the board window shown, a demonstration about to open goes to the
    // left of the screen and the board window to its right, where both fit:
    // the steps ask for the board's buttons while the dialog is up.
    void PlaceBesideBoard(QWidget& dialog);

    // The modeless data-logging status window belongs to the application, not
    // to a main window: it survives the rebuild of the main window (the next
    // one adopts it) and is closed, with its file, when the program ends.
    QWidget* LogStatusWindow() const { return m_logStatus.data(); }
    void AdoptLogStatusWindow(QWidget* window);

    // CCableContext
    bool CableDemoMode() const override { return m_demoMode; }
    CI2C_FTDI* CableLink() override;

    // The HMU base address ("I2C Address") and the FPGA section, as the
    // address dialog shows and sets them; the base also goes to the port.
    int HmuBaseAddress() const { return m_i2cAddress; }
    void SetHmuBaseAddress(int address);
    int MainAddress() const { return m_i2cSwAddress; }
    int FpgaSection() const { return m_fpgaSection; }
    void SetFpgaSection(int section) { m_fpgaSection = section; }

private:
    // The pages of one builder call: constructed, probed, shown, destroyed
    // together. Pages given to the sheet are still owned here.
    using BuiltPages = std::vector<std::unique_ptr<CTovinPropertyPage>>;
    // Makes eight pages, probes HMU0..HMU7 inside one cable lock and adds the
    // page of each answering device; false, after telling the user, when none answered.
    bool AddAnsweringPages(CTovinPropertySheet& sheet, BuiltPages& pages, const PageFactory& makePage,
                           const std::function<void(CTovinPropertyPage&, int)>& prepare);

    std::shared_ptr<CFtdiDriver> m_driver;
    CSettings m_settings;
    std::unique_ptr<CTovin_I2C_Port> m_port;
    bool m_demoMode = false;
    bool m_largeUiFont = true;
    FtdiCableChoice m_cableOverride;
    std::string m_cableSerial;        // in use
    std::string m_storedCableSerial;  // written back at exit
    uint16_t m_cableVendor = 0;
    uint16_t m_cableProduct = 0;
    QPointer<QWidget> m_logStatus;
    bool m_exitRequested = false;
    std::unique_ptr<QTimer> m_exitTimer;
    CCableContext* m_previousCableContext = nullptr;
    CSimulatedBoard* m_board = nullptr;
    std::unique_ptr<QTimer> m_boardClock;
    int64_t m_boardClockNs = 0;  // monotonic time the board clock last moved
    QPointer<QWidget> m_boardPanel;

    QString m_uiFontFace = QStringLiteral("Segoe UI");
    int m_uiFontSize = 12;
    int m_i2cAddress = 0xC0;
    int m_i2cSwAddress = 0x40;
    int m_fpgaSection = 0;
    RememberedValues m_remembered;
    // The code that unlocks a fault log erase: setting "Fault Log Unlock
    // Code" (four hex digits), read at start-up; the built-in code without it.
    uint16_t m_faultUnlockCode = faultlog::kUnlockCode;
};

// The running application object.
CTovinAppContext& TheApp();
bool HasApp();
// Points TheApp() at another context (tests); returns the previous one.
CTovinAppContext* SetTheApp(CTovinAppContext* context);
