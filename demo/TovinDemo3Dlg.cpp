#include "demo/TovinDemo3Dlg.h"

#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/UserInteraction.h"
#include "demo/PowerNetworkChart.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/DemoDesign.h"
#include "device/blocks/FaultLog.h"
#include "link/CableLock.h"

namespace {

// A check in progress, in this or any other fault logging dialog: while its
// message box is up, the expiries that come meanwhile do nothing.
bool g_checking = false;

}  // namespace

CTovinDemo3Dlg::CTovinDemo3Dlg(CAppServices& services, QWidget* parent)
    : CTovinDemoDlgBase(services, parent), m_timer([this] { OnCheckTimer(); }, this)
{
    auto* group = new QGroupBox(QStringLiteral("Control Plane Management"), this);
    m_faultLog = new QPushButton(QStringLiteral("Read &Fault Log Mem"), group);
    m_faultLog->setAutoDefault(false);
    connect(m_faultLog, &QPushButton::clicked, this, &CTovinDemo3Dlg::OnReadFaultLog);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(m_faultLog);
    SettingsColumn()->addWidget(group);
}

void CTovinDemo3Dlg::OnInitDialog()
{
    RunSequence([this] {
        BaseOpening();
        LoadSteps(DemoText::StepsFaultLogging);
        LoadObservations(DemoText::ObservationsFaultLogging);
        return demodesign::WriteField(Port(), demodesign::kFaultLogging, 1);
    });
    m_timer.Start(kCheckPeriod);
}

void CTovinDemo3Dlg::OnClosing()
{
    m_timer.Stop();
    CCableLock lock;
    demodesign::WriteField(Port(), demodesign::kFaultLogging, 0);
}

void CTovinDemo3Dlg::OnCheckTimer()
{
    if (g_checking) return;
    g_checking = true;
    bool full = false;
    {
        CCableLock lock;
        Port().SetHmuIndex(0);
        full = faultlog::IsMemoryFull(Port());
    }
    if (full) {
        ShowExclamation(this, QStringLiteral("Fault Log EEPROM is full.\nUse Read Fault Log Mem dialog to erase all faults."));
        // Said once per opening.
        m_timer.Stop();
    }
    g_checking = false;
}

void CTovinDemo3Dlg::OnReadFaultLog()
{
    Chart().StopTimer();
    if (m_faultLogCommand) m_faultLogCommand();
    Chart().StartTimer(CPowerNetworkChart::kTimerPeriod);
}
