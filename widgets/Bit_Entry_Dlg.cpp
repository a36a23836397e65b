#include "widgets/Bit_Entry_Dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kBits = 8;

// Column of a bit: bit 7 at the left.
int ColumnOf(int bit)
{
    return kBits - 1 - bit;
}

}  // namespace

CBit_Entry_Dlg::CBit_Entry_Dlg(QWidget* parent) : CTovinDialog(parent)
{
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(fontMetrics().horizontalAdvance(QLatin1Char('0')));

    auto* msb = new QLabel(QStringLiteral("MSB"), this);
    auto* lsb = new QLabel(QStringLiteral("LSB"), this);
    grid->addWidget(msb, 0, ColumnOf(7), Qt::AlignHCenter);
    grid->addWidget(lsb, 0, ColumnOf(0), Qt::AlignHCenter);

    // A cell is a box a few digits wide, so that it is easy to hit.
    const QFontMetrics metrics = fontMetrics();
    const QSize cellSize(metrics.horizontalAdvance(QStringLiteral("000")), metrics.height() * 3 / 2);
    for (int bit = 0; bit < kBits; ++bit) {
        auto* number = new QLabel(QString::number(bit), this);
        number->setObjectName(QStringLiteral("bitNumber%1").arg(bit));
        number->setAlignment(Qt::AlignCenter);
        auto* cell = new QLabel(this);
        cell->setObjectName(QStringLiteral("bitCell%1").arg(bit));
        cell->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        cell->setAlignment(Qt::AlignCenter);
        cell->setMinimumSize(cellSize);
        for (QLabel* clickable : {number, cell}) {
            clickable->setCursor(Qt::PointingHandCursor);
            clickable->installEventFilter(this);
        }
        grid->addWidget(number, 1, ColumnOf(bit));
        grid->addWidget(cell, 2, ColumnOf(bit));
        m_numbers[bit] = number;
        m_cells[bit] = cell;
    }

    auto* instruction = new QLabel(QStringLiteral("Click the bit to toggle it's value then click OK."), this);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CBit_Entry_Dlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CBit_Entry_Dlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(metrics.height() / 2);
    layout->addWidget(instruction);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowBits();
}

void CBit_Entry_Dlg::SetValue(int value)
{
    m_value = value & 0xFF;
    ShowBits();
}

void CBit_Entry_Dlg::SetCaption(const QString& caption)
{
    setWindowTitle(caption);
}

bool CBit_Entry_Dlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        for (int bit = 0; bit < kBits; ++bit) {
            QLabel* target = watched == m_cells[bit] ? m_cells[bit] : watched == m_numbers[bit] ? m_numbers[bit] : nullptr;
            // A press dragged off the control before release is no click.
            if (target != nullptr && mouse->button() == Qt::LeftButton &&
                target->rect().contains(mouse->position().toPoint())) {
                ToggleBit(bit);
                return true;
            }
        }
    }
    return CTovinDialog::eventFilter(watched, event);
}

void CBit_Entry_Dlg::ToggleBit(int bit)
{
    m_value = (m_value ^ (1 << bit)) & 0xFF;
    ShowBits();
}

void CBit_Entry_Dlg::ShowBits()
{
    for (int bit = 0; bit < kBits; ++bit) {
        m_cells[bit]->setText((m_value & (1 << bit)) != 0 ? QStringLiteral("1") : QStringLiteral("0"));
    }
}
