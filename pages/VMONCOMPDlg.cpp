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

#include "app/TovinAppContext.h"
#include "app/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "pages/TextFormat.h"

namespace {


// Threshold boxes are as wide as their widest entry, "13.292 V".
constexpr int kThresholdChars = 8;

// Shown while the slow register reads run.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A button cannot be pressed again while its own handler runs.
class ButtonBusy {
public:
    explicit ButtonBusy(QPushButton* button) : m_button(button) { m_button->setEnabled(false); }
    ~ButtonBusy() { m_button->setEnabled(true); }
    ButtonBusy(const ButtonBusy&) = delete;
    ButtonBusy& operator=(const ButtonBusy&) = delete;

private:
    QPushButton* m_button;
};

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

CVMONCOMPDlg::CVMONCOMPDlg(QWidget* parent) : CTovinPropertyPage(parent)
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
        grid->addWidget(header, 0, column);
    }
    const int firstRow = 1;
    for (int c = 0; c < vmon::kChannels; ++c) {
        Input& input = m_inputs[c];
        const int row = firstRow + c;
        input.caption = new QLabel(c == vmon::kHvmonChannel ? QStringLiteral("HVMON =")
                                                            : Text(FormatText("VMON%d =", c + 1)),
                                   group);
        input.voltageText = new QLabel(group);
        input.voltageText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        input.glitchFilter = new QCheckBox(tr("Glitch Filter"), group);
        input.windowMode = new QCheckBox(tr("Window Mode"), group);
        grid->addWidget(input.caption, row, kCaption);
        grid->addWidget(input.voltageText, row, kVoltage);
        grid->addWidget(input.glitchFilter, row, kGlitch);
        grid->addWidget(input.windowMode, row, kWindow);
        // Kept in the page's data as they are ticked, like the threshold
        // selections, so that showing the page again does not undo them.

        for (int k = 0; k < 2; ++k) {
            const int j = 2 * c + k;
            Comparator& comparator = m_comparators[j];
            auto* stateCaption = new QLabel(k == 0 ? tr("Comparator A =") : tr("Comparator B ="), group);
            comparator.stateText = new QLabel(group);
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

    m_read = new QPushButton(tr("&Read"), this);
    m_write = new QPushButton(tr("Write"), this);
    m_read->setAutoDefault(false);
    m_write->setAutoDefault(false);
    m_read->setEnabled(false);  // until the first read is shown
    connect(m_read, &QPushButton::clicked, this, &CVMONCOMPDlg::OnRead);
    connect(m_write, &QPushButton::clicked, this, &CVMONCOMPDlg::OnWrite);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
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

QString CVMONCOMPDlg::ComparatorText(int j) const
{
    return m_comparators.at(j).stateText->text();
}

bool CVMONCOMPDlg::OnInitDialog()
{
    CTovinPropertyPage::OnInitDialog();
    // The widest reading keeps its column steady whatever is shown later; the
    // font is the window's by now.
    for (Input& input : m_inputs)
        input.voltageText->setMinimumWidth(input.voltageText->fontMetrics().horizontalAdvance(QStringLiteral("00.000")));
    if (Port() != nullptr) {
        CCableLock lock;
        MeasureVoltages();
        {
            WaitCursor wait;
            ReadComparatorStates();
            ReadThresholds();
        }
        LoadDirections();
        ReadFilterBits();
    }
    for (int j = 0; j < vmon::kComparators; ++j) FillThresholdList(j);
    DataToControls();
    m_read->setEnabled(true);
    return true;
}

void CVMONCOMPDlg::OnRead()
{
    CTovin_I2C_Port* port = Port();
    if (port == nullptr) return;
    ButtonBusy busy(m_read);
    {
        CCableLock lock;
        MeasureVoltages();
        {
            WaitCursor wait;
            ReadComparatorStates();
            ReadThresholds();
        }
        ReadFilterBits();
    }
    // Register reads never raise the flag: this reports what an earlier
    // update of this device (or another access) left behind.
    ReportAcknowledgeFailure();
    DataToControls();
}

void CVMONCOMPDlg::OnWrite()
{
    CTovin_I2C_Port* port = Port();
    if (port == nullptr) return;
    ButtonBusy busy(m_write);
    {
        CCableLock lock;
        for (int c = 0; c < vmon::kChannels; ++c) {
            Input& input = m_inputs[c];
            vmon::ChannelConfig config;
            config.a = vmon::CodeFromEntry(m_comparators[2 * c].threshold->currentIndex());
            config.b = vmon::CodeFromEntry(m_comparators[2 * c + 1].threshold->currentIndex());
            input.glitch = input.glitchFilter->isChecked();
            input.window = input.windowMode->isChecked();
            config.glitchFilter = input.glitch;
            config.windowMode = input.window;
            const vmon::ConfigWrite write = vmon::EncodeConfig(config);
            port->WriteRegister(hmu::kCmdWriteConfig, vmon::Config0Register(c), write.config0);
            // Bits 7..6 of Config1 are not this page's: the mask keeps them.
            port->MaskedWrite(vmon::Config1Register(c), write.config1Value, write.config1Mask);
            port->WriteRegister(hmu::kCmdWriteConfig, vmon::Config2Register(c), write.config2);
        }
        port->UpdateConfiguration();
    }
    StoreDirections();
}

void CVMONCOMPDlg::DataToControls()
{
    for (Input& input : m_inputs) {
        input.voltageText->setText(Text(FormatText("%2.3f", static_cast<double>(input.voltage))));
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

void CVMONCOMPDlg::MeasureVoltages()
{
    for (int c = 0; c < vmon::kChannels; ++c) m_inputs[c].voltage = Port()->MeasureVoltageRanged(c);
}

void CVMONCOMPDlg::ReadComparatorStates()
{
    vmon::ComparatorStates states{};
    for (int j = 0; j < vmon::kComparators; ++j) states[j] = m_comparators[j].state != 0;
    for (const uint8_t select : vmon::kRecordSelects) {
        // The comparator records are read straight after the select, without
        // the ready poll the port's own record read makes.
        Port()->WriteRegister(hmu::kCmdWriteMonitor, hmu::kRegMonitorSelect, select);
        const uint8_t record = Port()->ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorRecord);
        vmon::DecodeMonitorRecord(select, record, states);
    }
    for (int j = 0; j < vmon::kComparators; ++j) m_comparators[j].state = states[j] ? 1 : 0;
}

void CVMONCOMPDlg::ReadThresholds()
{
    for (int c = 0; c < vmon::kChannels; ++c) {
        const uint8_t config0 = Port()->ReadRegister(hmu::kCmdReadConfig, vmon::Config0Register(c));
        const uint8_t config1 = Port()->ReadRegister(hmu::kCmdReadConfig, vmon::Config1Register(c));
        const uint8_t config2 = Port()->ReadRegister(hmu::kCmdReadConfig, vmon::Config2Register(c));
        const vmon::ChannelConfig config = vmon::DecodeConfig(config0, config1, config2);
        m_comparators[2 * c].thresholdItem = vmon::EntryFromCode(config.a);
        m_comparators[2 * c + 1].thresholdItem = vmon::EntryFromCode(config.b);
    }
}

void CVMONCOMPDlg::ReadFilterBits()
{
    for (int c = 0; c < vmon::kChannels; ++c) {
        const uint8_t config1 = Port()->ReadRegister(hmu::kCmdReadConfig, vmon::Config1Register(c));
        const vmon::ChannelConfig config = vmon::DecodeConfig(0, config1, 0);
        m_inputs[c].glitch = config.glitchFilter;
        m_inputs[c].window = config.windowMode;
    }
}

void CVMONCOMPDlg::LoadDirections()
{
    if (!HasApp()) return;
    std::array<uint8_t, vmon::kDirectionsSize> bytes{};
    // Anything but a block of the exact size leaves every direction as it is.
    if (!TheApp().Settings().ReadBinary(vmon::DirectionsSettingName(DeviceIndex()), bytes.data(), bytes.size()))
        return;
    const std::optional<vmon::Directions> directions = vmon::DecodeDirections(bytes);
    if (!directions) return;
    for (int j = 0; j < vmon::kComparators; ++j) m_comparators[j].direction = (*directions)[j];
}

void CVMONCOMPDlg::StoreDirections()
{
    if (!HasApp()) return;
    vmon::Directions directions{};
    for (int j = 0; j < vmon::kComparators; ++j) directions[j] = m_comparators[j].direction;
    const std::vector<uint8_t> bytes = vmon::EncodeDirections(directions);
    TheApp().Settings().WriteBinary(vmon::DirectionsSettingName(DeviceIndex()), bytes.data(), bytes.size());
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
    DataToControls();
}

void CVMONCOMPDlg::OnThresholdChanged(int j, int index)
{
    if (index >= 0) m_comparators[j].thresholdItem = index;
}
