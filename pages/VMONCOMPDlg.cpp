#include "pages/VMONCOMPDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QVBoxLayout>

#include "settings/Settings.h"
#include "ui/AppServices.h"
#include "ui/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "util/TextFormat.h"

namespace {


// Threshold boxes are as wide as their widest entry, "13.292 V".
constexpr int kThresholdChars = 8;

// The 384 texts of one (range, direction) list, formatted once per process:
// every page and every comparator with that range and direction shows them.
const QStringList& ThresholdTexts(vmon::Range range, vmon::Direction direction)
{
    static const auto build = [](vmon::Range r, vmon::Direction d) {
        QStringList texts;
        for (const std::string& text : vmon::ThresholdListTexts(r, d)) texts << QString::fromStdString(text);
        return texts;
    };
    static const QStringList lists[2][2] = {
        {build(vmon::Range::Range1, vmon::Direction::Under), build(vmon::Range::Range1, vmon::Direction::Over)},
        {build(vmon::Range::Range2, vmon::Direction::Under), build(vmon::Range::Range2, vmon::Direction::Over)},
    };
    return lists[range == vmon::Range::Range2 ? 1 : 0][direction == vmon::Direction::Over ? 1 : 0];
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

QFrame* Separator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

// The failure report comes before the page is shown again, and initialisation reports none.
CVMONCOMPDlg::CVMONCOMPDlg(QWidget* parent)
    : CReadWritePage(parent, QStringLiteral("Write"), Report::BeforeShowing, false)
{
    BuildControls();
}

void CVMONCOMPDlg::BuildControls()
{
    // Grid columns: caption, voltage | comparator A | comparator B | filter bits.
    enum Column {
        kCaption, kVoltage, kLine1, kStateCaptionA, kStateA, kDetectionA, kThresholdA, kLine2,
        kStateCaptionB, kStateB, kDetectionB, kThresholdB, kLine3, kGlitch, kWindow, kColumns
    };
    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(8);
    for (int column : {kDetectionA, kThresholdA, kDetectionB, kThresholdB}) {
        auto* header = new QLabel(column == kDetectionA || column == kDetectionB ? tr("Detection") : tr("Threshold"),
                                  group);
        grid->addWidget(header, 0, column, Qt::AlignLeft | Qt::AlignBottom);
    }
    // The filter bits are columns of bare check boxes under two-line headings:
    // with the large UI font the window would otherwise be wider than a
    // 1366-pixel screen.
    for (int column : {kGlitch, kWindow}) {
        auto* header = new QLabel(column == kGlitch ? tr("Glitch\nFilter") : tr("Window\nMode"), group);
        header->setAlignment(Qt::AlignCenter);
        grid->addWidget(header, 0, column, Qt::AlignCenter | Qt::AlignBottom);
    }
    const int firstRow = 1;
    for (int c = 0; c < vmon::kChannels; ++c) {
        Input& input = m_inputs[c];
        const int row = firstRow + c;
        input.caption = new QLabel(c == vmon::kHvmonChannel ? QStringLiteral("HVMON =")
                                                            : Text(FormatText("VMON%d =", c + 1)),
                                   group);
        input.voltageText = new QLabel(group);
        MarkValueLabel(input.voltageText);
        input.voltageText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        input.glitchFilter = new QCheckBox(group);
        input.windowMode = new QCheckBox(group);
        input.glitchFilter->setAccessibleName(tr("Glitch Filter"));
        input.windowMode->setAccessibleName(tr("Window Mode"));
        input.glitchFilter->setToolTip(tr("Glitch Filter"));
        input.windowMode->setToolTip(tr("Window Mode"));
        grid->addWidget(input.caption, row, kCaption);
        // The marker sits in a label of its own beside the number, so that
        // the number reads as before and the column does not jump.
        input.marker = new QLabel(group);
        auto* reading = new QHBoxLayout;
        reading->setSpacing(1);
        reading->addWidget(input.voltageText);
        reading->addWidget(input.marker);
        grid->addLayout(reading, row, kVoltage);
        grid->addWidget(input.glitchFilter, row, kGlitch, Qt::AlignCenter);
        grid->addWidget(input.windowMode, row, kWindow, Qt::AlignCenter);
        // Kept in the page's data as they are ticked, like the threshold
        // selections, so that showing the page again does not undo them.

        for (int k = 0; k < 2; ++k) {
            const int j = 2 * c + k;
            Comparator& comparator = m_comparators[j];
            auto* stateCaption = new QLabel(k == 0 ? tr("Comparator A =") : tr("Comparator B ="), group);
            comparator.stateText = new QLabel(group);
            MarkValueLabel(comparator.stateText);
            comparator.detection = new QComboBox(group);
            comparator.detection->addItems({tr("Under-Voltage"), tr("Over-Voltage")});
            comparator.threshold = new QComboBox(group);
            // Sized from the font, not from 384 entries, which are not there yet.
            comparator.threshold->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            comparator.threshold->setMinimumContentsLength(kThresholdChars);
            grid->addWidget(stateCaption, row, k == 0 ? kStateCaptionA : kStateCaptionB);
            grid->addWidget(comparator.stateText, row, k == 0 ? kStateA : kStateB);
            grid->addWidget(comparator.detection, row, k == 0 ? kDetectionA : kDetectionB);
            grid->addWidget(comparator.threshold, row, k == 0 ? kThresholdA : kThresholdB);
            connect(comparator.detection, &QComboBox::currentIndexChanged, this,
                    [this, j](int index) { OnDetectionChanged(j, index); });
            connect(comparator.threshold, &QComboBox::currentIndexChanged, this,
                    [this, j](int index) { OnThresholdChanged(j, index); });
        }
    }
    for (int column : {kLine1, kLine2, kLine3})
        grid->addWidget(Separator(group), 0, column, vmon::kChannels + firstRow, 1);
    grid->setColumnStretch(kColumns, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(ButtonRow());
    layout->addStretch();
}

QString CVMONCOMPDlg::InputCaption(int c) const
{
    return m_inputs.at(c).caption->text();
}

QString CVMONCOMPDlg::VoltageText(int c) const
{
    return m_inputs.at(c).voltageText->text();
}

QString CVMONCOMPDlg::VoltageMarker(int c) const
{
    return m_inputs.at(c).marker->text();
}

QString CVMONCOMPDlg::VoltageToolTip(int c) const
{
    return m_inputs.at(c).voltageText->toolTip();
}

QString CVMONCOMPDlg::ComparatorText(int j) const
{
    return m_comparators.at(j).stateText->text();
}

void CVMONCOMPDlg::PrepareControls()
{
    // The widest reading keeps its column steady whatever is shown later; the
    // font is the window's by now.
    for (Input& input : m_inputs) {
        input.voltageText->setMinimumWidth(input.voltageText->fontMetrics().horizontalAdvance(QStringLiteral("00.000")));
        // Room for the marker whether or not it is shown.
        const QString shown = input.marker->text();
        input.marker->setText(QStringLiteral("*"));
        input.marker->setFixedWidth(input.marker->sizeHint().width());
        input.marker->setText(shown);
    }
    LoadDirections();
    for (int j = 0; j < vmon::kComparators; ++j) FillThresholdList(j);
}

void CVMONCOMPDlg::ReadDevice()
{
    vmon::Values values;
    vmon::MeasureVoltages(*Port(), values);
    {
        WaitCursor wait;
        vmon::ReadComparatorStates(*Port(), values);
        vmon::ReadThresholds(*Port(), values);
    }
    vmon::ReadFilterBits(*Port(), values);
    for (int c = 0; c < vmon::kChannels; ++c) {
        Input& input = m_inputs[c];
        const vmon::ChannelConfig& channel = values.channels[c];
        input.voltage = values.volts[c];
        input.attenuated = values.attenuated[c];
        input.glitch = channel.glitchFilter;
        input.window = channel.windowMode;
        m_comparators[2 * c].thresholdItem = vmon::EntryFromCode(channel.a);
        m_comparators[2 * c + 1].thresholdItem = vmon::EntryFromCode(channel.b);
    }
    for (int j = 0; j < vmon::kComparators; ++j) m_comparators[j].state = values.comparators[j] ? 1 : 0;
}

void CVMONCOMPDlg::WriteDevice()
{
    std::array<vmon::ChannelConfig, vmon::kChannels> channels;
    for (int c = 0; c < vmon::kChannels; ++c) {
        Input& input = m_inputs[c];
        input.glitch = input.glitchFilter->isChecked();
        input.window = input.windowMode->isChecked();
        channels[c].a = vmon::CodeFromEntry(m_comparators[2 * c].threshold->currentIndex());
        channels[c].b = vmon::CodeFromEntry(m_comparators[2 * c + 1].threshold->currentIndex());
        channels[c].glitchFilter = input.glitch;
        channels[c].windowMode = input.window;
    }
    vmon::Write(*Port(), channels);
    StoreDirections();
}

void CVMONCOMPDlg::DataToControls()
{
    for (Input& input : m_inputs) {
        input.voltageText->setText(Text(FormatText("%2.3f", static_cast<double>(input.voltage))));
        ShowAttenuated(input, input.attenuated);
        const QSignalBlocker glitch(input.glitchFilter);
        const QSignalBlocker window(input.windowMode);
        input.glitchFilter->setChecked(input.glitch);
        input.windowMode->setChecked(input.window);
    }
    for (Comparator& comparator : m_comparators) {
        comparator.stateText->setText(Text(FormatText("%d", comparator.state)));
        const QSignalBlocker detection(comparator.detection);
        const QSignalBlocker threshold(comparator.threshold);
        comparator.detection->setCurrentIndex(static_cast<int>(comparator.direction));
        comparator.threshold->setCurrentIndex(comparator.thresholdItem);
    }
}

void CVMONCOMPDlg::ShowUnread()
{
    CReadWritePage::ShowUnread();
    for (Input& input : m_inputs) ShowAttenuated(input, false);
    for (Comparator& comparator : m_comparators) {
        const QSignalBlocker detection(comparator.detection);
        comparator.detection->setCurrentIndex(static_cast<int>(comparator.direction));
    }
}

void CVMONCOMPDlg::ShowAttenuated(Input& input, bool attenuated)
{
    // The number is kept as the device gave it; only its reading is marked.
    const QString tip = attenuated ? QStringLiteral("read through the attenuator; not rescaled") : QString();
    input.marker->setText(attenuated ? QStringLiteral("*") : QString());
    input.marker->setToolTip(tip);
    input.voltageText->setToolTip(tip);
}

void CVMONCOMPDlg::LoadDirections()
{
    if (!Services()) return;
    std::array<uint8_t, vmon::kDirectionsSize> bytes{};
    // Anything but a block of the exact size leaves every direction as it is.
    if (!Services()->Settings().ReadBinary(vmon::DirectionsSettingName(DeviceIndex()), bytes.data(), bytes.size()))
        return;
    const std::optional<vmon::Directions> directions = vmon::DecodeDirections(bytes);
    if (!directions) return;
    for (int j = 0; j < vmon::kComparators; ++j) m_comparators[j].direction = (*directions)[j];
}

void CVMONCOMPDlg::StoreDirections()
{
    if (!Services()) return;
    vmon::Directions directions{};
    for (int j = 0; j < vmon::kComparators; ++j) directions[j] = m_comparators[j].direction;
    const std::vector<uint8_t> bytes = vmon::EncodeDirections(directions);
    Services()->Settings().WriteBinary(vmon::DirectionsSettingName(DeviceIndex()), bytes.data(), bytes.size());
}

void CVMONCOMPDlg::FillThresholdList(int j)
{
    Comparator& comparator = m_comparators[j];
    QComboBox* box = comparator.threshold;
    const QSignalBlocker block(box);  // filling is not a selection by the user
    box->setUpdatesEnabled(false);
    box->clear();
    box->addItems(ThresholdTexts(vmon::ComparatorRange(j), comparator.direction));
    box->setUpdatesEnabled(true);
}

void CVMONCOMPDlg::OnDetectionChanged(int j, int index)
{
    if (index < 0) return;
    const vmon::Direction direction = index == 1 ? vmon::Direction::Over : vmon::Direction::Under;
    Comparator& comparator = m_comparators[j];
    if (direction == comparator.direction) return;
    comparator.direction = direction;
    // Only the texts change; the selected entry stays, and the device is not
    // touched until "Write".
    FillThresholdList(j);
    ShowControls();
}

void CVMONCOMPDlg::OnThresholdChanged(int j, int index)
{
    if (index >= 0) m_comparators[j].thresholdItem = index;
}
