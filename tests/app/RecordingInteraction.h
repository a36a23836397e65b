#pragma once
// Answers every message box and modal run at once and records what was
// shown, so that whole commands run headless and their texts can be checked.

#include <QApplication>
#include <QDialog>
#include <deque>
#include <functional>
#include <vector>

#include "ui/UserInteraction.h"

class CRecordingInteraction : public CUserInteraction {
public:
    struct Shown {
        QString text;
        QString title;  // as the user sees it: the application name when none was given
        Icon icon;
        Buttons buttons;
    };

    std::vector<Shown> messages;
    std::deque<int> messageAnswers;      // default: OK (or Yes)
    std::vector<QString> modalTitles;    // window titles of the modal runs, in order
    // Called with each modal dialog once it is shown; returns how to end it,
    // unless it ended itself: kIdOk presses OK (accept), kIdCancel presses
    // Cancel (reject), anything else ends it with that result. Default: Cancel.
    std::function<int(QDialog&)> onModal;
    std::deque<QString> saveAnswers;     // default: cancelled
    std::deque<QString> openAnswers;     // default: cancelled

    CUserInteraction* previous = nullptr;

    CRecordingInteraction() { previous = SetUserInteraction(this); }
    ~CRecordingInteraction() override { SetUserInteraction(previous); }

    int MessageBox(QWidget*, const Message& message) override
    {
        messages.push_back({message.text,
                            message.title.isEmpty() ? QString::fromLatin1(kApplicationName) : message.title,
                            message.icon, message.buttons});
        if (!messageAnswers.empty()) {
            const int answer = messageAnswers.front();
            messageAnswers.pop_front();
            return answer;
        }
        return message.buttons == Buttons::YesNo ? kIdYes : kIdOk;
    }

    int RunModal(QDialog& dialog) override
    {
        modalTitles.push_back(dialog.windowTitle());
        dialog.setResult(-1);
        dialog.show();
        QApplication::processEvents();
        const int answer = onModal ? onModal(dialog) : kIdCancel;
        if (dialog.isVisible()) {
            if (answer == kIdOk) dialog.accept();
            else if (answer == kIdCancel) dialog.reject();
            else dialog.done(answer);
        }
        return dialog.result();
    }

    QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        if (saveAnswers.empty()) return {};
        const QString answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        if (openAnswers.empty()) return {};
        const QString answer = openAnswers.front();
        openAnswers.pop_front();
        return answer;
    }

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const auto& m : messages) texts << m.text;
        return texts;
    }
};
