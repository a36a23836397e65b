#pragma once
// Chooses the upper four bits of the HMU addresses and the stored-only FPGA
// section. On OK it stores both in the application and sets the port's base.

#include "ui/TovinDialog.h"

class QComboBox;

class CTovinI2CAddressDlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CTovinI2CAddressDlg(QWidget* parent = nullptr);

    QComboBox* HmuSection() const { return m_hmu; }
    QComboBox* FpgaSection() const { return m_fpga; }

    // "0000XXX" .. "1111XXX": the entry for the four upper address bits k.
    static QString HmuSectionText(int k);

public slots:
    void accept() override;

private:
    QComboBox* m_hmu;
    QComboBox* m_fpga;
};
