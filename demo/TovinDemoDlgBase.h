#pragma once
// What the three demonstration dialogs share: the title with its subtitle,
// the "Steps" and "Observations" text boxes across the top, the power
// network chart at the lower left, the demonstration's settings at the lower
// right, and "Done". The chart reads the board once when the dialog opens
// and then every second until the dialog closes.

#include <QString>
#include <functional>

#include "ui/TovinDialog.h"
#include "demo/DemoTexts.h"

class CPowerNetworkChart;
class CAppServices;
class CTovin_I2C_Port;
class QPushButton;
class QTextEdit;
class QVBoxLayout;

class CTovinDemoDlgBase : public CTovinDialog {
    Q_OBJECT
public:
    static constexpr double kLargeFontZoom = 1.5;

    explicit CTovinDemoDlgBase(CAppServices& services, QWidget* parent = nullptr);
    ~CTovinDemoDlgBase() override;

    // Set by the main window before the dialog runs.
    void SetSubtitle(const QString& subtitle) { m_subtitle = subtitle; }
    QString Subtitle() const { return m_subtitle; }

    // Put one of the instruction texts into a box; the box is zoomed to 150 %
    // with the large UI font. A text that does not exist leaves the box as it is.
    void LoadSteps(DemoText text);
    void LoadObservations(DemoText text);

    CPowerNetworkChart& Chart() const { return *m_chart; }
    QTextEdit* StepsBox() const { return m_steps; }
    QTextEdit* ObservationsBox() const { return m_observations; }
    QPushButton* DoneButton() const { return m_done; }

    void done(int result) override;

protected:
    // Where the demonstration puts its settings, above "Done".
    QVBoxLayout* SettingsColumn() const { return m_settings; }
    CAppServices& App() const { return m_app; }
    CTovin_I2C_Port& Port() const;

    // Runs once, when the dialog is first shown; demonstrations call
    // BaseOpening at their own point of it.
    void OnInitDialog() override { BaseOpening(); }
    // The title, one chart refresh, then the chart's timer.
    void BaseOpening();
    // Runs once, when the dialog ends (whichever way), while it is still whole.
    virtual void OnClosing() {}
    // A handler's device sequence in one cable lock; then, with the lock
    // released, the program's acknowledge-failure message when the main
    // device did not answer. Gives whether it answered.
    bool RunSequence(const std::function<bool()>& sequence);


private:
    void LoadText(QTextEdit* box, DemoText text);

    CAppServices& m_app;
    QString m_subtitle;
    QTextEdit* m_steps;
    QTextEdit* m_observations;
    CPowerNetworkChart* m_chart;
    QVBoxLayout* m_settings;
    QPushButton* m_done;
    bool m_closed = false;
};
