#pragma once
// The program's only top-level window: a launcher. Each command first checks
// that the hardware it needs answers, then opens its window. It ends with
// kIdCancel for Exit and 333 for "Large GUI", after which the application
// builds a fresh one with the other font.

#include <QIcon>
#include <QPointer>
#include <QPoint>
#include <QSize>

#include "ui/TovinDialog.h"

class QAction;
class QMenuBar;
class QPushButton;
class CTovinAppContext;

class CTovinMainDlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CTovinMainDlg(QWidget* parent = nullptr);

    // The checks: true to go on; false after a message has been shown.
    bool CheckConnection();
    bool CheckDemoHmus();
    bool CheckDemoDesign();

    // Where the icon of a minimized window is drawn in its client area.
    static QPoint MinimizedIconPosition(QSize client, QSize icon);

    QPushButton* Button(const QString& text) const;
    QAction* Action(const QString& text) const;
    QAction* LargeGuiAction() const { return m_largeGui; }
    QMenuBar* MenuBar() const { return m_menuBar; }

    // Commands.
    void OnDemo1();
    void OnDemo2();
    void OnDemo3();
    void OnDcdcClocking();
    void OnMargining();
    void OnVmon();
    void OnImon();
    void OnTrimCells();
    void OnGpio();
    void OnHvout();
    void OnFaultLog();
    void OnTmon();
    void OnAllI2C();
    void OnUes();
    void OnDataLoggingSelection();
    void OnStartDataLogging();
    void OnOpenLog();
    void OnSaveConfiguration();
    void OnCompareConfiguration();
    void OnLoadConfiguration();
    void OnI2CInterface();
    void OnI2CAddress();
    void OnLargeGui();
    void OnSimulatedBoard();
    // The live table of every device (modeless, one at a time; it closes with this window).
    void OnBoardMonitor();
    QDialog* BoardMonitor() const { return m_boardMonitor; }
    void OnAbout();
    void OnExit();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* AddButton(class QLayout* layout, const QString& text, void (CTovinMainDlg::*command)());
    void BuildMenu();

    CTovinAppContext& m_app;
    QMenuBar* m_menuBar = nullptr;
    QAction* m_largeGui = nullptr;
    QIcon m_icon;
    QPointer<QDialog> m_boardMonitor;
};

// The application icon, drawn rather than loaded so the program needs no files.
QIcon ApplicationIcon();
