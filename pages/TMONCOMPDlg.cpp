#include "pages/TMONCOMPDlg.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "pages/PageValueLabel.h"
#include "pages/TextFormat.h"

namespace {

// "\xC2\xB0" is the degree sign in UTF-8.
QString CelsiusText(float celsius)
{
    return QString::fromStdString(FormatText("%.2f \xC2\xB0" "C", static_cast<double>(celsius)));
}

}  // namespace

CTMONCOMPDlg::CTMONCOMPDlg(QWidget* parent) : CReadWritePage(parent)
{

    // One row pair per monitor: the temperature, then comparator A and its
    // threshold above comparator B and its threshold. The lists are filled
    // only when the page is first shown.
    auto* grid = new QGridLayout;
    static const char* const kMonitorNames[tmon::kMonitors] = {"TMON1 =", "TMON2 =", "TMON int ="};
    static const char* const kComparatorNames[2] = {"Comparator A =", "Comparator B ="};
    static const char* const kThresholdNames[2] = {"Threshold A", "Threshold B"};
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    int row = 0;
    for (int t = 0; t < tmon::kMonitors; ++t) {
        if (t > 0) {
            auto* line = new QFrame(this);
            line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
            grid->addWidget(line, row++, 0, 1, 8);
        }
        m_temperatureLabels[t] = new CPageValueLabel(QStringLiteral("-256.00 \u00B0C"), this);
        grid->addWidget(new QLabel(QString::fromLatin1(kMonitorNames[t]), this), row, 0, right);
        grid->addWidget(m_temperatureLabels[t], row, 1);
        for (int k = 0; k < 2; ++k) {
            const int j = 2 * t + k;
            m_comparatorLabels[j] = new CPageValueLabel(QStringLiteral("00"), this);
            m_thresholdBoxes[j] = new QComboBox(this);
            grid->addWidget(new QLabel(QString::fromLatin1(kComparatorNames[k]), this), row + k, 3, right);
            grid->addWidget(m_comparatorLabels[j], row + k, 4, Qt::AlignLeft);
            grid->addWidget(new QLabel(QString::fromLatin1(kThresholdNames[k]), this), row + k, 6, right);
            grid->addWidget(m_thresholdBoxes[j], row + k, 7);
        }
        row += 2;
    }
    const int gap = fontMetrics().horizontalAdvance(QStringLiteral("000"));
    grid->setColumnMinimumWidth(2, gap);
    grid->setColumnMinimumWidth(5, gap);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(5, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(ButtonRow());
}

bool CTMONCOMPDlg::OnInitDialog()
{
    const bool result = CReadWritePage::OnInitDialog();
    {
        CCableLock lock;
        FillThresholdLists();
        ReadDevice();
        ShowPage();
    }
    EnableRead();
    return result;
}

void CTMONCOMPDlg::FillThresholdLists()
{
    QStringList texts;
    for (const std::string& text : tmon::ThresholdListTexts()) texts << QString::fromStdString(text);
    for (QComboBox* box : m_thresholdBoxes) {
        box->clear();
        box->addItems(texts);
        box->setCurrentIndex(-1);
    }
}

void CTMONCOMPDlg::ReadDevice()
{
    CTovin_I2C_Port& port = *Port();
    for (int t = 0; t < tmon::kMonitors; ++t) m_temperatures[t] = port.ReadTemperature(t);

    const uint8_t statA = port.ReadRegister(hmu::kCmdReadMonitor, tmon::kStatARegister);
    const uint8_t statB = port.ReadRegister(hmu::kCmdReadMonitor, tmon::kStatBRegister);
    const tmon::ComparatorStates states = tmon::DecodeComparatorStats(statA, statB);
    for (int j = 0; j < tmon::kComparators; ++j) m_comparators[j] = states[j] ? 1 : 0;

    for (int t = 0; t < tmon::kMonitors; ++t) {
        m_lastR3[t] = port.ReadRegister(hmu::kCmdReadConfig, tmon::Config3Register(t));
        m_lastR4[t] = port.ReadRegister(hmu::kCmdReadConfig, tmon::Config4Register(t));
        m_lastR5[t] = port.ReadRegister(hmu::kCmdReadConfig, tmon::Config5Register(t));
        const tmon::Thresholds codes = tmon::DecodeThresholds(m_lastR3[t], m_lastR4[t], m_lastR5[t]);
        m_codes[2 * t] = codes.codeA;
        m_codes[2 * t + 1] = codes.codeB;
    }
}

void CTMONCOMPDlg::DataToControls()
{
    for (int t = 0; t < tmon::kMonitors; ++t) m_temperatureLabels[t]->setText(CelsiusText(m_temperatures[t]));
    for (int j = 0; j < tmon::kComparators; ++j) {
        m_comparatorLabels[j]->setText(QString::number(m_comparators[j]));
        // A code outside the list's range shows as 0 degrees.
        m_thresholdBoxes[j]->setCurrentIndex(tmon::EntryFromCode(m_codes[j]));
    }
}

void CTMONCOMPDlg::WriteDevice()
{
    CTovin_I2C_Port& port = *Port();
    for (int t = 0; t < tmon::kMonitors; ++t) {
        // No selection gives code 0.
        const tmon::Thresholds codes{tmon::CodeFromEntry(m_thresholdBoxes[2 * t]->currentIndex()),
                                     tmon::CodeFromEntry(m_thresholdBoxes[2 * t + 1]->currentIndex())};
        const tmon::ThresholdRegisters regs = tmon::EncodeThresholds(codes, m_lastR3[t], m_lastR5[t]);
        port.WriteRegister(hmu::kCmdWriteConfig, tmon::Config3Register(t), regs.r3);
        port.WriteRegister(hmu::kCmdWriteConfig, tmon::Config4Register(t), regs.r4);
        port.WriteRegister(hmu::kCmdWriteConfig, tmon::Config5Register(t), regs.r5);
        m_lastR3[t] = regs.r3;
        m_lastR4[t] = regs.r4;
        m_lastR5[t] = regs.r5;
        m_codes[2 * t] = codes.codeA;
        m_codes[2 * t + 1] = codes.codeB;
    }
    port.UpdateConfiguration();
}

QString CTMONCOMPDlg::TemperatureText(int monitor) const
{
    return m_temperatureLabels.at(monitor)->text();
}

QString CTMONCOMPDlg::ComparatorText(int comparator) const
{
    return m_comparatorLabels.at(comparator)->text();
}

QComboBox* CTMONCOMPDlg::ThresholdBox(int comparator) const
{
    return m_thresholdBoxes.at(comparator);
}

int CTMONCOMPDlg::ThresholdCode(int comparator) const
{
    return m_codes.at(comparator);
}
