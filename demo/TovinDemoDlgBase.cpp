#include "demo/TovinDemoDlgBase.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "ui/AppServices.h"
#include "demo/DemoDialogSupport.h"
#include "demo/PowerNetworkChart.h"
#include "device/Tovin_I2C_Port.h"

namespace {

// Lines of text a box shows before it scrolls.
constexpr int kVisibleLines = 5;

// The font the instruction texts are written in, zoomed with the large UI font.
QFont TextFont(bool large)
{
    QFont font = QApplication::font();
    const double zoom = large ? CTovinDemoDlgBase::kLargeFontZoom : 1.0;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * zoom);
    else
        font.setPixelSize(static_cast<int>(font.pixelSize() * zoom + 0.5));
    return font;
}

// A read-only box for an instruction text that asks for room for a few
// lines of it and scrolls the rest; it grows with the window.
class CInstructionBox : public QTextEdit {
public:
    CInstructionBox(QWidget* parent, bool large) : QTextEdit(parent)
    {
        setReadOnly(true);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // The system button-face colour behind the text.
        QPalette palette = this->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        setPalette(palette);
        document()->setDefaultFont(TextFont(large));
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(document()->defaultFont());
        const int frame = 2 * frameWidth() + 2 * static_cast<int>(document()->documentMargin());
        return {metrics.averageCharWidth() * 70 + frame, metrics.lineSpacing() * kVisibleLines + frame};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

QWidget* InGroup(const QString& title, QWidget* content, QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(content);
    return group;
}

}  // namespace

CTovinDemoDlgBase::CTovinDemoDlgBase(CAppServices& services, QWidget* parent)
    : CTovinDialog(parent), m_app(services)
{
    setWindowTitle(QStringLiteral("ZENT I2C Demonstration"));
    const bool large = m_app.LargeUiFont();
    m_steps = new CInstructionBox(this, large);
    m_observations = new CInstructionBox(this, large);
    m_chart = new CPowerNetworkChart(this);
    m_chart->SetPort(&m_app.Port());
    m_done = new QPushButton(QStringLiteral("Do&ne"), this);
    m_done->setAutoDefault(false);
    connect(m_done, &QPushButton::clicked, this, &CTovinDemoDlgBase::reject);

    auto* chartGroup = new QGroupBox(QStringLiteral("Power Network Window"), this);
    auto* chartLayout = new QHBoxLayout(chartGroup);
    chartLayout->addStretch();
    chartLayout->addWidget(m_chart);
    chartLayout->addStretch();

    m_settings = new QVBoxLayout;
    auto* column = new QVBoxLayout;
    column->addLayout(m_settings);
    column->addStretch();
    auto* doneRow = new QHBoxLayout;
    doneRow->addStretch();
    doneRow->addWidget(m_done);
    column->addLayout(doneRow);

    auto* lower = new QHBoxLayout;
    lower->addWidget(chartGroup);
    lower->addLayout(column, 1);

    auto* top = new QVBoxLayout(this);
    top->addWidget(InGroup(QStringLiteral("Steps"), m_steps, this), 1);
    top->addWidget(InGroup(QStringLiteral("Observations"), m_observations, this), 1);
    top->addLayout(lower);
}

CTovinDemoDlgBase::~CTovinDemoDlgBase() = default;

CTovin_I2C_Port& CTovinDemoDlgBase::Port() const
{
    return m_app.Port();
}

void CTovinDemoDlgBase::done(int result)
{
    if (!m_closed) {
        m_closed = true;
        if (IsInitialised()) OnClosing();
        // The timer ends with the window in any case.
        m_chart->StopTimer();
    }
    CTovinDialog::done(result);
}

void CTovinDemoDlgBase::BaseOpening()
{
    setWindowTitle(QStringLiteral("ZENT I2C Demonstration - ") + m_subtitle);
    m_chart->Refresh();
    m_chart->StartTimer(CPowerNetworkChart::kTimerPeriod);
}

void CTovinDemoDlgBase::LoadSteps(DemoText text)
{
    LoadText(m_steps, text);
}

void CTovinDemoDlgBase::LoadObservations(DemoText text)
{
    LoadText(m_observations, text);
}

void CTovinDemoDlgBase::LoadText(QTextEdit* box, DemoText text)
{
    const char* html = DemoTextHtml(text);
    if (html == nullptr) return;
    box->setHtml(QString::fromUtf8(html));
    box->document()->setDefaultFont(TextFont(m_app.LargeUiFont()));
}

bool CTovinDemoDlgBase::RunSequence(const std::function<bool()>& sequence)
{
    return demo::RunMainSequence(this, Port(), sequence);
}
