#include "demo/DemoDialogSupport.h"

#include "app/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"

namespace demo {

void ReportMainFailure(QWidget* parent, CTovin_I2C_Port& port, bool answered)
{
    if (answered) return;
    ShowExclamation(parent, QStringLiteral("Check Cable Connection or Device Address"),
                    QStringLiteral("I2C Acknowledge Failure"));
    port.ClearError();
}

}  // namespace demo
