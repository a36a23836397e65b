#pragma once
// "ZENT I2C DC/DC Clocking": runs the board's DC-DC converters synchronously
// or with 90 degree phase shifts (main-device register 1, bit 1).

#include "demo/DemoOptionDlg.h"

class CAppServices;

class CTovinDCDCClockingDlg : public CDemoOptionDlg {
    Q_OBJECT
public:
    explicit CTovinDCDCClockingDlg(CAppServices& services, QWidget* parent = nullptr);
};
