#include "pages/ViewAllDlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/UserInteraction.h"
#include "util/TextFormat.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "widgets/Bit_Entry_Dlg.h"

namespace browser {

std::string ListLine(const RegisterEntry& row)
{
    const int v = row.value;
    const auto bit = [v](int i) { return (v >> i) & 1; };
    return FormatText("%c\t0x%02X\t%s \t%d \t%d \t%d \t%d \t%d \t%d \t%d \t%d", row.TypeLetter(), row.reg & 0xFF,
                      row.name.c_str(), bit(7), bit(6), bit(5), bit(4), bit(3), bit(2), bit(1), bit(0));
}

std::string UnreadLine(const RegisterEntry& row)
{
    return FormatText("%c\t0x%02X\t%s \t- \t- \t- \t- \t- \t- \t- \t-", row.TypeLetter(), row.reg & 0xFF,
                      row.name.c_str());
}

}  // namespace browser

namespace {

// Transactions that failed or results that never became ready so far.
uint64_t Failures(const CTovin_I2C_Port& port)
{
    return port.FailedTransactions() + port.UnreadyResults();
}

const char* const kHint = "Double Click entry to edit register values";
const char* const kTitle = "ZENT2 I2C";

// Draws each cell of a tab-separated line from its stop on. The stops leave
// room for every list cell; in the heading "MSB" runs over the empty cells after it.
void DrawColumns(QPainter& painter, const QRect& rect, const QString& line,
                 const std::array<int, browser::kTabStops>& stops)
{
    const QStringList cells = line.split(QLatin1Char('\t'));
    for (int i = 0; i < cells.size() && i <= browser::kTabStops; ++i) {
        const int x = rect.left() + (i == 0 ? 0 : stops[i - 1]);
        painter.drawText(QRect(x, rect.top(), std::max(rect.right() - x, 0), rect.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, cells[i]);
    }
}

class CTabbedLineDelegate : public QStyledItemDelegate {
public:
    explicit CTabbedLineDelegate(CRegisterList* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString line = opt.text;
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        painter->save();
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                          selected ? QPalette::HighlightedText : QPalette::Text));
        DrawColumns(*painter, text, line, m_list->TabStops());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize hint = QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics metrics(option.font);
        hint.setWidth(m_list->TabStops().back() + 2 * metrics.horizontalAdvance(QStringLiteral("0 ")));
        return hint;
    }

private:
    CRegisterList* m_list;
};

// The column heading above the list, its words at the list's stops.
class CRegisterListHeader : public QWidget {
public:
    CRegisterListHeader(CRegisterList* list, QWidget* parent) : QWidget(parent), m_list(list)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return {m_list->sizeHint().width(), fontMetrics().height() + 2}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        // Where the list draws the text of its lines.
        const int left = m_list->frameWidth() + style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1;
        DrawColumns(painter, rect().adjusted(left, 0, 0, 0),
                    QStringLiteral("Type\tAddress\tName\tMSB\t\t\t\t\t\t\tLSB"), m_list->TabStops());
    }

private:
    CRegisterList* m_list;
};

// Stops in pixels: the dialog-unit stops, moved right where this font needs
// more room for a column's widest text.
std::array<int, browser::kTabStops> PixelStops(const QFontMetrics& metrics)
{
    const double baseUnit =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    const auto units = [&](int du) { return static_cast<int>(std::lround(du * baseUnit / 4.0)); };
    const int gap = metrics.horizontalAdvance(QStringLiteral("  "));
    int widestName = 0;
    for (const RegisterEntry& row : regmap::DeviceRows())
        widestName =
            std::max(widestName, metrics.horizontalAdvance(QString::fromStdString(row.name) + QLatin1Char(' ')));
    const int typeWidth = std::max({metrics.horizontalAdvance(QStringLiteral("M")),
                                    metrics.horizontalAdvance(QStringLiteral("C")),
                                    metrics.horizontalAdvance(QStringLiteral("Type"))});
    const int addressWidth = std::max(metrics.horizontalAdvance(QStringLiteral("0xFF")),
                                      metrics.horizontalAdvance(QStringLiteral("Address")));
    const int bitStep = std::max(units(browser::kTabStopUnits[3] - browser::kTabStopUnits[2]),
                                 metrics.horizontalAdvance(QStringLiteral("0 ")) + gap / 2);

    std::array<int, browser::kTabStops> stops{};
    stops[0] = std::max(units(browser::kTabStopUnits[0]), typeWidth + gap);
    stops[1] = std::max(units(browser::kTabStopUnits[1]), stops[0] + addressWidth + gap);
    stops[2] = std::max(units(browser::kTabStopUnits[2]), stops[1] + widestName + gap);
    for (int i = 3; i < browser::kTabStops; ++i) stops[i] = stops[i - 1] + bitStep;
    return stops;
}

class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace

CRegisterList::CRegisterList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setItemDelegate(new CTabbedLineDelegate(this));
    m_stops = PixelStops(fontMetrics());
}

void CRegisterList::SetTabStops(const std::array<int, browser::kTabStops>& stops)
{
    m_stops = stops;
    updateGeometry();
    viewport()->update();
}

void CRegisterList::changeEvent(QEvent* event)
{
    // The window's font arrives after construction: the stops follow it.
    if (event->type() == QEvent::FontChange) SetTabStops(PixelStops(fontMetrics()));
    QListWidget::changeEvent(event);
}

QSize CRegisterList::sizeHint() const
{
    const int width = m_stops.back() + 2 * fontMetrics().horizontalAdvance(QStringLiteral("0 ")) + 2 * frameWidth() +
                      style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    return {width, 16 * fontMetrics().height()};
}

CViewAllDlg::CViewAllDlg(QWidget* parent)
    : CTovinPropertyPage(parent),
      m_hint(new QLabel(this)),
      m_list(new CRegisterList(this)),
      m_hide(new QPushButton(QStringLiteral("&Hide"), this)),
      m_readSelected(new QPushButton(QStringLiteral("&Read"), this)),
      m_writeSelected(new QPushButton(QStringLiteral("&Write"), this)),
      m_showAll(new QPushButton(QStringLiteral("&Show"), this)),
      m_readAll(new QPushButton(QStringLiteral("R&ead"), this)),
      m_writeAll(new QPushButton(QStringLiteral("Wr&ite"), this)),
      m_update(new QPushButton(QStringLiteral("&Update Configuration"), this))
{
    setWindowTitle(QStringLiteral("Sentrix View All   I2C"));
    for (QPushButton* b : {m_hide, m_readSelected, m_writeSelected, m_showAll, m_readAll, m_writeAll, m_update})
        b->setAutoDefault(false);
    connect(m_hide, &QPushButton::clicked, this, &CViewAllDlg::OnHide);
    connect(m_readSelected, &QPushButton::clicked, this, &CViewAllDlg::OnReadSelected);
    connect(m_writeSelected, &QPushButton::clicked, this, &CViewAllDlg::OnWriteSelected);
    connect(m_showAll, &QPushButton::clicked, this, &CViewAllDlg::OnShowAll);
    connect(m_readAll, &QPushButton::clicked, this, &CViewAllDlg::OnReadAll);
    connect(m_writeAll, &QPushButton::clicked, this, &CViewAllDlg::OnWriteAll);
    connect(m_update, &QPushButton::clicked, this, &CViewAllDlg::OnUpdateConfiguration);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_filling) UpdateControls();
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { OnEdit(); });

    auto* selected = new QGroupBox(QStringLiteral("Selected Register"), this);
    auto* selectedLayout = new QVBoxLayout(selected);
    for (QPushButton* b : {m_hide, m_readSelected, m_writeSelected}) selectedLayout->addWidget(b);
    auto* all = new QGroupBox(QStringLiteral("All Registers"), this);
    auto* allLayout = new QVBoxLayout(all);
    for (QPushButton* b : {m_showAll, m_readAll, m_writeAll}) allLayout->addWidget(b);

    auto* right = new QVBoxLayout;
    right->addWidget(selected);
    right->addWidget(all);
    right->addStretch();
    right->addWidget(m_update);

    auto* left = new QVBoxLayout;
    left->addWidget(m_hint);
    left->addWidget(new CRegisterListHeader(m_list, this));
    left->addWidget(m_list, 1);
    left->addWidget(new QLabel(QStringLiteral("Type M=Monitor; Type C=Configuration"), this));

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right);
}

bool CViewAllDlg::OnInitDialog()
{
    const bool result = CTovinPropertyPage::OnInitDialog();
    const bool read = ReadAll();
    if (!read) Port()->ClearError();  // told once, below
    FillList(m_listPosition);
    if (!read) ReportFailure();
    UpdateControls();
    return result;
}

QString CViewAllDlg::HintText() const
{
    return m_hint->text();
}

QPushButton* CViewAllDlg::Button(const QString& text) const
{
    for (QPushButton* b : {m_hide, m_readSelected, m_writeSelected, m_showAll, m_readAll, m_writeAll, m_update})
        if (b->text() == text) return b;
    return nullptr;
}

void CViewAllDlg::FillList(int position)
{
    m_filling = true;
    m_list->setUpdatesEnabled(false);
    m_list->clear();
    m_lineRows.clear();
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        if (!m_rows[r].shown) continue;
        m_list->addItem(QString::fromStdString(m_known[r] ? browser::ListLine(m_rows[r])
                                                          : browser::UnreadLine(m_rows[r])));
        m_lineRows.push_back(r);
    }
    if (position >= 0 && position < m_list->count()) m_list->setCurrentRow(position);
    else m_list->setCurrentRow(-1);
    m_list->setUpdatesEnabled(true);
    m_filling = false;
    ReportAcknowledgeFailure();
}

void CViewAllDlg::DecodeSelection()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    m_listPosition = selected.isEmpty() ? -1 : m_list->row(selected.front());
    m_selectedRow = m_listPosition >= 0 && m_listPosition < static_cast<int>(m_lineRows.size())
                        ? m_lineRows[m_listPosition]
                        : -1;
}

void CViewAllDlg::UpdateControls()
{
    DecodeSelection();
    // Nothing selected: no register to act on.
    const bool any = m_selectedRow >= 0;
    // A row without a value from the device or the user has nothing to write.
    const bool writable = any && !m_rows[m_selectedRow].readOnly && m_known[m_selectedRow];
    m_hide->setEnabled(any);
    m_readSelected->setEnabled(any);
    m_writeSelected->setEnabled(writable);
    m_hint->setText(writable ? QString::fromLatin1(kHint) : QString());
}

void CViewAllDlg::SetBusy(bool busy)
{
    for (QPushButton* b : {m_hide, m_readSelected, m_writeSelected, m_showAll, m_readAll, m_writeAll, m_update})
        b->setEnabled(!busy);
    if (!busy) {
        UpdateControls();
        m_writeAll->setEnabled(std::find(m_known.begin(), m_known.end(), true) != m_known.end());
    }
}

uint8_t CViewAllDlg::ReadRow(const RegisterEntry& row)
{
    return Port()->ReadRegister(row.ReadCommand(), row.reg);
}

void CViewAllDlg::WriteRow(const RegisterEntry& row)
{
    Port()->WriteRegister(row.WriteCommand(), row.reg, row.value);
    if (row.type == kConfigRegister) m_configurationWritten = true;
}

bool CViewAllDlg::ReadKnownRow(int r)
{
    const uint64_t before = Failures(*Port());
    const uint8_t value = ReadRow(m_rows[r]);
    if (Failures(*Port()) != before) return false;  // the row keeps what it had
    m_rows[r].value = value;
    m_known[r] = true;
    return true;
}

bool CViewAllDlg::ReadAll()
{
    if (Port() == nullptr) return true;
    CCableLock lock;
    CWaitCursor wait;
    // A device that does not answer keeps the values the page has.
    if (!Port()->ProbeHmu(DeviceIndex())) return false;
    bool all = true;
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) all = ReadKnownRow(r) && all;
    return all;
}

void CViewAllDlg::ReportFailure()
{
    // One message, whatever else is flagged on the port.
    Port()->ClearError();
    ShowAcknowledgeFailure(this);
}

void CViewAllDlg::OnReadAll()
{
    SetBusy(true);
    emit SequenceRunning();
    const bool read = ReadAll();
    if (!read) Port()->ClearError();  // told once, below
    FillList(m_listPosition);
    SetBusy(false);
    if (!read) ReportFailure();
}

void CViewAllDlg::OnWriteAll()
{
    if (Port() == nullptr) return;
    SetBusy(true);
    emit SequenceRunning();
    bool failed = false;
    {
        CCableLock lock;
        const uint64_t before = Failures(*Port());
        // Rows never read nor entered are left as the device has them.
        for (int r = 0; r < static_cast<int>(m_rows.size()); ++r)
            if (!m_rows[r].readOnly && m_known[r]) WriteRow(m_rows[r]);
        failed = Failures(*Port()) != before;
    }
    SetBusy(false);
    if (failed) ReportFailure();
}

void CViewAllDlg::OnReadSelected()
{
    DecodeSelection();
    if (Port() == nullptr || m_selectedRow < 0) return;
    SetBusy(true);
    emit SequenceRunning();
    bool read = false;
    {
        CCableLock lock;
        read = ReadKnownRow(m_selectedRow);
        if (!read) Port()->ClearError();  // told once, below
    }
    FillList(m_listPosition);
    SetBusy(false);
    if (!read) ReportFailure();
}

void CViewAllDlg::OnWriteSelected()
{
    DecodeSelection();
    if (Port() == nullptr || m_selectedRow < 0 || m_rows[m_selectedRow].readOnly || !m_known[m_selectedRow]) return;
    SetBusy(true);
    emit SequenceRunning();
    bool failed = false;
    {
        CCableLock lock;
        const uint64_t before = Failures(*Port());
        WriteRow(m_rows[m_selectedRow]);
        failed = Failures(*Port()) != before;
    }
    SetBusy(false);
    if (failed) ReportFailure();
}

void CViewAllDlg::OnHide()
{
    DecodeSelection();
    const int line = m_listPosition;
    if (m_selectedRow < 0) return;
    m_rows[m_selectedRow].shown = false;
    FillList(line == m_list->count() - 1 ? line - 1 : line);
    UpdateControls();
}

void CViewAllDlg::OnShowAll()
{
    for (RegisterEntry& row : m_rows) row.shown = true;
    FillList(0);
    UpdateControls();
}

void CViewAllDlg::OnUpdateConfiguration()
{
    if (!m_configurationWritten) {
        Ui().MessageBox(this, {QStringLiteral("Nothing to update.\nWrite at least one configuration register first."),
                               QString::fromLatin1(kTitle), CUserInteraction::Icon::Exclamation,
                               CUserInteraction::Buttons::Ok});
        return;
    }
    if (Port() == nullptr) return;
    SetBusy(true);
    emit SequenceRunning();
    {
        CCableLock lock;
        Port()->UpdateConfiguration();
    }
    SetBusy(false);
    // An update the device did not take is not applied: say so, and keep it pending.
    if (::ReportAcknowledgeFailure(this, Port())) return;
    m_configurationWritten = false;
    Ui().MessageBox(this, {QStringLiteral("Configuration updated"), QString::fromLatin1(kTitle),
                           CUserInteraction::Icon::Information, CUserInteraction::Buttons::Ok});
}

void CViewAllDlg::OnEdit()
{
    DecodeSelection();
    if (m_selectedRow < 0 || m_rows[m_selectedRow].readOnly) return;
    RegisterEntry& row = m_rows[m_selectedRow];
    CBit_Entry_Dlg dialog(this);
    dialog.SetValue(row.value);
    dialog.SetCaption(QString::fromStdString(FormatText("Edit %s Register Value", row.name.c_str())));
    if (dialog.DoModal() != kIdOk) return;
    row.value = dialog.GetValue();
    m_known[m_selectedRow] = true;  // the user's own value
    FillList(m_listPosition);
    UpdateControls();
}
