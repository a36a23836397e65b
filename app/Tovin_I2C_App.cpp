#include "app/Tovin_I2C_App.h"

#include "app/ExitSignals.h"
#include "ui/UserInteraction.h"

CTovin_I2C_App::CTovin_I2C_App(int& argc, char** argv, std::shared_ptr<CFtdiDriver> driver,
                               std::unique_ptr<CSettingsStore> store)
    : QApplication(argc, argv), CTovinAppContext(std::move(driver), std::move(store))
{
    setApplicationName(QString::fromLatin1(kApplicationName));
    // Windows find the application object through TheApp().
    SetTheApp(this);
    m_exitSignals = std::make_unique<CExitSignals>([this](int) { RequestExit(); });
}

CTovin_I2C_App::~CTovin_I2C_App()
{
    m_exitSignals.reset();
    Shutdown();
    if (HasApp() && &TheApp() == this) SetTheApp(nullptr);
}
