#include "ui/TovinPropertyPage.h"

#include "ui/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"

CTovinPropertyPage::CTovinPropertyPage(QWidget* parent) : QWidget(parent) {}

bool CTovinPropertyPage::OnInitDialog()
{
    if (m_port) m_port->SetHmuIndex(m_deviceIndex);
    return true;
}

bool CTovinPropertyPage::OnSetActive()
{
    if (m_port) m_port->SetHmuIndex(m_deviceIndex);
    if (m_activations > 1) DataToControls();
    return true;
}

void CTovinPropertyPage::Activate()
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    ++m_activations;
    OnSetActive();
}

void CTovinPropertyPage::ReportAcknowledgeFailure()
{
    ::ReportAcknowledgeFailure(this, m_port);
}

void ShowAcknowledgeFailure(QWidget* parent)
{
    ShowExclamation(parent, QStringLiteral("Check Cable Connection or Device Address"),
                    QStringLiteral("I2C Acknowledge Failure"));
}

bool ReportAcknowledgeFailure(QWidget* parent, CTovin_I2C_Port* port)
{
    if (port == nullptr || port->GetError() != CTovin_I2C_Port::kErrorAck) return false;
    ShowAcknowledgeFailure(parent);
    port->ClearError();
    return true;
}
