#include "ui/TovinDialog.h"

#include "ui/FontOccManager.h"
#include "ui/UserInteraction.h"

CTovinDialog::CTovinDialog(QWidget* parent) : QDialog(parent)
{
    CFontOccManager::Apply(this);
}

int CTovinDialog::DoModal()
{
    return Ui().RunModal(*this);
}

void CTovinDialog::showEvent(QShowEvent* event)
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CTovinDialog::accept()
{
    done(kIdOk);
}

void CTovinDialog::reject()
{
    done(kIdCancel);
}
