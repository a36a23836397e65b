#pragma once
// Every message box, modal run of a window and file dialog goes through
// one replaceable object, so whole commands can run headless in tests (a
// recorder answers at once) and the texts shown can be checked exactly.

#include <QString>

class QDialog;
class QWidget;

// Results, as the windows of this program report them.
enum DialogResult : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdYes = 6,
    kIdNo = 7,
};

class CUserInteraction {
public:
    enum class Icon { None, Information, Exclamation, Error, Question };
    enum class Buttons { Ok, OkCancel, YesNo };

    struct Message {
        QString text;
        QString title;  // empty: the application name
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
    };

    virtual ~CUserInteraction() = default;

    // Returns kIdOk, kIdCancel, kIdYes or kIdNo.
    virtual int MessageBox(QWidget* parent, const Message& message) = 0;
    // Runs the dialog modally and returns the result it ended with.
    virtual int RunModal(QDialog& dialog) = 0;
    // Returns the chosen path, or an empty string when cancelled.
    virtual QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& defaultPath,
                                    const QString& filter) = 0;
    // Returns the chosen existing file, or an empty string when cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                    const QString& filter) = 0;
};

// The title of a message box raised without one of its own.
extern const char* const kApplicationName;  // "ZENT2 I2C Demo"

CUserInteraction& Ui();
// Installs another interaction (tests); null restores the real one. Returns the previous.
CUserInteraction* SetUserInteraction(CUserInteraction* interaction);

// Shorthand for the most common box: exclamation icon, OK button.
int ShowExclamation(QWidget* parent, const QString& text, const QString& title = QString());
