#pragma once
// The application object of the desktop program: the toolkit's application
// with the program's shared state and its start-up, main-window loop and exit.

#include <QApplication>

#include "app/TovinAppContext.h"

class CExitSignals;

class CTovin_I2C_App : public QApplication, public CTovinAppContext {
    Q_OBJECT
public:
    CTovin_I2C_App(int& argc, char** argv, std::shared_ptr<CFtdiDriver> driver,
                   std::unique_ptr<CSettingsStore> store);
    ~CTovin_I2C_App() override;

private:
    // SIGTERM and SIGINT end the program as Exit does.
    std::unique_ptr<CExitSignals> m_exitSignals;
};
