#include "pages/TovinDataLog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Gpio.h"
#include "link/CableLock.h"

using logsel::Group;

namespace {

// Boxes per column inside a group: VMON and GPIO take two columns of five.
constexpr int kRowsPerColumn = 5;

}  // namespace

CTovinDataLog::CTovinDataLog(QWidget* parent) : CTovinPropertyPage(parent)
{
    const auto group = [this](Group g) {
        auto* box = new QGroupBox(QString::fromLatin1(logsel::GroupTitle(g).data()), this);
        auto* grid = new QGridLayout(box);
        const logsel::GroupRange range = logsel::RangeOf(g);
        for (int k = 0; k < range.count; ++k) {
            const int channel = range.first + k;
            const std::string_view label = logsel::ChannelLabel(channel);
            m_boxes[channel] = new QCheckBox(QString::fromLatin1(label.data(), static_cast<int>(label.size())), box);
            grid->addWidget(m_boxes[channel], k % kRowsPerColumn, k / kRowsPerColumn);
        }
        grid->setRowStretch(kRowsPerColumn, 1);  // the boxes stay together at the top
        return box;
    };

    // Ten-box groups above, the small ones below them.
    auto* groups = new QGridLayout;
    groups->addWidget(group(Group::Vmon), 0, 0);
    groups->addWidget(group(Group::Gpio), 0, 1);
    groups->addWidget(group(Group::Hvout), 0, 2);
    groups->addWidget(group(Group::Tmon), 1, 0);
    groups->addWidget(group(Group::Imon), 1, 1);

    auto* selectAll = new QPushButton(QStringLiteral("&Select All"), this);
    auto* clearAll = new QPushButton(QStringLiteral("&Clear All"), this);
    for (QPushButton* b : {selectAll, clearAll}) b->setAutoDefault(false);
    connect(selectAll, &QPushButton::clicked, this, &CTovinDataLog::OnSelectAll);
    connect(clearAll, &QPushButton::clicked, this, &CTovinDataLog::OnClearAll);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(selectAll);
    buttons->addWidget(clearAll);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Check the Items below to be recorded in the Log File."), this));
    layout->addLayout(groups);
    layout->addLayout(buttons);
    layout->addStretch();
}

bool CTovinDataLog::HasGpio7() const
{
    return gpio::PinUsable(m_identification, gpio::kGpio7);
}

bool CTovinDataLog::OnInitDialog()
{
    CCableLock lock;
    const bool result = CTovinPropertyPage::OnInitDialog();
    if (Port() != nullptr) m_identification = gpio::ReadIdentification(*Port());
    for (int c = 0; c < logsel::kChannels; ++c)
        m_boxes[c]->setChecked(m_selection != nullptr && logsel::Selected(*m_selection, DeviceIndex(), c));
    if (!HasGpio7()) {
        m_boxes[logsel::kGpio7Channel]->setEnabled(false);
        m_boxes[logsel::kGpio7Channel]->setChecked(false);
    }
    return result;
}

void CTovinDataLog::SetAll(bool checked)
{
    for (QCheckBox* box : m_boxes) box->setChecked(checked);
    if (!HasGpio7()) m_boxes[logsel::kGpio7Channel]->setChecked(false);
}

void CTovinDataLog::OnSelectAll()
{
    SetAll(true);
}

void CTovinDataLog::OnClearAll()
{
    SetAll(false);
}

void CTovinDataLog::OnOK()
{
    if (m_selection == nullptr) return;
    for (int c = 0; c < logsel::kChannels; ++c)
        (*m_selection)[logsel::Index(DeviceIndex(), c)] = m_boxes[c]->isChecked() ? 1 : 0;
}
