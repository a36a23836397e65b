#include "demo/TovinDemo1Dlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/AppServices.h"
#include "demo/DemoDialogSupport.h"
#include "demo/PowerNetworkChart.h"
#include "device/blocks/DemoDesign.h"

namespace {

// The remembered values of this dialog in the application.
constexpr int kRemRails = 0;
constexpr int kRemResets = 1;

// The rails of the external HMU device.
constexpr int kExpansionRails[] = {2, 3, 5};  // POT3, POT4, DC-DC8

}  // namespace

CTovinDemo1Dlg::CTovinDemo1Dlg(CAppServices& services, QWidget* parent) : CTovinDemoDlgBase(services, parent)
{
    auto* group = new QGroupBox(QStringLiteral("Settings"), this);
    m_tenRails = new QRadioButton(QStringLiteral("1-10 Rails"), group);
    m_twentyRails = new QRadioButton(QStringLiteral("11-20 Rails"), group);
    m_resets = new QComboBox(group);
    m_resets->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    m_read = new QPushButton(QStringLiteral("Read"), group);
    m_write = new QPushButton(QStringLiteral("Write"), group);
    for (QPushButton* b : {m_read, m_write}) b->setAutoDefault(false);
    connect(m_read, &QPushButton::clicked, this, &CTovinDemo1Dlg::OnRead);
    connect(m_write, &QPushButton::clicked, this, &CTovinDemo1Dlg::OnWrite);

    auto* layout = new QVBoxLayout(group);
    layout->addWidget(m_tenRails);
    layout->addWidget(m_twentyRails);
    auto* resets = new QFormLayout;
    resets->addRow(QStringLiteral("Resets per Device"), m_resets);
    layout->addLayout(resets);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    layout->addLayout(buttons);
    SettingsColumn()->addWidget(group);
}

void CTovinDemo1Dlg::OnInitDialog()
{
    RunSequence([this] {
        // Read first, so that the chart starts with the right rails.
        const bool answered = ReadSettings();
        BaseOpening();
        return answered;
    });
}

void CTovinDemo1Dlg::RailsChange(int rails)
{
    App().Remembered().demo1Values[kRemRails] = rails;
    const bool twenty = rails != 0;
    LoadSteps(twenty ? DemoText::Steps20Rails : DemoText::Steps10Rails);
    LoadObservations(twenty ? DemoText::Observations20Rails : DemoText::Observations10Rails);
    for (int rail : kExpansionRails)
        Chart().SetRailState(rail, twenty ? demodesign::kRailGood : demodesign::kRailNotInUse);
}

bool CTovinDemo1Dlg::ReadSettings()
{
    const demodesign::Sequencing read = demodesign::ReadSequencing(Port());
    App().Remembered().demo1Values[kRemResets] = read.resets;
    RailsChange(read.rails);
    // Three resets per device and more do not exist: then nothing is chosen.
    demo::SelectEntry(m_resets, read.resets);
    demo::SelectButton({m_tenRails, m_twentyRails}, read.rails);
    return read.answered;
}

void CTovinDemo1Dlg::OnRead()
{
    demo::BusyButtons busy({m_read, m_write});
    RunSequence([this] { return ReadSettings(); });
}

void CTovinDemo1Dlg::OnWrite()
{
    demo::BusyButtons busy({m_read, m_write});
    // No choice writes 3, the value the register held when it was read.
    const int resets = m_resets->currentIndex() & 3;
    const int rails = m_tenRails->isChecked() ? 0 : 1;
    App().Remembered().demo1Values[kRemResets] = resets;
    RailsChange(rails);
    RunSequence([&] { return demodesign::WriteSequencing(Port(), rails, resets); });
}
