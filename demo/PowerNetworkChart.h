#pragma once
// The "Power Network Window" of the demonstrations: a one-line diagram of the
// board's supply network, a source "+5V (USB)" on a vertical bus with six rail
// boxes (POT1..POT4, DC-DC4, DC-DC8), each showing its measured voltage,
// green when good, red in fault and grey when the rail is not part of the
// demonstration. It reads the devices once a second on its own timer, a
// rail or two per event-loop turn (demodesign::CNetworkRefresh), each step
// under a cable lock of its own, so that a slow cable never holds the window
// for a whole refresh.
//
// The owning dialog takes rails out (state 2) and brings them back (state 1);
// the chart never sets a rail to 2 nor touches one that is at 2.

#include <QFrame>
#include <QString>
#include <array>
#include <optional>

#include "demo/UiTimer.h"
#include "device/blocks/DemoDesign.h"

class CTovin_I2C_Port;

class CPowerNetworkChart : public QFrame {
    Q_OBJECT
public:
    static constexpr int kRails = demodesign::kNetworkRails;
    static constexpr int kTimerPeriod = 1000;  // milliseconds

    struct Rect {
        int left = 0, top = 0, right = 0, bottom = 0;
        bool operator==(const Rect&) const = default;
    };
    struct Line {
        int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        bool operator==(const Line&) const = default;
    };
    // Where everything is drawn in a control of this size: W = width / 14
    // and H = height / 23 (whole pixels), and all positions in steps of them.
    struct Geometry {
        int w = 0, h = 0;
        Rect source;       // the source label
        Line underSource;  // the line under the label, to the bus
        Line bus;
        std::array<Line, kRails> branches{};
        std::array<Rect, kRails> boxes{};
    };
    static Geometry Layout(int width, int height);

    explicit CPowerNetworkChart(QWidget* parent = nullptr);

    void SetPort(CTovin_I2C_Port* port) { m_port = port; }

    // Rail i (0..5): 2 takes it out of the demonstration, 1 brings it back
    // (its real state comes with the next refresh).
    void SetRailState(int rail, int state);
    int RailState(int rail) const;
    float RailVolts(int rail) const;

    // Reads the devices inside one cable lock and redraws when a rail is in use.
    void Refresh();
    // Whether a timer's refresh is part-way through its steps.
    bool RefreshPending() const { return m_pass.has_value(); }
    void StartTimer(int milliseconds);
    void StopTimer();
    bool IsTimerActive() const { return m_timer.IsActive(); }

    // What box i shows: its fill, its text and the text's colour.
    QColor RailFill(int rail) const;
    QString RailText(int rail) const;
    QColor RailTextColour(int rail) const;
    static QString RailName(int rail);
    static QString SourceLabel() { return QStringLiteral("+5V (USB)"); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void BeginPass();
    void StepPass();

    CTovin_I2C_Port* m_port = nullptr;
    demodesign::Network m_network;
    CUiTimer m_timer;
    // The timer's refresh in progress, stepped by a zero-period timer: each
    // expiry is one turn of the event loop (or one expiry of a virtual clock).
    std::optional<demodesign::CNetworkRefresh> m_pass;
    CUiTimer m_step;
};
