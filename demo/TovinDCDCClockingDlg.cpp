#include "demo/TovinDCDCClockingDlg.h"

#include "ui/AppServices.h"

CTovinDCDCClockingDlg::CTovinDCDCClockingDlg(CAppServices& services, QWidget* parent)
    : CDemoOptionDlg(QStringLiteral("ZENT I2C DC/DC Clocking"), QStringLiteral("DC/DC Clocking"),
                     demodesign::kClocking,
                     {{QStringLiteral("&Synchronous"), demodesign::kClockingSynchronous},
                      {QStringLiteral("90 degree &Phase shifts"), demodesign::kClockingPhaseShifted}},
                     services.Port(), services.Remembered().clockingValue, parent)
{
}
