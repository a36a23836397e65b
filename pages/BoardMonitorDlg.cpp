#include "pages/BoardMonitorDlg.h"

#include <algorithm>
#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "device/blocks/Imon.h"
#include "device/blocks/Vmon.h"
#include "settings/Settings.h"
#include "ui/AppServices.h"
#include "ui/FontOccManager.h"
#include "util/TextFormat.h"

namespace {

// The window's height besides the table's rows: buttons, heading, frames.
constexpr int kAroundTable = 120;

class CQtMonitorTimer : public CIntervalTimer {
public:
    CQtMonitorTimer() { QObject::connect(&m_timer, &QTimer::timeout, [this] { if (m_onTick) m_onTick(); }); }
    void Start(int periodMs, std::function<void()> onTick) override
    {
        m_onTick = std::move(onTick);
        m_timer.start(periodMs);
    }
    void Stop() override { m_timer.stop(); }
    bool IsActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
};

QString Text(const std::string& text) { return QString::fromStdString(text); }

QString ValueText(int channel, double value)
{
    const std::string unit(live::ChannelUnit(channel));
    switch (live::QuantityOf(channel)) {
    case live::Quantity::Voltage:
    case live::Quantity::Current: return Text(FormatText("%.3f ", value) + unit);
    case live::Quantity::Temperature: return Text(FormatText("%.2f ", value) + unit);
    case live::Quantity::Level: return value != 0.0 ? QStringLiteral("1") : QStringLiteral("0");
    }
    return {};
}

// What a comparator cell's colour means, and where its direction comes from.
QString ComparatorTip(int channel, vmon::Direction direction, bool saved, bool fault)
{
    QString text;
    switch (live::QuantityOf(channel)) {
    case live::Quantity::Voltage:
        text = direction == vmon::Direction::Over ? QStringLiteral("over-voltage comparator")
                                                  : QStringLiteral("under-voltage comparator");
        text += saved ? QStringLiteral(" (direction saved on the voltage page)")
                      : QStringLiteral(" (no directions saved on the voltage page: A taken as under-voltage, B as "
                                       "over-voltage)");
        break;
    case live::Quantity::Current: text = QStringLiteral("over-current comparator"); break;
    case live::Quantity::Temperature: text = QStringLiteral("over-temperature comparator"); break;
    case live::Quantity::Level: break;
    }
    return text + (fault ? QStringLiteral(": in its fault state") : QStringLiteral(": not in its fault state"));
}

const QColor kFaultColour(0xF0, 0x80, 0x80);
const QColor kFailedTint(0xE8, 0xE0, 0xC8);

}  // namespace

CBoardMonitorDlg::CBoardMonitorDlg(CAppServices& services, QWidget* parent)
    : QDialog(parent), m_services(services), m_timer(std::make_unique<CQtMonitorTimer>())
{
    setWindowTitle(QStringLiteral("ZENT I2C Board Monitor"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    // The Large GUI option, as the other windows take it.
    CFontOccManager::Apply(this);

    live::LiveOptions options;
    options.senseOhms = [this](int device, int monitor) {
        return m_services.Settings().ReadReal(imon::SenseResistorSettingName(device, monitor),
                                              imon::kDefaultSenseResistance);
    };
    m_monitor = std::make_unique<live::CLiveMonitor>(m_services.Port(), options);

    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Refresh:"), this));
    m_period = new QComboBox(this);
    for (const int ms : kPeriods)
        m_period->addItem(ms == 0 ? QStringLiteral("Off") : Text(FormatText("%g s", ms / 1000.0)));
    controls->addWidget(m_period);
    m_pause = new QPushButton(QStringLiteral("&Pause"), this);
    m_pause->setCheckable(true);
    m_pause->setAutoDefault(false);
    m_reset = new QPushButton(QStringLiteral("&Reset Min/Max"), this);
    m_reset->setAutoDefault(false);
    m_copy = new QPushButton(QStringLiteral("&Copy"), this);
    m_copy->setAutoDefault(false);
    controls->addWidget(m_pause);
    controls->addWidget(m_reset);
    controls->addWidget(m_copy);
    controls->addStretch();
    m_status = new QLabel(this);
    controls->addWidget(m_status);
    layout->addLayout(controls);

    m_table = new QTableWidget(live::kChannels, kFixedColumns, this);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    // Rows as tall as their text, a little less where all 29 channels would
    // not be in view otherwise (the large font on a laptop screen).
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1366, 740);
    const int text = m_table->fontMetrics().height();
    const int row = std::max(text + 2, std::min(text + 6, (area.height() - kAroundTable) / live::kChannels));
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(row);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Channel"), QStringLiteral("Rail")});
    for (int c = 0; c < live::kChannels; ++c)
        m_table->setItem(c, 0, new QTableWidgetItem(Text(std::string(live::ChannelLabel(c)))));
    m_table->setMinimumSize(400, 200);
    layout->addWidget(m_table, 1);
    // Two devices side by side at this font, and every channel; never more than the screen.
    const double scale = static_cast<double>(text) / QFontMetrics(QApplication::font()).height();
    resize(std::min(static_cast<int>(900 * scale), area.width()),
           std::min(row * live::kChannels + kAroundTable, area.height()));

    int index = 2;  // 1 s
    const uint32_t stored = m_services.Settings().ReadNumber(kPeriodSetting, kDefaultPeriodMs);
    for (int i = 0; i < static_cast<int>(std::size(kPeriods)); ++i)
        if (static_cast<uint32_t>(kPeriods[i]) == stored) index = i;
    m_period->setCurrentIndex(index);
    connect(m_period, &QComboBox::currentIndexChanged, this, &CBoardMonitorDlg::OnPeriodChanged);
    connect(m_pause, &QPushButton::toggled, this, &CBoardMonitorDlg::OnPause);
    connect(m_reset, &QPushButton::clicked, this, &CBoardMonitorDlg::OnReset);
    connect(m_copy, &QPushButton::clicked, this, &CBoardMonitorDlg::OnCopy);
    ShowFrame();
    Restart();
}

CBoardMonitorDlg::~CBoardMonitorDlg() { m_timer->Stop(); }

void CBoardMonitorDlg::SetTimer(std::unique_ptr<CIntervalTimer> timer)
{
    m_timer->Stop();
    m_timer = std::move(timer);
    Restart();
}

int CBoardMonitorDlg::Column(int device) const
{
    for (size_t g = 0; g < m_columnDevices.size(); ++g)
        if (m_columnDevices[g] == device) return kFixedColumns + static_cast<int>(g) * kGroupColumns;
    return -1;
}

// One device per turn: the frame is spread over the period, so a turn never
// holds the window for more than one device's reads.
void CBoardMonitorDlg::Restart()
{
    m_timer->Stop();
    const int period = kPeriods[std::max(0, m_period->currentIndex())];
    if (period == 0 || m_pause->isChecked()) {
        m_status->setText(m_pause->isChecked() ? QStringLiteral("Paused") : QStringLiteral("Refresh off"));
        return;
    }
    m_status->clear();
    const int devices = static_cast<int>(m_monitor->Frame().devices.size());
    m_timer->Start(std::max(1, period / std::max(1, devices)), [this] { OnTick(); });
}

void CBoardMonitorDlg::OnTick()
{
    m_monitor->ReadNextDevice();
    ShowFrame();
}

void CBoardMonitorDlg::OnPeriodChanged(int index)
{
    m_services.Settings().WriteNumber(kPeriodSetting, static_cast<uint32_t>(kPeriods[std::max(0, index)]));
    Restart();
}

void CBoardMonitorDlg::OnPause(bool paused)
{
    m_pause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    Restart();
}

void CBoardMonitorDlg::OnReset()
{
    m_monitor->ResetMinMax();
    m_attenuatedSinceReset.clear();  // min and max start again from the frame as it stands
    ShowFrame();
}

void CBoardMonitorDlg::OnCopy()
{
    if (QClipboard* clipboard = QApplication::clipboard()) clipboard->setText(TableText());
}

QString CBoardMonitorDlg::TableText() const
{
    QString text;
    for (int row = -1; row < m_table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < m_table->columnCount(); ++column) {
            const QTableWidgetItem* item =
                row < 0 ? m_table->horizontalHeaderItem(column) : m_table->item(row, column);
            cells << (item ? item->text().replace(QLatin1Char('\n'), QLatin1Char(' ')) : QString());
        }
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

void CBoardMonitorDlg::ShowFrame()
{
    const live::LiveFrameData& frame = m_monitor->Frame();
    std::vector<int> devices;
    for (const live::LiveDevice* device : frame.Shown()) devices.push_back(device->device);
    if (devices != m_columnDevices) {
        m_columnDevices = devices;
        m_table->setColumnCount(kFixedColumns + kGroupColumns * static_cast<int>(devices.size()));
    }

    // The stored detection directions tell which output of a voltage comparator is its fault.
    for (const live::LiveDevice* device : frame.Shown()) {
        // With none saved, A guards the rail from below and B from above, as
        // the board's own thresholds sit: a healthy rail is not shown in fault.
        vmon::Directions directions{};
        for (int j = 0; j < vmon::kComparators; ++j) directions[j] = j % 2 ? vmon::Direction::Over : vmon::Direction::Under;
        bool saved = false;
        std::array<uint8_t, vmon::kDirectionsSize> bytes{};
        if (m_services.Settings().ReadBinary(vmon::DirectionsSettingName(device->device), bytes.data(), bytes.size()))
            if (const std::optional<vmon::Directions> stored = vmon::DecodeDirections(bytes)) {
                directions = *stored;
                saved = true;
            }

        const int first = Column(device->device);
        const QString name = Text(FormatText("HMU%d", device->device));
        const QString state = device->presence == live::Presence::Present
                                  ? QString()
                                  : QStringLiteral(" (%1)").arg(Text(std::string(live::PresenceText(device->presence))));
        const QString headers[kGroupColumns] = {name + state, name + QStringLiteral(" Min"),
                                                name + QStringLiteral(" Max"), QStringLiteral("A"),
                                                QStringLiteral("B")};
        for (int k = 0; k < kGroupColumns; ++k) {
            QTableWidgetItem* header = m_table->horizontalHeaderItem(first + k);
            if (!header) m_table->setHorizontalHeaderItem(first + k, header = new QTableWidgetItem);
            header->setText(headers[k]);
        }

        for (int c = 0; c < live::kChannels; ++c) {
            const live::LiveReading& r = device->channels[c];
            QString cells[kGroupColumns];
            if (r.read) {
                cells[0] = r.value ? ValueText(c, *r.value) : QStringLiteral("---");
                if (r.attenuated) cells[0] += QLatin1Char('*');
                if (r.comparators) {
                    cells[3] = (*r.comparators)[0] ? QStringLiteral("1") : QStringLiteral("0");
                    cells[4] = (*r.comparators)[1] ? QStringLiteral("1") : QStringLiteral("0");
                } else if (live::HasComparators(c)) {
                    cells[3] = cells[4] = QStringLiteral("---");
                }
            }
            if (r.read && r.attenuated) m_attenuatedSinceReset.insert({device->device, c});
            const bool attenuatedMinMax = m_attenuatedSinceReset.count({device->device, c}) != 0;
            if (r.min) cells[1] = ValueText(c, *r.min) + (attenuatedMinMax ? QStringLiteral("*") : QString());
            if (r.max) cells[2] = ValueText(c, *r.max) + (attenuatedMinMax ? QStringLiteral("*") : QString());
            for (int k = 0; k < kGroupColumns; ++k) {
                QTableWidgetItem* item = m_table->item(c, first + k);
                if (!item) m_table->setItem(c, first + k, item = new QTableWidgetItem);
                item->setText(cells[k]);
                item->setTextAlignment(k == 0 || k == 1 || k == 2 ? Qt::AlignRight | Qt::AlignVCenter
                                                                   : Qt::AlignCenter);
                item->setToolTip(QString());
                item->setBackground(QBrush());
            }
            QTableWidgetItem* value = m_table->item(c, first);
            if (r.read && r.failed) {
                value->setBackground(kFailedTint);
                value->setToolTip(QStringLiteral("the reading failed: no value"));
            }
            if (r.attenuated) value->setToolTip(QStringLiteral("read through the attenuator; not rescaled"));
            if (attenuatedMinMax)
                for (int k = 1; k <= 2; ++k)
                    m_table->item(c, first + k)
                        ->setToolTip(QStringLiteral("may be a reading through the attenuator; not rescaled"));
            if (r.comparators)
                for (int k = 0; k < 2; ++k) {
                    const vmon::Direction direction =
                        live::QuantityOf(c) == live::Quantity::Voltage ? directions[2 * (c % vmon::kChannels) + k]
                                                                        : vmon::Direction::Over;
                    QTableWidgetItem* cell = m_table->item(c, first + 3 + k);
                    const bool fault = live::ComparatorFault(c, (*r.comparators)[k], direction);
                    if (fault) cell->setBackground(kFaultColour);
                    cell->setToolTip(ComparatorTip(c, direction, saved, fault));
                }
        }
    }

    // The demonstration design's names of the rails, beside the channel.
    for (int c = 0; c < live::kChannels; ++c) {
        QStringList names;
        for (const int device : m_columnDevices) {
            const std::string rail = live::RailName(device, c);
            if (!rail.empty()) names << Text(FormatText("HMU%d ", device) + rail);
        }
        QTableWidgetItem* item = m_table->item(c, 1);
        if (!item) m_table->setItem(c, 1, item = new QTableWidgetItem);
        item->setText(names.join(QStringLiteral(", ")));
    }
    m_table->resizeColumnsToContents();
}
