#include "logview/TovinTrendDlg.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "ui/UserInteraction.h"
#include "logging/LogCsv.h"
#include "logview/TrendChartView.h"
#include "logview/TrendPanes.h"

using logread::Quantity;

namespace {

const char* const kTitle = "ZENT I2C Trend";

// A channel is shown at first when it belongs to the log's first device, or
// when the whole log has no more channels than one device can have.
constexpr size_t kShowAllUpTo = logread::kChannels;
// Messages about skipped lines list this many; the info line's tip all.
constexpr int kMessagesShown = 10;
constexpr double kMinimumSpanMs = 1000.0;

// Distinct colours, in the order series of one chart get them.
const QColor kPalette[] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
    QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
    QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf), QColor(0x39, 0x3b, 0x79), QColor(0xad, 0x49, 0x4a),
    QColor(0x00, 0x00, 0x00), QColor(0x63, 0x79, 0x39), QColor(0x8c, 0x6d, 0x31), QColor(0x7b, 0x41, 0x73),
};
// With more lines in a chart than colours: the colours again, in these styles.
const Qt::PenStyle kDashes[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};


// Qt Charts hands the label format to printf through toLatin1(), and printf
// reads UTF-8: the unit goes in as its UTF-8 bytes ("\u00B0C").

// A channel with its device, as the window names it: "HMU0 HVMON".
QString SeriesLabel(int device, int channel)
{
    return QStringLiteral("HMU%1 %2").arg(device).arg(QString::fromLatin1(logsel::ChannelLabel(channel)));
}

QIcon Swatch(const QColor& colour, int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(1, side / 2 - 2, side - 2, 4), colour);
    return QIcon(pixmap);
}

constexpr int kProgressSteps = 1000;
// Values of a log whose memory is given back when its window closes.
constexpr size_t kLargeLogValues = 2'000'000;

// The pixel columns of a chart's plot (of its view before it is laid out).
int PixelColumns(const CTrendPanes::Pane& pane)
{
    const double plot = pane.chart->plotArea().width();
    return std::max(200, plot > 0 ? static_cast<int>(std::ceil(plot)) : pane.view->width());
}

// Above this many lines in a chart, they are drawn without antialiasing.
constexpr int kAntialiasedLines = 32;

// A decimated line of values keeps its samples by columns this many pixels
// wide: each column's lowest and highest still show every spike, and with
// every channel shown Qt Charts' work on each point is what a zoom step costs.
constexpr int kColumnPixels = 2;

// Of each column of a decimated line, the samples on its lowest and its
// highest pixel row, in their order: the line from one to the other covers
// every row the samples between would. The first and the last sample of a
// run between gaps stay as well, so that a line ends where its values do.
// `row` and `column` give a sample's pixel row and column.
template <class Row, class Column>
std::vector<trend::Point> ColumnExtremes(const std::vector<trend::Point>& points, Row&& row, Column&& column)
{
    std::vector<trend::Point> kept;
    kept.reserve(points.size());
    for (size_t k = 0; k < points.size();) {
        if (std::isnan(points[k].y)) {
            kept.push_back(points[k++]);
            continue;
        }
        const double at = column(points[k].x);
        const bool runStarts = k == 0 || std::isnan(points[k - 1].y);
        size_t low = k, high = k, end = k;
        double lowRow = row(points[k].y), highRow = lowRow;
        for (; end < points.size() && !std::isnan(points[end].y) && column(points[end].x) == at; ++end) {
            const double r = row(points[end].y);
            if (r < lowRow) {
                lowRow = r;
                low = end;
            } else if (r > highRow) {
                highRow = r;
                high = end;
            }
        }
        const bool runEnds = end == points.size() || std::isnan(points[end].y);
        size_t in[4] = {runStarts ? k : std::min(low, high), std::min(low, high), std::max(low, high),
                        runEnds ? end - 1 : std::max(low, high)};
        for (size_t i = 0; i < 4; ++i)
            if (i == 0 || in[i] != in[i - 1]) kept.push_back(points[in[i]]);
        k = end;
    }
    return kept;
}

// The points of `points` (rising x, NaN y for gaps) whose x lies in `view`,
// with the neighbour just outside each end, as indexes [first, end).
std::pair<size_t, size_t> NearView(const std::vector<trend::Point>& points, trend::Range view)
{
    auto first = std::lower_bound(points.begin(), points.end(), view.min,
                                  [](const trend::Point& p, double v) { return p.x < v; });
    auto end = std::upper_bound(points.begin(), points.end(), view.max,
                                [](double v, const trend::Point& p) { return v < p.x; });
    if (first != points.begin()) --first;
    if (end != points.end()) ++end;
    return {static_cast<size_t>(first - points.begin()), static_cast<size_t>(end - points.begin())};
}

double LocalMs(const logread::LogDateTime& t)
{
    return static_cast<double>(
        QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second)).toMSecsSinceEpoch());
}

}  // namespace


struct CTovinTrendDlg::Trace {
    int device = 0;
    int channel = 0;
    Quantity quantity = Quantity::Volts;
    QColor colour;
    Qt::PenStyle dash = Qt::SolidLine;
    QTreeWidgetItem* item = nullptr;
    // The line, made when first shown, and one more for each gap in what is
    // drawn: Qt Charts draws a line through every point it is given.
    std::vector<QLineSeries*> lines;
    size_t linesUsed = 0;
    bool shown = false;
    bool decided = false;  // shown or hidden at first already
    int lane = -1;
    // What the lines show: the samples (time, value; NaN for a gap) kept
    // for the records up to `plotted`, all of them or a decimated choice
    // made for `filledView`. The values stay with the log's data.
    std::vector<trend::Point> points;
    std::vector<trend::Block> blocks;  // of the values, for decimating
    size_t plotted = 0;
    size_t span = 0;  // the series' Span() then: records after it had no value yet
    bool thinned = false;
    int columns = 0;  // those of the decimation
    trend::Range filledView;
    bool dirty = true;     // trace.points to be made again
    bool relaned = false;  // the same points, in another lane
};

CTovinTrendDlg::CTovinTrendDlg(QWidget* parent)
    : CTovinDialog(parent),
      m_legend(new QTreeWidget(this)),
      m_charts(new QSplitter(Qt::Vertical, this)),
      m_info(new QLabel(this)),
      m_reset(new QPushButton(QStringLiteral("Reset &Zoom"), this)),
      m_exportPng(new QPushButton(QStringLiteral("Export &PNG..."), this)),
      m_exportCsv(new QPushButton(QStringLiteral("Export C&SV..."), this)),
      m_updateTimer(new QTimer(this)),
      m_alignTimer(new QTimer(this))
{
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    m_legend->setHeaderHidden(true);
    m_legend->setColumnCount(1);
    m_legend->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("MHMU0 TMON int")) + 60);
    m_legend->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    m_legend->setToolTip(QStringLiteral("Tick a channel to plot it"));
    connect(m_legend, &QTreeWidget::itemChanged, this, &CTovinTrendDlg::OnItemChanged);

    m_panes = std::make_unique<CTrendPanes>(*this, *m_charts);
    for (auto& pane : m_panes->All()) {
        connect(pane->view, &CTrendChartView::ZoomRequested, this, &CTovinTrendDlg::ZoomAt);
        connect(pane->view, &CTrendChartView::PanRequested, this, &CTovinTrendDlg::Pan);
        connect(pane->view, &CTrendChartView::ResetRequested, this, &CTovinTrendDlg::ResetZoom);
        connect(pane->view, &CTrendChartView::Resized, this, [this] { m_alignTimer->start(); });
        const Quantity quantity = pane->quantity;
        CTrendChartView* view = pane->view;
        connect(view, &CTrendChartView::Hovered, this, [this, quantity, view](double fraction) {
            QToolTip::showText(QCursor::pos(), Readout(quantity, m_view.min + fraction * m_view.Span()), view);
        });
        connect(pane->view, &CTrendChartView::RangeSelected, this, [this](double from, double to) {
            SetTimeRange({m_view.min + from * m_view.Span(), m_view.min + to * m_view.Span()});
        });
    }

    m_info->setWordWrap(true);
    m_info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    for (QPushButton* b : {m_reset, m_exportPng, m_exportCsv, close}) b->setAutoDefault(false);
    connect(m_reset, &QPushButton::clicked, this, &CTovinTrendDlg::ResetZoom);
    connect(m_exportPng, &QPushButton::clicked, this, &CTovinTrendDlg::ExportPng);
    connect(m_exportCsv, &QPushButton::clicked, this, &CTovinTrendDlg::ExportCsv);
    connect(close, &QPushButton::clicked, this, &CTovinTrendDlg::reject);

    auto* body = new QSplitter(Qt::Horizontal, this);
    body->addWidget(m_legend);
    body->addWidget(m_charts);
    body->setStretchFactor(0, 0);
    body->setStretchFactor(1, 1);
    body->setCollapsible(1, false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_reset);
    buttons->addWidget(m_exportPng);
    buttons->addWidget(m_exportCsv);
    auto* hint = new QLabel(QStringLiteral("Wheel or drag: zoom; right drag: move; double click: all"), this);
    hint->setEnabled(false);
    buttons->addWidget(hint, 1, Qt::AlignCenter);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_info);
    layout->addWidget(body, 1);
    layout->addLayout(buttons);

    m_alignTimer->setSingleShot(true);
    m_alignTimer->setInterval(0);
    connect(m_alignTimer, &QTimer::timeout, this, [this] {
        UpdateValueAxes();
        AlignPlots();
    });
    m_updateTimer->setSingleShot(true);
    m_updateTimer->setInterval(0);
    connect(m_updateTimer, &QTimer::timeout, this, &CTovinTrendDlg::UpdateCharts);

    // Room for the charts, within the screen.
    QSize size(1180, 700);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 60));
    resize(size.expandedTo(minimumSizeHint()));
    UpdateInfo();
}

CTovinTrendDlg::~CTovinTrendDlg()
{
    // A day of logging is a few hundred megabytes: given back to the system
    // when the window closes, not kept by the allocator for later. A small
    // log's memory is left to be used again: giving it back costs the next
    // window as much as it saves.
    const bool large = m_data.ValueCount() > kLargeLogValues;
    Clear();
    m_data = logread::CLogData{};
#ifdef __GLIBC__
    // Qt Charts deletes the items of the lines later, from the event loop.
    if (large) QTimer::singleShot(0, QCoreApplication::instance(), [] { malloc_trim(0); });
#else
    (void)large;
#endif
}

void CTovinTrendDlg::Clear()
{
    for (auto& pane : m_panes->All()) {
        pane->chart->removeAllSeries();
        pane->colours = 0;
        pane->view->setVisible(false);
    }
    m_building = true;
    m_legend->clear();
    m_building = false;
    m_traces.clear();
    m_traceOf.fill(nullptr);
    m_deviceItems.fill(nullptr);
    m_lanes = 0;
    m_data = logread::CLogData{};
    m_messages.clear();
    m_zoomed = false;
    m_live = false;
}

bool CTovinTrendDlg::FollowLog(const QString& path)
{
    if (!OpenFile(path)) return false;
    m_live = true;
    UpdateInfo();
    return true;
}

void CTovinTrendDlg::EndLive()
{
    m_live = false;
    UpdateInfo();
}

bool CTovinTrendDlg::OpenFile(const QString& path)
{
    // A long log takes a while: a wait cursor, and after half a second a
    // progress bar with Cancel. The window goes on being drawn meanwhile.
    QWidget* owner = parentWidget() ? parentWidget() : this;
    QProgressDialog progress(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()),
                             QStringLiteral("Cancel"), 0, kProgressSteps, owner);
    progress.setWindowTitle(QString::fromLatin1(kTitle));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setValue(0);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    logread::LogReadResult result =
        logread::ReadLogFile(QFile::encodeName(path).toStdString(), [&progress](uint64_t done, uint64_t total) {
            if (total > 0)
                progress.setValue(static_cast<int>(std::min<uint64_t>(done * kProgressSteps / total, kProgressSteps - 1)));
            // Until the progress bar shows (it blocks the other windows), no input: only drawing.
            QCoreApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                                 : QEventLoop::ExcludeUserInputEvents);
            return !progress.wasCanceled();
        });
    QGuiApplication::restoreOverrideCursor();
    progress.reset();
    if (result.cancelled) return false;
    if (!result.ok) {
        ShowExclamation(this, QString::fromStdString(result.error));
        return false;
    }
    Clear();
    for (const std::string& message : result.Messages()) m_messages << QString::fromStdString(message);
    m_data = std::move(result.data);
    Load(path);
    if (!m_messages.isEmpty()) {
        QStringList shown = m_messages.mid(0, kMessagesShown);
        if (m_messages.size() > kMessagesShown) shown << QStringLiteral("...");
        ShowExclamation(this, QStringLiteral("%1 is read, but not all of it:\n\n%2")
                                  .arg(QFileInfo(path).fileName(), shown.join(QLatin1Char('\n'))));
    }
    return true;
}

void CTovinTrendDlg::Load(const QString& path)
{
    m_path = path;
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromLatin1(kTitle), QFileInfo(path).fileName()));
    const logread::LogInfo& info = m_data.info;
    m_startKnown = info.start.has_value();
    m_start = m_startKnown ? LocalMs(logread::AddSeconds(*info.start, 0)) : LocalMs({2000, 1, 1, 0, 0, 0});
    for (const logread::LogSeries& series : m_data.Series()) TraceOf(series.device, series.channel);
    UpdateCharts();
}

void CTovinTrendDlg::StartLive(const logread::LogInfo& info, const QString& logPath)
{
    Clear();
    m_live = true;
    m_data.info = info;
    Load(logPath);
}

void CTovinTrendDlg::AddRecord(const LogRecord& record)
{
    std::vector<Value> values;
    for (const LogDeviceBlock& block : record.devices)
        for (const LogValue& v : block.values)
            values.push_back({v.device, v.channel, v.value, logread::QuantityOf(v.channel) == Quantity::State ? 0 : 3});
    AddRecord(record.number, values);
}

void CTovinTrendDlg::AddRecord(int record, const std::vector<Value>& values)
{
    // A record between others moves the samples after it.
    if (!m_data.Records().empty() && record < m_data.Records().back())
        for (const auto& trace : m_traces) trace->blocks.clear();
    m_data.AddRecord(record);
    for (const Value& v : values)
        if (m_data.Add(record, v.device, v.channel, v.value, v.decimals)) TraceOf(v.device, v.channel);
    ScheduleUpdate();
}

CTovinTrendDlg::Trace& CTovinTrendDlg::TraceOf(int device, int channel)
{
    Trace*& slot = m_traceOf[static_cast<size_t>(device * logread::kChannels + channel)];
    if (slot) return *slot;
    auto trace = std::make_unique<Trace>();
    trace->device = device;
    trace->channel = channel;
    trace->quantity = logread::QuantityOf(channel);
    CTrendPanes::Pane& pane = m_panes->At(trace->quantity);
    // Once the colours run out, the next round of them is dashed.
    const size_t pen = static_cast<size_t>(pane.colours++);
    trace->colour = kPalette[pen % std::size(kPalette)];
    trace->dash = kDashes[pen / std::size(kPalette) % std::size(kDashes)];

    QTreeWidgetItem* parent = DeviceItem(device);
    auto* item = new QTreeWidgetItem;
    item->setText(0, QString::fromLatin1(logsel::ChannelLabel(channel)));
    // The window's name for the line, and where the log has it.
    item->setToolTip(0, QStringLiteral("%1 (%2 in the log)")
                            .arg(SeriesLabel(device, channel), QString::fromStdString(LogValueName(device, channel))));
    item->setIcon(0, Swatch(trace->colour, fontMetrics().height()));
    item->setData(0, Qt::UserRole, device * logread::kChannels + channel);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    int at = 0;
    const int key = device * logread::kChannels + channel;
    while (at < parent->childCount() && parent->child(at)->data(0, Qt::UserRole).toInt() < key)
        ++at;
    m_building = true;
    item->setCheckState(0, Qt::Unchecked);
    parent->insertChild(at, item);
    m_building = false;
    trace->item = item;

    // Kept in device and channel order, the order of the lanes.
    const auto place = std::lower_bound(m_traces.begin(), m_traces.end(), trace, [](const auto& a, const auto& b) {
        return a->device * logread::kChannels + a->channel < b->device * logread::kChannels + b->channel;
    });
    slot = trace.get();
    m_traces.insert(place, std::move(trace));
    return *slot;
}

CTovinTrendDlg::Trace* CTovinTrendDlg::FindTrace(int device, int channel) const
{
    if (device < 0 || device >= logread::kDevices || channel < 0 || channel >= logread::kChannels) return nullptr;
    return m_traceOf[static_cast<size_t>(device * logread::kChannels + channel)];
}

QTreeWidgetItem* CTovinTrendDlg::DeviceItem(int device)
{
    QTreeWidgetItem*& item = m_deviceItems[static_cast<size_t>(device)];
    if (item) return item;
    item = new QTreeWidgetItem;
    item->setText(0, QStringLiteral("HMU%1").arg(device));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
    int at = 0;
    while (at < m_legend->topLevelItemCount() && m_legend->topLevelItem(at)->text(0) < item->text(0)) ++at;
    m_building = true;
    item->setCheckState(0, Qt::Unchecked);
    m_legend->insertTopLevelItem(at, item);
    item->setExpanded(true);
    m_building = false;
    return item;
}

void CTovinTrendDlg::OnItemChanged(QTreeWidgetItem* item)
{
    if (m_building || item->parent() == nullptr) return;
    const int key = item->data(0, Qt::UserRole).toInt();
    Trace* trace = FindTrace(key / logread::kChannels, key % logread::kChannels);
    if (trace == nullptr) return;
    const bool shown = item->checkState(0) == Qt::Checked;
    if (trace->shown == shown) return;
    trace->shown = shown;
    ScheduleUpdate();
}

bool CTovinTrendDlg::IsShown(int device, int channel) const
{
    const Trace* trace = FindTrace(device, channel);
    return trace && trace->shown;
}

void CTovinTrendDlg::SetShown(int device, int channel, bool shown)
{
    if (Trace* trace = FindTrace(device, channel)) {
        trace->decided = true;
        trace->item->setCheckState(0, shown ? Qt::Checked : Qt::Unchecked);
    }
}

void CTovinTrendDlg::ScheduleUpdate()
{
    if (!m_updateTimer->isActive()) m_updateTimer->start();
}

trend::Range CTovinTrendDlg::WholeTimeRange() const
{
    const std::vector<int>& records = m_data.Records();
    const double interval = 1000.0 * m_data.info.intervalSeconds.value_or(1);
    if (records.empty()) return {m_start, m_start + interval};
    trend::Range range{RecordTime(records.front()), RecordTime(records.back())};
    if (range.Span() < kMinimumSpanMs) range.max = range.min + std::max(interval, kMinimumSpanMs);
    return range;
}

void CTovinTrendDlg::SetTimeRange(trend::Range range)
{
    m_zoomed = true;
    m_view = trend::Select(range.min, range.max, WholeTimeRange(), kMinimumSpanMs);
    UpdateCharts();
}

void CTovinTrendDlg::ZoomAt(double anchor, double factor)
{
    m_zoomed = true;
    m_view = trend::Zoom(m_view, anchor, factor, WholeTimeRange(), kMinimumSpanMs);
    if (m_view == WholeTimeRange()) m_zoomed = false;
    UpdateCharts();
}

void CTovinTrendDlg::Pan(double fraction)
{
    if (!m_zoomed) return;
    m_view = trend::Pan(m_view, fraction, WholeTimeRange());
    UpdateCharts();
}

void CTovinTrendDlg::ResetZoom()
{
    m_zoomed = false;
    UpdateCharts();
}

void CTovinTrendDlg::AssignLanes()
{
    int lanes = 0;
    for (const auto& trace : m_traces)
        if (trace->shown && trace->quantity == Quantity::State) ++lanes;
    const bool relabel = lanes != m_lanes;
    int lane = 0;
    bool changed = relabel;
    for (const auto& trace : m_traces) {
        if (trace->quantity != Quantity::State) continue;
        const int now = trace->shown ? lane++ : -1;
        if (now != trace->lane || relabel) {
            trace->lane = now;
            trace->relaned = true;
            changed = true;
        }
    }
    m_lanes = lanes;
    if (!changed) return;
    // Each label changes the axis, and Qt Charts then works through every
    // point of the chart's lines: those to be laid out again go empty first.
    for (const auto& trace : m_traces)
        if (trace->relaned)
            for (size_t i = 0; i < trace->linesUsed; ++i) trace->lines[i]->clear();
    QCategoryAxis* axis = m_panes->At(Quantity::State).lanes;
    for (const QString& label : axis->categoriesLabels()) axis->remove(label);
    axis->setStartValue(trend::LaneRange(lanes).min);
    // From the bottom lane up, as the axis wants them.
    for (auto it = m_traces.rbegin(); it != m_traces.rend(); ++it) {
        const Trace& trace = **it;
        if (trace.lane < 0) continue;
        axis->append(SeriesLabel(trace.device, trace.channel),
                     trend::LaneY(trace.lane, lanes, 1.0) + (trend::kLaneHeight - 1.0) / 2);
    }
    const trend::Range range = trend::LaneRange(lanes);
    axis->setRange(range.min, range.max);
}

std::pair<size_t, size_t> CTovinTrendDlg::ViewIndexes(trend::Range view) const
{
    // The records in view, with the one just outside each end: the lines
    // run to the edges through them.
    const std::vector<int>& records = m_data.Records();
    const auto before = [&](int record, double time) { return RecordTime(record) < time; };
    const auto after = [&](double time, int record) { return time < RecordTime(record); };
    auto first = std::lower_bound(records.begin(), records.end(), view.min, before);
    auto end = std::upper_bound(records.begin(), records.end(), view.max, after);
    if (first != records.begin()) --first;
    if (end != records.end()) ++end;
    return {static_cast<size_t>(first - records.begin()), static_cast<size_t>(end - records.begin())};
}

void CTovinTrendDlg::Decimate(Trace& trace)
{
    // A short series is drawn whole, whatever is in view; a long one from
    // what is in view, a few samples a pixel column.
    trace.points.clear();
    const logread::LogSeries* series = m_data.Find(trace.device, trace.channel);
    if (series == nullptr) return;
    const std::vector<int>& records = m_data.Records();
    const size_t span = series->Span();
    const CTrendPanes::Pane& pane = m_panes->At(trace.quantity);
    const int pixels = PixelColumns(pane);
    trace.thinned = span > static_cast<size_t>(pixels) * 2;
    const int columns = trace.quantity == Quantity::State ? pixels : std::max(1, pixels / kColumnPixels);
    trace.columns = columns;
    auto [first, end] = trace.thinned ? ViewIndexes(m_view) : std::pair<size_t, size_t>{0, span};
    end = std::min(end, span);
    const auto x = [&](size_t i) { return RecordTime(records[i]); };
    const auto y = [&](size_t i) { return series->RawAt(i); };
    if (trace.thinned) trend::Summarize(trace.blocks, span, y);
    const std::vector<size_t> kept =
        trend::Decimate(first, end, x, y, m_view, trace.thinned ? columns : 0, &trace.blocks);
    trace.points.reserve(kept.size());
    for (size_t k = 0; k < kept.size(); ++k) {
        // A gap lies where the record after the last value is.
        const size_t i = kept[k] == trend::kGap ? kept[k - 1] + 1 : kept[k];
        trace.points.push_back({x(i), kept[k] == trend::kGap ? std::numeric_limits<double>::quiet_NaN() : series->At(i)});
    }
    trace.plotted = records.size();
    trace.span = span;
    trace.filledView = m_view;
}

QLineSeries* CTovinTrendDlg::LineOf(Trace& trace, size_t segment)
{
    while (trace.lines.size() <= segment) {
        CTrendPanes::Pane& pane = m_panes->At(trace.quantity);
        auto* line = new QLineSeries;
        QPen pen(trace.colour);
        pen.setWidthF(1.0);
        pen.setCosmetic(true);
        pen.setStyle(trace.dash);
        line->setPen(pen);
        line->setName(SeriesLabel(trace.device, trace.channel));
        pane.chart->addSeries(line);
        line->attachAxis(pane.time);
        line->attachAxis(pane.values);
        trace.lines.push_back(line);
    }
    return trace.lines[segment];
}

void CTovinTrendDlg::FillLine(Trace& trace)
{
    // One line for each run of samples between gaps; pin states as steps in their lane.
    const bool state = trace.quantity == Quantity::State;
    size_t segment = 0;
    QList<QPointF> list;
    // A decimated line needs no sample between two on the same pixel row,
    // nor one on the very pixel of the sample before it: the line drawn is
    // the same to the pixel. Every spike of a pixel or more stays.
    const CTrendPanes::Pane& pane = m_panes->At(trace.quantity);
    const QRectF plot = pane.chart->plotArea();
    const double low = pane.values->min();
    const double scale =
        pane.values->max() > low && plot.height() > 0 ? plot.height() / (pane.values->max() - low) : 0.0;
    const double across = m_view.Span() > 0 ? plot.width() / m_view.Span() : 0.0;
    const bool simplify = trace.thinned && !state && scale > 0 && across > 0;
    const auto row = [&](double y) { return std::floor((y - low) * scale); };
    const auto column = [&](double x) { return std::floor((x - m_view.min) * across); };
    // The columns of the decimation, as trend::Decimate divides the view.
    const double width = trace.columns > 0 ? trace.filledView.Span() / trace.columns : 0.0;
    const auto decimated = [&](double x) { return std::floor((x - trace.filledView.min) / width); };
    const std::vector<trend::Point> extremes =
        simplify && width > 0 ? ColumnExtremes(trace.points, row, decimated) : std::vector<trend::Point>();
    const std::vector<trend::Point>& points = simplify && width > 0 ? extremes : trace.points;
    const auto flush = [&] {
        if (list.isEmpty()) return;
        QLineSeries* line = LineOf(trace, segment++);
        line->replace(list);
        line->setVisible(true);
        list.clear();
    };
    double previous = std::numeric_limits<double>::quiet_NaN();
    for (size_t k = 0; k < points.size(); ++k) {
        const trend::Point& p = points[k];
        if (std::isnan(p.y)) {
            flush();
            previous = p.y;
            continue;
        }
        if (simplify && !list.isEmpty() && k + 1 < points.size() && !std::isnan(points[k + 1].y) &&
            row(list.back().y()) == row(p.y) &&
            (row(points[k + 1].y) == row(p.y) || column(list.back().x()) == column(p.x)))
            continue;
        const double y = state ? trend::LaneY(trace.lane, m_lanes, p.y) : p.y;
        if (state && !std::isnan(previous) && previous != y) list.append(QPointF(p.x, previous));
        list.append(QPointF(p.x, y));
        previous = y;
    }
    flush();
    for (size_t i = segment; i < trace.linesUsed && i < trace.lines.size(); ++i) {
        trace.lines[i]->clear();
        trace.lines[i]->setVisible(false);
    }
    trace.linesUsed = segment;
    trace.dirty = false;
    trace.relaned = false;
}

bool CTovinTrendDlg::ExtendPoints(Trace& trace)
{
    // A logging run adds records at the end: a line drawn whole gets the new
    // samples added to its points, not decimated again. The line is emptied
    // and filled again like any other: appended to before the axes move, Qt
    // Charts would work through all its points twice. False when it must be
    // decimated again.
    const logread::LogSeries* series = m_data.Find(trace.device, trace.channel);
    if (series == nullptr || trace.thinned || trace.linesUsed == 0 || trace.points.empty() ||
        std::isnan(trace.points.back().y))
        return false;
    const std::vector<int>& records = m_data.Records();
    const size_t span = series->Span();
    const CTrendPanes::Pane& pane = m_panes->At(trace.quantity);
    if (span > static_cast<size_t>(PixelColumns(pane)) * 2) return false;
    // From the first record after the last value: one without a value since is a gap.
    for (size_t i = trace.span; i < span; ++i) {
        if (!series->Has(i)) return false;  // a gap: the lines are laid out again
        trace.points.push_back({RecordTime(records[i]), series->At(i)});
    }
    trace.plotted = records.size();
    trace.span = span;
    trace.filledView = m_view;
    return true;
}

void CTovinTrendDlg::UpdateCharts()
{
    m_updateTimer->stop();
    // Channels met for the first time: shown or hidden as the log suggests.
    const int firstDevice = m_traces.empty() ? 0 : m_traces.front()->device;
    for (const auto& trace : m_traces) {
        if (trace->decided) continue;
        trace->decided = true;
        trace->shown = trace->device == firstDevice || m_traces.size() <= kShowAllUpTo;
        m_building = true;
        trace->item->setCheckState(0, trace->shown ? Qt::Checked : Qt::Unchecked);
        m_building = false;
    }

    AssignLanes();
    if (!m_zoomed) m_view = WholeTimeRange();
    for (const auto& trace : m_traces) {
        if (!trace->shown) {
            for (QLineSeries* line : trace->lines) line->setVisible(false);
            continue;
        }
        if (trace->lines.empty()) {
            LineOf(*trace, 0);
            trace->dirty = true;
        }
        for (size_t i = 0; i < trace->linesUsed; ++i) trace->lines[i]->setVisible(true);
    }
    bool rearrange = m_arrangedLanes != m_lanes;
    for (auto& pane : m_panes->All()) {
        int shown = 0;
        for (const auto& trace : m_traces) shown += trace->shown && trace->quantity == pane->quantity;
        rearrange = rearrange || (shown > 0) == pane->view->isHidden();
        pane->view->setVisible(shown > 0);
        // Smooth lines cost more than they show once there are many.
        pane->view->setRenderHint(QPainter::Antialiasing, shown <= kAntialiasedLines);
    }
    if (rearrange) ArrangePanes();
    // What each line shows first, since the value axes follow it; the lines
    // last: every change of a chart's axes or size makes Qt Charts work
    // through every point of every line on it again, so the lines to be
    // filled again are emptied before the axes change.
    std::vector<Trace*> refill, grown, relaned, appended;
    if (isVisible()) {
        const size_t records = m_data.Records().size();
        for (const auto& trace : m_traces) {
            if (!trace->shown) continue;
            const bool more = trace->plotted < records;
            const bool moved = trace->thinned && !(trace->filledView == m_view);
            if (trace->dirty || moved || (more && trace->relaned)) {
                refill.push_back(trace.get());
            } else if (more) {
                grown.push_back(trace.get());
            } else if (trace->relaned) {
                relaned.push_back(trace.get());
            }
        }
        for (Trace* trace : grown) (ExtendPoints(*trace) ? appended : refill).push_back(trace);
        for (Trace* trace : refill) Decimate(*trace);
        for (const std::vector<Trace*>* list : {&refill, &relaned, &appended})
            for (Trace* trace : *list)
                for (size_t i = 0; i < trace->linesUsed; ++i) trace->lines[i]->clear();
    }
    ApplyTimeRange();
    UpdateValueAxes();
    AlignPlots();
    for (const std::vector<Trace*>* list : {&refill, &relaned, &appended})
        for (Trace* trace : *list) FillLine(*trace);
    UpdateInfo();
    m_reset->setEnabled(m_zoomed);
}


void CTovinTrendDlg::ArrangePanes()
{
    m_arrangedLanes = m_lanes;
    if (layout()) layout()->activate();  // the charts' room, also before the window is shown
    m_panes->Arrange(m_lanes);
}

QString CTovinTrendDlg::Readout(Quantity quantity, double time) const
{
    // The last record at or before the pointer: values hold until the next one.
    const std::vector<int>& records = m_data.Records();
    const auto after = [&](double t, int record) { return t < RecordTime(record); };
    const auto it = std::upper_bound(records.begin(), records.end(), time, after);
    const bool any = it != records.begin();
    const size_t index = any ? static_cast<size_t>(it - records.begin()) - 1 : 0;
    QString text = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(time))
                       .toString(m_startKnown && m_view.Span() > 86400.0 * 1000.0 ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                                                                                   : QStringLiteral("HH:mm:ss"));
    if (any) text += QStringLiteral(", record %1").arg(records[index]);
    for (const auto& trace : m_traces) {
        if (!trace->shown || trace->quantity != quantity) continue;
        const logread::LogSeries* series = m_data.Find(trace->device, trace->channel);
        QString value = QStringLiteral("---");
        if (any && series != nullptr && series->Has(index)) {
            const double v = series->At(index);
            value = quantity == Quantity::State ? QString::number(static_cast<int>(v))
                                                : QString::fromStdString(logread::FormatLogValue(v, 3)) +
                                                      QLatin1Char(' ') + CTrendPanes::Unit(quantity);
        }
        text += QStringLiteral("\n%1 = %2").arg(SeriesLabel(trace->device, trace->channel), value);
    }
    return text;
}

QString CTovinTrendDlg::ExportTitle() const
{
    QStringList devices;
    std::array<bool, logread::kDevices> shown{};
    for (const auto& trace : m_traces) shown[static_cast<size_t>(trace->device)] |= trace->shown;
    for (int d = 0; d < logread::kDevices; ++d)
        if (shown[static_cast<size_t>(d)]) devices << QStringLiteral("HMU%1").arg(d);
    const QString name = m_path.isEmpty() ? QStringLiteral("trend") : QFileInfo(m_path).fileName();
    QString text = QStringLiteral("%1: %2").arg(name, devices.isEmpty() ? QStringLiteral("nothing shown")
                                                                        : devices.join(QStringLiteral(", ")));
    const std::vector<int>& records = m_data.Records();
    if (!records.empty()) {
        // Without a start time in the log, times count from the first record.
        // Zoomed in, the image holds only the span shown: that span is given,
        // to the millisecond when it is short enough for seconds to blur it.
        QString format = m_startKnown ? QStringLiteral("yyyy-MM-dd HH:mm:ss") : QStringLiteral("HH:mm:ss");
        if (m_zoomed && m_view.Span() < 60.0 * 1000.0) format += QStringLiteral(".zzz");
        const auto at = [&](double time) {
            return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(time))).toString(format);
        };
        const trend::Range span =
            m_zoomed ? m_view : trend::Range{RecordTime(records.front()), RecordTime(records.back())};
        text += QStringLiteral(", %1 to %2").arg(at(span.min), at(span.max));
    }
    return text;
}

void CTovinTrendDlg::showEvent(QShowEvent* event)
{
    CTovinDialog::showEvent(event);
    // Once the window has its size: the lines are drawn only then.
    QTimer::singleShot(0, this, [this] {
        ArrangePanes();
        UpdateCharts();
    });
}


void CTovinTrendDlg::AlignPlots()
{
    m_panes->Align();
}

QString CTovinTrendDlg::TimeAxisFormat() const
{
    return m_panes->TimeFormat();
}

void CTovinTrendDlg::ApplyTimeRange()
{
    m_panes->ApplyTimeRange(m_view, m_startKnown, m_start);
}

void CTovinTrendDlg::UpdateValueAxes()
{
    for (auto& pane : m_panes->All()) {
        if (pane->quantity == Quantity::State) continue;
        trend::Range values;
        bool any = false;
        for (const auto& trace : m_traces) {
            if (!trace->shown || trace->quantity != pane->quantity) continue;
            // The samples drawn hold each column's lowest and highest.
            const auto [first, end] = NearView(trace->points, m_view);
            for (size_t i = first; i < end; ++i) {
                const double y = trace->points[i].y;
                if (std::isnan(y)) continue;
                values = any ? trend::Range{std::min(values.min, y), std::max(values.max, y)} : trend::Range{y, y};
                any = true;
            }
        }
        // A tick for about every two and a half lines of label text.
        const int lineHeight = QFontMetrics(pane->values->labelsFont()).height();
        const int maxTicks = std::clamp(pane->view->height() * 2 / (5 * lineHeight), 3, 10);
        const trend::Range range = any ? trend::Padded(values) : trend::Range{0.0, 1.0};
        const double step = trend::NiceStep(range, maxTicks);
        pane->values->setRange(range.min, range.max);
        pane->values->setTickAnchor(trend::FirstTick(range, step));
        pane->values->setTickInterval(step);
        pane->values->setLabelFormat(CTrendPanes::LabelFormat(trend::StepDecimals(step), pane->quantity));
    }
}

void CTovinTrendDlg::UpdateInfo()
{
    const logread::LogInfo& info = m_data.info;
    const std::vector<int>& records = m_data.Records();
    std::array<bool, logread::kDevices> devices{};
    for (const auto& trace : m_traces) devices[static_cast<size_t>(trace->device)] = true;
    const auto deviceCount = std::count(devices.begin(), devices.end(), true);

    QString text;
    const QString name = m_path.isEmpty() ? QString() : QFileInfo(m_path).fileName();
    if (m_live) {
        text = QStringLiteral("Logging to %1: ").arg(name);
    } else if (!name.isEmpty()) {
        text = name + QStringLiteral(": ");
    }
    if (records.empty()) {
        text += QStringLiteral("no records yet");
    } else {
        text += QStringLiteral("records %1 to %2, %3 device(s), %4 channel(s)")
                    .arg(records.front())
                    .arg(records.back())
                    .arg(deviceCount)
                    .arg(m_traces.size());
    }
    if (info.intervalSeconds) text += QStringLiteral(", every %1 s").arg(*info.intervalSeconds);
    if (info.start)
        text += QStringLiteral(", from %1").arg(QString::fromStdString(logread::FormatIsoTime(*info.start)));
    text += QLatin1Char('.');
    if (!m_messages.isEmpty()) {
        text += QStringLiteral(" Not all of the file could be read (point here for why).");
        m_info->setToolTip(m_messages.join(QLatin1Char('\n')));
    } else {
        m_info->setToolTip(QString());
    }
    m_info->setText(text);
}

QString CTovinTrendDlg::InfoText() const
{
    return m_info->text();
}

std::vector<trend::Point> CTovinTrendDlg::PlottedPoints(int device, int channel) const
{
    const Trace* trace = FindTrace(device, channel);
    if (trace == nullptr || !trace->shown) return {};
    std::vector<trend::Point> points;
    for (size_t i = 0; i < trace->linesUsed; ++i) {
        if (i > 0) points.push_back({trace->lines[i]->at(0).x(), std::numeric_limits<double>::quiet_NaN()});
        for (const QPointF& p : trace->lines[i]->points()) points.push_back({p.x(), p.y()});
    }
    return points;
}

bool CTovinTrendDlg::ChartShown(Quantity quantity) const
{
    return !m_panes->At(quantity).view->isHidden();
}

QChart* CTovinTrendDlg::Chart(Quantity quantity) const
{
    return m_panes->At(quantity).chart;
}

CTrendChartView* CTovinTrendDlg::ChartView(Quantity quantity) const
{
    return m_panes->At(quantity).view;
}

trend::Range CTovinTrendDlg::ValueAxisRange(Quantity quantity) const
{
    const QValueAxis* axis = m_panes->At(quantity).values;
    return {axis->min(), axis->max()};
}

QString CTovinTrendDlg::ValueAxisFormat(Quantity quantity) const
{
    return QString::fromUtf8(m_panes->At(quantity).values->labelFormat().toLatin1());
}

QStringList CTovinTrendDlg::LaneLabels() const
{
    QStringList labels = m_panes->At(Quantity::State).lanes->categoriesLabels();
    std::reverse(labels.begin(), labels.end());
    return labels;
}

QString CTovinTrendDlg::DefaultExportPath(const QString& extension) const
{
    if (m_path.isEmpty()) return QStringLiteral("trend") + extension;
    const QFileInfo file(m_path);
    return file.absoluteDir().filePath(file.completeBaseName() + extension);
}

QImage CTovinTrendDlg::WithLegend(const QImage& charts) const
{
    // Lines of a colour are told apart only by the names beside them: the
    // image carries the names of the lines shown (pin states have their
    // lane labels already). Above it all, a title says what the image is of.
    std::vector<const Trace*> named;
    for (const auto& trace : m_traces)
        if (trace->shown && trace->quantity != Quantity::State) named.push_back(trace.get());
    std::sort(named.begin(), named.end(), [](const Trace* a, const Trace* b) {
        return std::tie(a->quantity, a->device, a->channel) < std::tie(b->quantity, b->device, b->channel);
    });
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height() + 4;
    const int swatch = metrics.height();
    int textWidth = 0;
    for (const Trace* trace : named)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(
                                            SeriesLabel(trace->device, trace->channel)));
    const int margin = CTrendPanes::kMargin + 4;
    const qreal ratio = charts.devicePixelRatio();
    const QSize chartsSize = (QSizeF(charts.size()) / ratio).toSize();
    const int legendWidth = named.empty() ? 0 : 2 * margin + swatch + 6 + textWidth;
    const int width = chartsSize.width() + legendWidth;
    const int height = line + std::max(chartsSize.height(), 2 * margin + line * static_cast<int>(named.size()));
    QImage image(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font());
    painter.setPen(Qt::black);
    painter.drawText(QRect(margin, 0, width - 2 * margin, line), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(ExportTitle(), Qt::ElideMiddle, width - 2 * margin));
    painter.drawImage(QPointF(0, line), charts);
    int y = line + margin;
    for (const Trace* trace : named) {
        const int x = chartsSize.width() + margin;
        // The line's colour and dash, thick enough to tell.
        painter.setPen(QPen(trace->colour, 3.0, trace->dash, Qt::FlatCap));
        painter.drawLine(QPointF(x, y + line / 2.0), QPointF(x + swatch, y + line / 2.0));
        painter.setPen(Qt::black);
        painter.drawText(QRect(x + swatch + 6, y, textWidth + 2, line), Qt::AlignLeft | Qt::AlignVCenter,
                         SeriesLabel(trace->device, trace->channel));
        y += line;
    }
    return image;
}

bool CTovinTrendDlg::SavePng(const QString& path, QString& error)
{
    UpdateCharts();
    const QImage image = WithLegend(m_charts->grab().toImage());
    QImageWriter writer(path, "png");
    if (writer.write(image)) return true;
    error = writer.errorString();
    return false;
}

bool CTovinTrendDlg::SaveCsv(const QString& path, QString& error) const
{
    errno = 0;
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::trunc);
    if (out && logread::WriteLogCsv(m_data, out)) {
        out.close();
        if (out) return true;
    }
    error = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("the file could not be written");
    return false;
}

QString CTovinTrendDlg::ChooseExportPath(const QString& caption, const QString& extension, const QString& filter)
{
    QString path = Ui().GetSaveFileName(this, caption, DefaultExportPath(extension), filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += extension;
    return path;
}

void CTovinTrendDlg::ExportPng()
{
    const QString path =
        ChooseExportPath(QStringLiteral("Export PNG"), QStringLiteral(".png"), QStringLiteral("PNG Images (*.png)"));
    QString error;
    if (!path.isEmpty() && !SavePng(path, error))
        ShowExclamation(this, QStringLiteral("The image could not be saved as %1:\n%2").arg(path, error));
}

void CTovinTrendDlg::ExportCsv()
{
    const QString path =
        ChooseExportPath(QStringLiteral("Export CSV"), QStringLiteral(".csv"), QStringLiteral("CSV Files (*.csv)"));
    QString error;
    if (!path.isEmpty() && !SaveCsv(path, error))
        ShowExclamation(this, QStringLiteral("The values could not be saved as %1:\n%2").arg(path, error));
}
