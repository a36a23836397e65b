#pragma once
// Small pieces the demonstration and option dialogs share.

#include <QAbstractButton>
#include <QComboBox>
#include <QPointer>
#include <functional>
#include <initializer_list>
#include <vector>

class CTovin_I2C_Port;
class QWidget;

namespace demo {

// The device sequence of a handler the user started, in one cable lock; then,
// with the lock released, when the main device did not answer, the program's
// acknowledge-failure message and the port's flag cleared. Gives whether it
// answered.
bool RunMainSequence(QWidget* parent, CTovin_I2C_Port& port, const std::function<bool()>& sequence);

// Selects entry `index` of a list; an index the list does not have leaves
// it without a choice.
inline void SelectEntry(QComboBox* box, int index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

// Checks button `index` of a group of radio buttons; an index the group does
// not have leaves none checked.
inline void SelectButton(std::initializer_list<QAbstractButton*> buttons, int index)
{
    int i = 0;
    for (QAbstractButton* b : buttons) {
        const bool on = i++ == index;
        // Exclusive buttons cannot all be unchecked one by one.
        b->setAutoExclusive(false);
        b->setChecked(on);
        b->setAutoExclusive(true);
    }
}

// Disables buttons while a handler runs, so that a nested message loop (a
// message box) cannot start it again.
class BusyButtons {
public:
    BusyButtons(std::initializer_list<QAbstractButton*> buttons)
    {
        for (QAbstractButton* b : buttons) {
            m_buttons.emplace_back(b);
            b->setEnabled(false);
        }
    }
    ~BusyButtons()
    {
        for (const QPointer<QAbstractButton>& b : m_buttons)
            if (b) b->setEnabled(true);
    }
    BusyButtons(const BusyButtons&) = delete;
    BusyButtons& operator=(const BusyButtons&) = delete;

private:
    std::vector<QPointer<QAbstractButton>> m_buttons;
};

}  // namespace demo
