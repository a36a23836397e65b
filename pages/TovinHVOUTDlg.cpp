#include "pages/TovinHVOUTDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "widgets/ToggleValueLabel.h"

namespace {

template <size_t N>
void FillList(QComboBox* box, const std::array<std::string_view, N>& entries)
{
    box->clear();
    for (const std::string_view entry : entries)
        box->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
}

// A choice between two radio buttons that tells which one was picked, as 0 or 1.
void Pair(QWidget* owner, QRadioButton* first, QRadioButton* second, const std::function<void(int)>& picked)
{
    auto* group = new QButtonGroup(owner);
    group->addButton(first, 0);
    group->addButton(second, 1);
    QObject::connect(group, &QButtonGroup::idToggled, owner, [picked](int id, bool checked) {
        if (checked) picked(id);
    });
}

}  // namespace

CTovinHVOUTDlg::CTovinHVOUTDlg(QWidget* parent) : CReadWritePage(parent)
{
    // One column per output under its value; the settings' names once, on the left.
    auto* grid = new QGridLayout;
    int row = 0;
    const auto addLabel = [&](const QString& text, int rows) {
        // A radio pair's name goes beside its first button.
        grid->addWidget(new QLabel(text, this), row, 0, rows, 1,
                        Qt::AlignLeft | (rows > 1 ? Qt::AlignTop : Qt::AlignVCenter));
    };
    const auto addLine = [&] {
        auto* line = new QFrame(this);
        line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
        grid->addWidget(line, row++, 0, 1, 1 + hvout::kOutputs);
    };
    const int top = row++;
    addLine();
    addLabel(QStringLiteral("Output Source"), 2);
    const int source = row;
    row += 2;
    addLabel(QStringLiteral("Output Source Signal"), 1);
    const int signal = row++;
    addLine();
    addLabel(QStringLiteral("Output Mode"), 2);
    const int mode = row;
    row += 2;
    addLabel(QStringLiteral("Frequency (kHz)"), 1);
    const int frequency = row++;
    addLabel(QStringLiteral("Duty Cycle (%)"), 1);
    const int duty = row++;
    addLine();
    addLabel(QStringLiteral("Output Settings"), 2);
    const int settings = row;
    row += 2;
    addLabel(QStringLiteral("Pump Voltage (V)"), 1);
    const int pump = row++;
    addLabel(QStringLiteral("Source Current (uA)"), 1);
    const int sourceCurrent = row++;
    addLabel(QStringLiteral("Sink Current (uA)"), 1);
    const int sinkCurrent = row++;

    for (int k = 0; k < hvout::kOutputs; ++k) {
        BuildOutput(k);
        const OutputControls& c = m_controls[k];
        const int column = 1 + k;
        auto* heading = new QHBoxLayout;
        heading->addWidget(new QLabel(QStringLiteral("HVOUT%1 =").arg(k + 1), this));
        heading->addWidget(c.value);
        heading->addStretch();
        grid->addLayout(heading, top, column);
        grid->addWidget(c.interfaceSource, source, column);
        grid->addWidget(c.ocbSource, source + 1, column);
        grid->addWidget(c.signal, signal, column);
        grid->addWidget(c.staticMode, mode, column);
        grid->addWidget(c.switchedMode, mode + 1, column);
        grid->addWidget(c.frequency, frequency, column);
        grid->addWidget(c.dutyCycle, duty, column);
        grid->addWidget(c.chargePump, settings, column);
        grid->addWidget(c.openDrain, settings + 1, column);
        grid->addWidget(c.pumpVoltage, pump, column);
        grid->addWidget(c.sourceCurrent, sourceCurrent, column);
        grid->addWidget(c.sinkCurrent, sinkCurrent, column);
    }
    grid->setHorizontalSpacing(fontMetrics().horizontalAdvance(QStringLiteral("00")));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(ButtonRow());
}

void CTovinHVOUTDlg::BuildOutput(int k)
{
    OutputControls& c = m_controls[k];
    c.value = new CToggleValueLabel(QStringLiteral("00"), this);
    c.interfaceSource = new QRadioButton(QStringLiteral("HMU/IF"), this);
    c.ocbSource = new QRadioButton(QStringLiteral("OCB"), this);
    c.signal = new QComboBox(this);
    c.staticMode = new QRadioButton(QStringLiteral("Static"), this);
    c.switchedMode = new QRadioButton(QStringLiteral("Switched"), this);
    c.frequency = new QComboBox(this);
    c.dutyCycle = new QComboBox(this);
    c.chargePump = new QRadioButton(QStringLiteral("Charge Pump"), this);
    c.openDrain = new QRadioButton(QStringLiteral("Open Drain"), this);
    c.pumpVoltage = new QComboBox(this);
    c.sourceCurrent = new QComboBox(this);
    c.sinkCurrent = new QComboBox(this);
    // The lists are filled after the layout is first worked out.
    for (QComboBox* box : {c.signal, c.frequency, c.dutyCycle, c.pumpVoltage, c.sourceCurrent, c.sinkCurrent})
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    // Each choice goes into the page's values at once; "&Write" sends them.
    hvout::OutputConfig& config = m_values.outputs[k];
    Pair(this, c.interfaceSource, c.ocbSource, [this, k, &config](int id) {
        config.source = static_cast<hvout::Source>(id);
        ApplyEnabling(k);
    });
    Pair(this, c.staticMode, c.switchedMode, [this, k, &config](int id) {
        config.mode = static_cast<hvout::Mode>(id);
        ApplyEnabling(k);
    });
    Pair(this, c.chargePump, c.openDrain, [this, k, &config](int id) {
        config.outputType = static_cast<hvout::OutputType>(id);
        ApplyEnabling(k);
    });
    const auto onPick = [this](QComboBox* box, const std::function<void(int)>& store) {
        connect(box, &QComboBox::currentIndexChanged, this, [store](int index) {
            if (index >= 0) store(index);
        });
    };
    onPick(c.signal, [this, k](int code) {
        m_values.sourceSignals[k] = code;
        ApplyEnabling(k);
    });
    onPick(c.frequency, [&config](int code) { config.frequency = code; });
    onPick(c.dutyCycle, [&config](int code) { config.dutyCycle = code; });
    onPick(c.pumpVoltage, [&config](int code) { config.pumpVoltage = code; });
    onPick(c.sourceCurrent, [&config](int code) { config.sourceCurrent = code; });
    onPick(c.sinkCurrent, [&config](int code) { config.sinkCurrent = code; });
    c.value->SetOnClick([this, k] {
        m_values.levels[k] = !m_values.levels[k];
        ShowValue(k);
    });
}

void CTovinHVOUTDlg::PrepareControls()
{
    for (OutputControls& c : m_controls) {
        // Filling a list selects its first entry: the values are set again when the page is shown.
        const QSignalBlocker blockers[] = {QSignalBlocker(c.signal),      QSignalBlocker(c.frequency),
                                           QSignalBlocker(c.dutyCycle),   QSignalBlocker(c.pumpVoltage),
                                           QSignalBlocker(c.sourceCurrent), QSignalBlocker(c.sinkCurrent)};
        FillList(c.signal, ocb::kSignalNames);
        FillList(c.frequency, hvout::kFrequencies);
        FillList(c.dutyCycle, hvout::kDutyCycles);
        FillList(c.pumpVoltage, hvout::kPumpVoltages);
        FillList(c.sourceCurrent, hvout::kSourceCurrents);
        FillList(c.sinkCurrent, hvout::kSinkCurrents);
    }
}

void CTovinHVOUTDlg::ReadDevice()
{
    m_values = hvout::Read(*Port());
}

void CTovinHVOUTDlg::WriteDevice()
{
    hvout::Write(*Port(), m_values);
}

void CTovinHVOUTDlg::DataToControls()
{
    // Setting a control stores what it shows: copy the values first.
    const hvout::Values values = m_values;
    for (int k = 0; k < hvout::kOutputs; ++k) {
        const OutputControls& c = m_controls[k];
        const hvout::OutputConfig& config = values.outputs[k];
        c.signal->setCurrentIndex(values.sourceSignals[k]);
        c.frequency->setCurrentIndex(config.frequency);
        c.dutyCycle->setCurrentIndex(config.dutyCycle);
        c.pumpVoltage->setCurrentIndex(config.pumpVoltage);
        c.sourceCurrent->setCurrentIndex(config.sourceCurrent);
        c.sinkCurrent->setCurrentIndex(config.sinkCurrent);
        (config.source == hvout::kSourceOcb ? c.ocbSource : c.interfaceSource)->setChecked(true);
        (config.mode == hvout::kSwitched ? c.switchedMode : c.staticMode)->setChecked(true);
        (config.outputType == hvout::kOpenDrain ? c.openDrain : c.chargePump)->setChecked(true);
    }
    m_values = values;
    for (int k = 0; k < hvout::kOutputs; ++k) {
        ShowValue(k);
        ApplyEnabling(k);
    }
}

void CTovinHVOUTDlg::ShowValue(int k)
{
    m_controls[k].value->setText(QString::number(m_values.levels[k] ? 1 : 0));
}

void CTovinHVOUTDlg::ApplyEnabling(int k)
{
    const OutputControls& c = m_controls[k];
    const hvout::OutputConfig& config = m_values.outputs[k];
    c.signal->setEnabled(config.source == hvout::kSourceOcb);
    const bool switched = config.mode == hvout::kSwitched;
    c.frequency->setEnabled(switched);
    c.dutyCycle->setEnabled(switched);
    const bool pump = config.outputType == hvout::kChargePump;
    c.pumpVoltage->setEnabled(pump);
    c.sourceCurrent->setEnabled(pump);
    c.sinkCurrent->setEnabled(pump);
    c.value->setEnabled(hvout::FollowsOutputControl(m_values, k));
}
