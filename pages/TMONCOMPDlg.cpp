#include "pages/TMONCOMPDlg.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/UserInteraction.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "widgets/PageValueLabel.h"
#include "util/TextFormat.h"

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

void CTMONCOMPDlg::PrepareControls()
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
    m_values = tmon::Read(*Port());
}

void CTMONCOMPDlg::DataToControls()
{
    for (int t = 0; t < tmon::kMonitors; ++t) m_temperatureLabels[t]->setText(CelsiusText(m_values.temperatures[t]));
    for (int j = 0; j < tmon::kComparators; ++j) {
        m_comparatorLabels[j]->setText(QString::number(m_values.comparators[j] ? 1 : 0));
        // A code outside the list's range shows as 0 degrees.
        m_thresholdBoxes[j]->setCurrentIndex(tmon::EntryFromCode(ThresholdCode(j)));
    }
}

void CTMONCOMPDlg::WriteDevice()
{
    std::array<tmon::Thresholds, tmon::kMonitors> codes;
    for (int t = 0; t < tmon::kMonitors; ++t) {
        // No selection gives code 0.
        codes[t] = {tmon::CodeFromEntry(m_thresholdBoxes[2 * t]->currentIndex()),
                    tmon::CodeFromEntry(m_thresholdBoxes[2 * t + 1]->currentIndex())};
    }
    tmon::Write(*Port(), m_values, codes);
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
    const tmon::Thresholds& codes = m_values.thresholds.at(comparator / 2);
    return comparator % 2 == 0 ? codes.codeA : codes.codeB;
}
