#pragma once
// "ZENT I2C Margining": margins the board's supplies to +5 %, normal or -5 %
// (main-device register 0, bits 1..0).

#include "demo/DemoOptionDlg.h"

class CAppServices;

class CTovinTrimMarginDlg : public CDemoOptionDlg {
    Q_OBJECT
public:
    explicit CTovinTrimMarginDlg(CAppServices& services, QWidget* parent = nullptr);
};
