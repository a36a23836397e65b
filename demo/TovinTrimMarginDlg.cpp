#include "demo/TovinTrimMarginDlg.h"

#include "ui/AppServices.h"

CTovinTrimMarginDlg::CTovinTrimMarginDlg(CAppServices& services, QWidget* parent)
    : CDemoOptionDlg(QStringLiteral("ZENT I2C Margining"), QStringLiteral("Margining"), demodesign::kMargin,
                     {{QStringLiteral("+5%"), demodesign::kMarginPlus5},
                      {QStringLiteral("Normal"), demodesign::kMarginNormal},
                      {QStringLiteral("-5%"), demodesign::kMarginMinus5}},
                     services.Port(), services.Remembered().marginingValue, parent)
{
}
