// The bit entry dialog, driven by mouse clicks on its cells and bit numbers.

#include <gtest/gtest.h>

#include <QImage>
#include <QSet>

#include "tests/app/RecordingInteraction.h"
#include "tests/widgets/WidgetsTestSupport.h"
#include "widgets/Bit_Entry_Dlg.h"

namespace {

struct BitCase {
    int value;
    const char* caption;
    const char* clicks;  // "c3": cell of bit 3, "n3": its number, "d3": press on the cell, release off it
    const char* ending;  // "OK", "Cancel" or "Escape"
    const char* shown;   // the cells, bit 7 first, before ending
    int result;
    int callerValue;     // the caller's register afterwards
};

TEST(BitEntryDlg, ClicksToggleBitsAndOnlyOkHandsTheValueBack)
{
    const BitCase cases[] = {
        {0xA5, "Edit Trim1 Profile0 Low Register Value", "", "OK", "10100101", kIdOk, 0xA5},
        {0xA5, "", "c0 c0", "OK", "10100101", kIdOk, 0xA5},
        {0x00, "x", "n3", "OK", "00001000", kIdOk, 0x08},
        {0x00, "x", "c3", "OK", "00001000", kIdOk, 0x08},
        {0xFF, "x", "c7 n0", "OK", "01111110", kIdOk, 0x7E},
        {0x00, "x", "c0 n1 c2 n3 c4 n5 c6 n7", "OK", "11111111", kIdOk, 0xFF},
        {0x3C, "x", "c1 n6 c2", "Cancel", "01111010", kIdCancel, 0x3C},
        {0x3C, "x", "c5", "Escape", "00011100", kIdCancel, 0x3C},
        {0x01, "x", "d0", "OK", "00000001", kIdOk, 0x01},
        {0x1A5, "x", "", "OK", "10100101", kIdOk, 0xA5},  // only the low byte is kept
    };
    for (const BitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clicks << " on " << c.value << ", " << c.ending);
        CRecordingInteraction ui;
        QString shown;
        ui.onModal = [&](QDialog& dialog) {
            for (const QString& click : QString(c.clicks).split(' ', Qt::SkipEmptyParts)) {
                const QString name = click[0] == 'n' ? "bitNumber%1" : "bitCell%1";
                auto* target = dialog.findChild<QLabel*>(name.arg(click[1]));
                if (target == nullptr) return ADD_FAILURE() << "no " << name.toStdString(), -1;
                if (click[0] == 'd') {
                    QTest::mousePress(target, Qt::LeftButton);
                    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(-5, -5));
                } else {
                    QTest::mouseClick(target, Qt::LeftButton);
                }
            }
            for (int bit = 7; bit >= 0; --bit) shown += LabelText(dialog, QString("bitCell%1").arg(bit));
            if (QString(c.ending) == "Escape") QTest::keyClick(&dialog, Qt::Key_Escape);
            else EXPECT_TRUE(ClickButton(dialog, c.ending));
            return -1;  // the dialog must have ended itself
        };

        int reg = c.value;
        CBit_Entry_Dlg dialog;
        dialog.SetValue(reg);
        dialog.SetCaption(c.caption);
        const int result = dialog.DoModal();
        if (result == kIdOk) reg = dialog.GetValue();

        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(reg, c.callerValue);
        EXPECT_EQ(ui.modalTitles, std::vector<QString>{c.caption});
    }
}

int DistinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

// The dialog as Qt paints it (grab() renders through the widgets' own
// painting, not through a capture of the screen): not blank, and each cell
// shows its digit.
TEST(BitEntryDlg, PaintsItsCellsAndDigits)
{
    CRecordingInteraction ui;
    bool ran = false;
    ui.onModal = [&](QDialog& dialog) {
        ran = true;
        const QImage whole = dialog.grab().toImage();
        EXPECT_FALSE(whole.isNull());
        EXPECT_GE(DistinctColours(whole), 3) << "a blank or one-colour dialog";
        QImage cells[8];
        for (int bit = 0; bit < 8; ++bit) {
            auto* cell = dialog.findChild<QLabel*>(QString("bitCell%1").arg(bit));
            if (cell == nullptr) return ADD_FAILURE() << "no cell " << bit, -1;
            cells[bit] = cell->grab().toImage();
            EXPECT_GE(DistinctColours(cells[bit]), 2) << "cell " << bit << " shows no digit";
        }
        // 0xA5: bit 0 is 1, bit 1 is 0; cells of one size drawn alike would mean no digits.
        if (cells[0].size() == cells[1].size()) {
            EXPECT_NE(cells[0], cells[1]) << "a 1 and a 0 look alike";
        }
        return static_cast<int>(kIdCancel);
    };
    CBit_Entry_Dlg dialog;
    dialog.SetValue(0xA5);
    dialog.SetCaption("x");
    dialog.DoModal();
    EXPECT_TRUE(ran);
}

}  // namespace
