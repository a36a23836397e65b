#include "demo/TovinTrimMarginDlg.h"

#include "app/TovinAppContext.h"

CTovinTrimMarginDlg::CTovinTrimMarginDlg(QWidget* parent)
    : CDemoOptionDlg(QStringLiteral("ZENT I2C Margining"), QStringLiteral("Margining"), demodesign::kMargin,
                     {{QStringLiteral("+5%"), demodesign::kMarginPlus5},
                      {QStringLiteral("Normal"), demodesign::kMarginNormal},
                      {QStringLiteral("-5%"), demodesign::kMarginMinus5}},
                     TheApp().marginingValue, parent)
{
}
