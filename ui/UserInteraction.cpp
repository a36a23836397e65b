#include "ui/UserInteraction.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QWindow>

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

    int RunModal(QDialog& dialog) override
    {
        // Modal to the window the command came from rather than to the whole
        // program, so that the modeless logging window stays usable beside it.
        if (dialog.windowModality() == Qt::NonModal) {
            QWidget* owner = dialog.parentWidget() ? dialog.parentWidget()->window() : QApplication::activeWindow();
            if (owner != nullptr && owner != &dialog && owner->windowHandle() != nullptr) {
                dialog.winId();  // the native window, to be given its owner
                if (dialog.parentWidget() == nullptr && dialog.windowHandle() != nullptr)
                    dialog.windowHandle()->setTransientParent(owner->windowHandle());
                dialog.setWindowModality(Qt::WindowModal);
            }
        }
        return dialog.exec();
    }

    QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& defaultPath,
                            const QString& filter) override
    {
        QFileDialog dialog(parent, caption, defaultPath, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // A name typed without an extension gets the filter's, before the
        // dialog asks whether to replace an existing file.
        const QRegularExpressionMatch pattern = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
        if (pattern.hasMatch()) dialog.setDefaultSuffix(pattern.captured(1));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
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
