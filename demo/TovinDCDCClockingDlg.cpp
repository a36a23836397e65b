#include "demo/TovinDCDCClockingDlg.h"

#include "app/TovinAppContext.h"

CTovinDCDCClockingDlg::CTovinDCDCClockingDlg(QWidget* parent)
    : CDemoOptionDlg(QStringLiteral("ZENT I2C DC/DC Clocking"), QStringLiteral("DC/DC Clocking"),
                     demodesign::kClocking,
                     {{QStringLiteral("&Synchronous"), demodesign::kClockingSynchronous},
                      {QStringLiteral("90 degree &Phase shifts"), demodesign::kClockingPhaseShifted}},
                     TheApp().clockingValue, parent)
{
}
