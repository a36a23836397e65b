#pragma once
// The Trend window: the values of a log as plots over time, one chart per
// kind of quantity (volts, amperes, degrees Celsius, and pin states as step
// lines, one lane per channel), with a legend of devices and channels where
// each series is shown or hidden, zoom and pan with the mouse (the time range
// of all charts moves together; value axes follow what is in view), and the
// view exported as PNG and the values as CSV.
//
// It shows a log file ("Open Log..." in the main window), or the records of
// a logging run as they are written.

#include <QString>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "ui/TovinDialog.h"
#include "logging/LogReader.h"
#include "logging/LogWriter.h"
#include "logging/TrendGeometry.h"

class QCategoryAxis;
class QChart;
class QImage;
class QLabel;
class QLineSeries;
class QPushButton;
class QSplitter;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;
class CTrendChartView;
class CTrendPanes;

class CTovinTrendDlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CTovinTrendDlg(QWidget* parent = nullptr);
    ~CTovinTrendDlg() override;

    // Reads the log and shows it. False, after telling the user why, when
    // nothing could be read; lines that were skipped are reported too. A
    // long read shows its progress, and False without a word when the user
    // cancels it.
    bool OpenFile(const QString& path);

    // Follows a logging run: what its file holds so far, then each record
    // through AddRecord, until EndLive. False, after telling the user why,
    // when the file cannot be read.
    bool FollowLog(const QString& path);
    void EndLive();
    // Starts showing a logging run from its header alone (its records come
    // through AddRecord); whatever was shown before is dropped.
    void StartLive(const logread::LogInfo& info, const QString& logPath);
    struct Value {
        int device = 0;
        int channel = 0;
        double value = 0.0;
        int decimals = 3;  // as the log writes it
    };
    // A record as it is written. The charts follow after the caller is done,
    // so that a logging timer is never held up by the drawing.
    void AddRecord(int record, const std::vector<Value>& values);
    // As the logger wrote it: pin states without decimals, other values with three.
    void AddRecord(const LogRecord& record);
    bool IsLive() const { return m_live; }

    const logread::CLogData& Data() const { return m_data; }
    // Series shown or hidden, as with the legend's check boxes.
    bool IsShown(int device, int channel) const;
    void SetShown(int device, int channel, bool shown);
    // The plotted points of a channel (x: milliseconds since 1970 in local
    // time; for pin states the lane's step line); empty when hidden.
    std::vector<trend::Point> PlottedPoints(int device, int channel) const;
    bool ChartShown(logread::Quantity quantity) const;
    QChart* Chart(logread::Quantity quantity) const;
    trend::Range ValueAxisRange(logread::Quantity quantity) const;
    // The value labels' format, with the unit: "%.2f V".
    QString ValueAxisFormat(logread::Quantity quantity) const;
    // What the pointer over a chart at `time` reads: the time, then each
    // shown line of that chart by its legend name with its value at the last
    // record at or before that time ("---" where that record has none), one a line.
    QString Readout(logread::Quantity quantity, double time) const;
    // The line above the charts in an exported image: the log, the devices
    // shown and the time of its first and last record, or when zoomed in the
    // times at the ends of the span shown.
    QString ExportTitle() const;
    // The lane labels of the state chart, top lane first.
    QStringList LaneLabels() const;

    // Time ranges in milliseconds since 1970, local time.
    trend::Range TimeRange() const { return m_view; }
    trend::Range WholeTimeRange() const;
    void SetTimeRange(trend::Range range);
    void ZoomAt(double anchor, double factor);
    // The time labels' format: with milliseconds when ticks are closer than a
    // second, without seconds from a minute apart, with dates over a day.
    QString TimeAxisFormat() const;
    void Pan(double fraction);
    void ResetZoom();
    // Milliseconds of record n on the time axis.
    double RecordTime(int record) const
    {
        return m_start + static_cast<double>(m_data.RecordSeconds(record)) * 1000.0;
    }

    void ExportPng();
    void ExportCsv();
    bool SaveCsv(const QString& path, QString& error) const;
    bool SavePng(const QString& path, QString& error);

    // Brings the charts up to date now rather than after the caller is done.
    void UpdateCharts();

    QString InfoText() const;
    QTreeWidget* Legend() const { return m_legend; }
    QPushButton* ResetButton() const { return m_reset; }
    CTrendChartView* ChartView(logread::Quantity quantity) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Trace;

    void Clear();
    // Shows what m_data holds, the log of `path`: read, or being written.
    void Load(const QString& path);
    // The trace of a channel, made when its first value comes.
    Trace& TraceOf(int device, int channel);
    Trace* FindTrace(int device, int channel) const;
    QTreeWidgetItem* DeviceItem(int device);
    void OnItemChanged(QTreeWidgetItem* item);
    void ScheduleUpdate();
    void FollowData();
    void ApplyTimeRange();
    // The charts' image with the title above and the names and colours of the lines beside it.
    QImage WithLegend(const QImage& charts) const;
    // The records of m_data in `view`, with one more at each end, as indexes.
    std::pair<size_t, size_t> ViewIndexes(trend::Range view) const;
    // What a trace's lines are to show now (trace.points).
    void Decimate(Trace& trace);
    // The trace's lines from trace.points.
    void FillLine(Trace& trace);
    // The records a logging run added, into trace.points of a line drawn whole.
    bool ExtendPoints(Trace& trace);
    // The trace's line of a run between gaps, made when first needed.
    QLineSeries* LineOf(Trace& trace, size_t segment);
    void AssignLanes();
    void ArrangePanes();
    void AlignPlots();
    void UpdateValueAxes();
    void UpdateInfo();
    QString DefaultExportPath(const QString& extension) const;
    // The file the user chooses to export to, with the extension when none was given.
    QString ChooseExportPath(const QString& caption, const QString& extension, const QString& filter);

    logread::CLogData m_data;
    QString m_path;
    bool m_live = false;
    double m_start = 0.0;       // milliseconds of the first record's time
    bool m_startKnown = false;  // else the time axis shows the time since the first record
    trend::Range m_view;
    bool m_zoomed = false;  // else the view follows the data
    bool m_building = false;
    QStringList m_messages;  // what the reader skipped

    std::unique_ptr<CTrendPanes> m_panes;
    std::vector<std::unique_ptr<Trace>> m_traces;
    std::array<Trace*, logread::kDevices * logread::kChannels> m_traceOf{};
    std::array<QTreeWidgetItem*, logread::kDevices> m_deviceItems{};
    int m_lanes = 0;
    int m_arrangedLanes = -1;

    QTreeWidget* m_legend;
    QSplitter* m_charts;
    QLabel* m_info;
    QPushButton* m_reset;
    QPushButton* m_exportPng;
    QPushButton* m_exportCsv;
    QTimer* m_updateTimer;
    QTimer* m_alignTimer;
};
