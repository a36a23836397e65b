// The decimal edit control, driven by keystrokes, pastes and program changes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "widgets/FloatEdit.h"

namespace {

struct EditCase {
    float a, b;          // SetRange arguments in this order; NaN keeps the initial range
    const char* steps;   // '|'-separated: keys typed one by one, <Key>, paste:text, set:text
    const char* texts;   // '|'-separated: the text after each step
    int cursor;          // after the last step
    const char* selected;
};

const float kInitial = NAN;

void Perform(CFloatEdit& edit, const QString& step)
{
    static const std::map<QString, std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {
        {"<BS>", {Qt::Key_Backspace, {}}}, {"<Del>", {Qt::Key_Delete, {}}}, {"<Home>", {Qt::Key_Home, {}}},
        {"<S-Home>", {Qt::Key_Home, Qt::ShiftModifier}}, {"<C-a>", {Qt::Key_A, Qt::ControlModifier}}};
    if (keys.count(step)) {
        QTest::keyClick(&edit, keys.at(step).first, keys.at(step).second);
    } else if (step.startsWith("paste:")) {
        QApplication::clipboard()->setText(step.mid(6));
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    } else if (step.startsWith("set:")) {
        edit.setText(step.mid(4));
    } else {
        QTest::keyClicks(&edit, step);
    }
}

TEST(FloatEdit, RefusesEveryChangeThatIsNotOneNumberInRange)
{
    const EditCase cases[] = {
        {0, 8.19f, "8|.|1|9|5", "8|8.|8.1|8.19|8.19", 4, ""},
        {8.19f, 0, "8|.|1|9|5", "8|8.|8.1|8.19|8.19", 4, ""},  // range given the other way round
        {0, 8.19f, "9|8.2", "|8.", 2, ""},
        {0, 8.19f, "5|<BS>", "5|", 0, ""},                       // empty: 0 is in range
        {1, 10, "5|<BS>|<Home>|<Del>", "5|5|5|5", 0, ""},         // 0 is not: the last character stays
        {0, 8.19f, ".|1|.", "|1|1.", 2, ""},
        {0, 8.19f, " |1| |<Home>| ", "|1|1|1| 1", 1, ""},          // blanks: trailing or alone refused, leading not
        {kInitial, kInitial, "1a,+x2", "12", 2, ""},
        {kInitial, kInitial, "-|5|<BS>|<BS>", "-|-5|-|", 0, ""},  // a lone minus counts as 0
        {0, 8.19f, "-|5", "|5", 1, ""},
        {-5, -1, "-|2", "|", 0, ""},
        {kInitial, kInitial, "100|0|<BS>|-", "100|100|10|10", 2, ""},
        {kInitial, kInitial, "-100|.|1", "-100|-100.|-100.", 5, ""},
        {0, 200, "1e|paste:1e1|<BS>", "1|11e1|11e1", 4, ""},    // an exponent only once complete
        {0, 8.19f, "1.5|<Home>|9", "1.5|1.5|1.5", 0, ""},
        {0, 8.19f, "2.5|<S-Home>|9", "2.5|2.5|2.5", 0, "2.5"},   // a backward selection comes back as it was
        {0, 8.19f, "2.5|<C-a>|7", "2.5|2.5|7", 1, ""},
        {0, 8.19f, "1.5|<C-a>|paste:abc|paste:2.25", "1.5|1.5|1.5|2.25", 4, ""},
        {0, 8.19f, "set:7.125|set:9", "7.125|", 0, ""},          // no keystroke yet: back to empty
        {0, 8.19f, "1.5|set:abc", "1.5|1.", 2, ""},              // back to the text before the last keystroke
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.steps << " in [" << c.a << ", " << c.b << "]");
        CFloatEdit edit;
        if (!std::isnan(c.a)) edit.SetRange(c.a, c.b);
        edit.show();
        const QStringList steps = QString(c.steps).split('|');
        const QStringList texts = QString(c.texts).split('|');
        ASSERT_EQ(steps.size(), texts.size());
        for (qsizetype i = 0; i < steps.size(); ++i) {
            Perform(edit, steps[i]);
            EXPECT_EQ(edit.text(), texts[i]) << "after " << steps[i].toStdString();
        }
        EXPECT_EQ(edit.cursorPosition(), c.cursor);
        EXPECT_EQ(edit.selectedText(), c.selected);
    }
}

TEST(FloatEdit, OwnersReadingTheTextNeverSeeARefusedOne)
{
    CFloatEdit edit;
    edit.SetRange(0, 8.19f);
    QStringList seen;
    QObject::connect(&edit, &QLineEdit::textChanged, [&] { seen << edit.text(); });
    QTest::keyClicks(&edit, "89");
    EXPECT_EQ(seen, QStringList({"8", "8", "8"}));
}

// The number reader against the C library's strtod in the C locale.
TEST(FloatEdit, ReadsTheLeadingNumberAsStrtod)
{
    const char* const texts[] = {"", " ", "1", "1.", ".5", ".", "-", "+3", "-.5e2", "1e", "1e+", "1E-2x", " \t\n7x",
                                 "--1", "+-1", "1.2.3", "007.50", "1 ", "-0", "1e400", "-1e400", "1e-400", "1e-320",
                                 "0.00000000000000000000001e23", "e5", "1.e3", "99999999999999999999999999"};
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        char* end = nullptr;
        const double expected = std::strtod(text, &end);
        const LeadingNumber got = ParseLeadingNumber(QString::fromLatin1(text));
        EXPECT_EQ(got.consumed, end - text);
        EXPECT_EQ(got.value, expected);
        EXPECT_EQ(std::signbit(got.value), std::signbit(expected));
    }
    std::setlocale(LC_NUMERIC, previous.c_str());
}

}  // namespace
