#include "demo/DemoDialogSupport.h"

#include "ui/TovinPropertyPage.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"

namespace demo {

bool RunMainSequence(QWidget* parent, CTovin_I2C_Port& port, const std::function<bool()>& sequence)
{
    bool answered = false;
    {
        CCableLock lock;
        answered = sequence();
    }
    if (!answered) {
        ShowAcknowledgeFailure(parent);
        port.ClearError();
    }
    return answered;
}

}  // namespace demo
