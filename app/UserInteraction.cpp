#include "app/UserInteraction.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

const char* const kApplicationName = "ZENT2 I2C Demo";

namespace {

class CQtUserInteraction : public CUserInteraction {
public:
    int MessageBox(QWidget* parent, const Message& message) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(message.title.isEmpty() ? QString::fromLatin1(kApplicationName) : message.title);
        box.setText(message.text);
        switch (message.icon) {
        case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case Icon::Error: box.setIcon(QMessageBox::Critical); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        }
        switch (message.buttons) {
        case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        }
        switch (box.exec()) {
        case QMessageBox::Cancel: return kIdCancel;
        case QMessageBox::Yes: return kIdYes;
        case QMessageBox::No: return kIdNo;
        default: return kIdOk;
        }
    }

    int RunModal(QDialog& dialog) override { return dialog.exec(); }

    QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& defaultPath,
                            const QString& filter) override
    {
        return QFileDialog::getSaveFileName(parent, caption, defaultPath, filter);
    }

    QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter) override
    {
        return QFileDialog::getOpenFileName(parent, caption, directory, filter);
    }
};

CQtUserInteraction g_qtInteraction;
CUserInteraction* g_interaction = &g_qtInteraction;

}  // namespace

CUserInteraction& Ui()
{
    return *g_interaction;
}

CUserInteraction* SetUserInteraction(CUserInteraction* interaction)
{
    CUserInteraction* previous = g_interaction;
    g_interaction = interaction ? interaction : &g_qtInteraction;
    return previous;
}

int ShowExclamation(QWidget* parent, const QString& text, const QString& title)
{
    return Ui().MessageBox(parent, {text, title, CUserInteraction::Icon::Exclamation, CUserInteraction::Buttons::Ok});
}
