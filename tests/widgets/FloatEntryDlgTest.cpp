// The decimal entry keypad dialog, driven by button clicks and keystrokes.

#include <gtest/gtest.h>

#include "tests/app/RecordingInteraction.h"
#include "tests/widgets/WidgetsTestSupport.h"
#include "widgets/FloatEntryDlg.h"

namespace {

struct EntryCase {
    float value, defaultValue, minimum, maximum;
    int digits;
    const char* actions;   // '|'-separated button texts, or key:c for a keystroke on the dialog
    const char* display;   // after the actions (while the dialog is open)
    const char* messages;  // '|'-separated texts of the message boxes raised
    int result;            // Cancel when the actions leave the dialog open
    float got;             // GetValue() afterwards
};

TEST(FloatEntryDlg, KeypadLimitsAndRangeCheck)
{
    const char* const overflow = "Only Enter 5 Digits!";
    const char* const range = "Must be a Resistance between  0.1 and 100.0 !";
    const EntryCase cases[] = {
        {5, 5, 0.1f, 100, 5, "", " 5.0", "", kIdCancel, 5},
        {5, 5, 0.1f, 100, 5, "&1|&2|&OK", " 5.01", overflow, kIdOk, 5.01f},  // the blank counts
        {5, 5, 0.1f, 100, 5, "Clea&r|&OK", "", range, kIdCancel, 0},
        {5, 5, 0.1f, 100, 5, "Clea&r|&1|&.|&2|&.|&3|&OK", "1.2.3", "", kIdOk, 1.2f},
        {5, 5, 0.1f, 100, 5, "Clea&r|&1|&0|&0|&OK", "100", "", kIdOk, 100},
        {5, 5, 0.1f, 100, 5, "Clea&r|&0|&.|&1|&OK", "0.1", "", kIdOk, 0.1f},
        {5, 5, 0.1f, 100, 5, "Clea&r|&2|&0|&0|&OK|&Backspace|&OK", "20", range, kIdOk, 20},
        {1, 12.345f, 0.1f, 100, 5, "Default &Value", "12.3", "", kIdCancel, 12.3f},
        {5, 5, 0.1f, 100, 5, "&Backspace|&Backspace|&Backspace|&Backspace|&Backspace", "", "", kIdCancel, 5},
        {5, 5, 0.1f, 100, 5, "+/-", " 5.0", "", kIdCancel, 5},
        {2, 5, 0.1f, 100, 5, "Clea&r|&7|&5", "75", "", kIdCancel, 75},
        {5, 5, 0.1f, 100, 0, "&1|&OK", " 5.0", "Only Enter 0 Digits!", kIdOk, 5},
        {5, 5, 10, 20, 5, "&OK", " 5.0", "Must be a Resistance between 10.0 and 20.0 !", kIdCancel, 5},
        {5, 5, 0.1f, 100, 5, "key:r|key:4|key:.|key:7|key:\b|key:2|key:\r", "4.2", "", kIdOk, 4.2f},
        {5, 5, 0.1f, 100, 5, "Clea&r|key:9|key:\x1b", "9", "", kIdCancel, 9},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.actions);
        CRecordingInteraction ui;
        QString display;
        ui.onModal = [&](QDialog& dialog) {
            display = LabelText(dialog, "display");
            for (const QString& action : QString(c.actions).split('|', Qt::SkipEmptyParts)) {
                if (!action.startsWith("key:")) EXPECT_TRUE(ClickButton(dialog, action)) << action.toStdString();
                else if (action[4] == '\b') QTest::keyClick(&dialog, Qt::Key_Backspace);
                else if (action[4] == '\r') QTest::keyClick(&dialog, Qt::Key_Return);
                else if (action[4] == '\x1b') QTest::keyClick(&dialog, Qt::Key_Escape);
                else QTest::keyClick(&dialog, action[4].toLatin1());
                if (!dialog.isVisible()) break;
                display = LabelText(dialog, "display");
            }
            return kIdCancel;
        };

        CFloatEntryDlg dialog;
        dialog.SetMaximum(c.maximum);
        dialog.SetMinimum(c.minimum);
        dialog.SetValue(c.value);
        dialog.SetDefault(c.defaultValue);
        dialog.SetDigits(c.digits);
        const int result = dialog.DoModal();

        EXPECT_EQ(display, c.display);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(dialog.GetValue(), c.got);
        EXPECT_EQ(ui.MessageTexts(), QString(c.messages).split('|', Qt::SkipEmptyParts));
        for (const auto& shown : ui.messages) {
            EXPECT_EQ(shown.title, shown.text.startsWith("Only") ? "CLT Overflow" : "CLT Out of Range");
            EXPECT_EQ(shown.icon, CUserInteraction::Icon::Error);
            EXPECT_EQ(shown.buttons, CUserInteraction::Buttons::Ok);
        }
    }
}

// As the current monitor page runs it for a sense resistor, given and stored in ohms.
TEST(FloatEntryDlg, SenseResistorEntryOfTheCurrentPage)
{
    const struct {
        const char* caption;
        float ohms;
        const char* shown;  // the display on opening
        const char* actions;
        int result;
        float stored;
    } cases[] = {
        {"IMON Sense Resistor Value", 0.005f, " 5.0", "Clea&r|&1|&0|&OK", kIdOk, 0.010f},
        {"HIMON Sense Resistor Value", 0.1f, "100.0", "Clea&r|&2|Ca&ncel", kIdCancel, 0.1f},
        {"IMON Sense Resistor Value", 0.0123456f, "12.3", "&4|Default &Value|&OK", kIdOk, 0.0123f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.actions);
        CRecordingInteraction ui;
        QStringList opening;
        ui.onModal = [&](QDialog& dialog) {
            for (const char* name : {"prompt", "display", "instruction"}) opening << LabelText(dialog, name);
            for (const QString& action : QString(c.actions).split('|')) EXPECT_TRUE(ClickButton(dialog, action));
            return -1;
        };
        float ohms = c.ohms;
        CFloatEntryDlg dialog;
        dialog.SetCaption(c.caption);
        dialog.SetPrompt("Enter a Resistor Value (mOhms)");
        dialog.SetMaximum(100.0f);
        dialog.SetMinimum(0.1f);
        dialog.SetValue(ohms * 1000.0f);
        dialog.SetDefault(ohms * 1000.0f);
        dialog.SetDigits(5);
        const int result = dialog.DoModal();
        if (result == kIdOk) ohms = dialog.GetValue() / 1000.0f;

        EXPECT_EQ(ui.modalTitles, std::vector<QString>{c.caption});
        EXPECT_EQ(opening, QStringList({"Enter a Resistor Value (mOhms)", c.shown, "Enter up to 5 Digits,"}));
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(result, c.result);
        EXPECT_FLOAT_EQ(ohms, c.stored);
    }
}

}  // namespace
