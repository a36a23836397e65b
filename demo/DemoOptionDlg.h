#pragma once
// A dialog that sets one option of the demonstration design: a group of
// radio buttons for the values of one main-device field, "Read" and "Write",
// and OK and Cancel. The value last read or written is remembered in the
// application, so OK writes only a choice that is not yet on the board.
//
// The selection is the value of the checked button; with none checked, the
// value of the last one.

#include <QString>
#include <vector>

#include "ui/TovinDialog.h"
#include "device/blocks/DemoDesign.h"

class CTovin_I2C_Port;
class QPushButton;
class QRadioButton;

class CDemoOptionDlg : public CTovinDialog {
    Q_OBJECT
public:
    struct Choice {
        QString text;
        int value;
    };

    void OnRead();
    void OnWrite();
    // OK: writes a choice that is not yet on the board, then closes.
    void accept() override;

    int SelectionValue() const;
    QRadioButton* ChoiceButton(int index) const { return m_buttons.at(index); }
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }

protected:
    CDemoOptionDlg(const QString& title, const QString& group, demodesign::Field field,
                   const std::vector<Choice>& choices, CTovin_I2C_Port& port, int& remembered, QWidget* parent);
    // The dialog opens with a Read.
    void OnInitDialog() override;

private:
    void Select(int value);

    demodesign::Field m_field;
    std::vector<Choice> m_choices;
    CTovin_I2C_Port& m_port;
    int& m_remembered;
    std::vector<QRadioButton*> m_buttons;
    QPushButton* m_read;
    QPushButton* m_write;
};
