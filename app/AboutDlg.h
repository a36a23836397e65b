#pragma once

#include "ui/TovinDialog.h"

class QLabel;

class CAboutDlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QString ProductLine() const;

private:
    QLabel* m_product;
};
