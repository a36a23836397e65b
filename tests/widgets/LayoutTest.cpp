// Both dialogs follow the window font: with the normal and the large UI font
// every button and text gets at least the room it asks for.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLayout>
#include <memory>

#include "ui/FontOccManager.h"
#include "tests/widgets/WidgetsTestSupport.h"
#include "widgets/Bit_Entry_Dlg.h"
#include "widgets/FloatEntryDlg.h"

TEST(ValueEntryLayout, NothingClippedWithEitherFont)
{
    const bool previous = CFontOccManager::LargeFont();
    for (bool large : {false, true}) {
        CFontOccManager::SetLargeFont(large);
        auto entry = std::make_unique<CFloatEntryDlg>();
        entry->SetPrompt("Enter a Resistor Value (mOhms)");
        entry->SetValue(100.0f);
        entry->SetDigits(5);
        std::unique_ptr<QDialog> dialogs[] = {std::make_unique<CBit_Entry_Dlg>(), std::move(entry)};
        for (auto& dialog : dialogs) {
            SCOPED_TRACE(testing::Message() << dialog->metaObject()->className() << (large ? ", large" : ""));
            EXPECT_EQ(dialog->font().pointSize(), large ? CFontOccManager::UiFontPoints() : QApplication::font().pointSize());
            dialog->show();
            dialog->layout()->activate();
            for (QWidget* child : dialog->findChildren<QWidget*>()) {
                if (!qobject_cast<QLabel*>(child) && !qobject_cast<QPushButton*>(child)) continue;
                EXPECT_GE(child->width(), child->sizeHint().width()) << child->objectName().toStdString();
                EXPECT_GE(child->height(), child->sizeHint().height()) << child->objectName().toStdString();
                EXPECT_TRUE(dialog->rect().contains(child->geometry()));
            }
        }
        // Bit 7 at the left, MSB over it.
        const QDialog& bits = *dialogs[0];
        const auto x = [&](const char* name) { return bits.findChild<QWidget*>(name)->geometry().center().x(); };
        EXPECT_LT(x("bitCell7"), x("bitCell6"));
        EXPECT_LT(x("bitCell1"), x("bitCell0"));
        EXPECT_EQ(x("bitNumber7"), x("bitCell7"));
        EXPECT_EQ(LabelText(bits, "bitNumber7"), "7");
    }
    CFontOccManager::SetLargeFont(previous);
}
