// What the current and temperature monitor pages share: Read and Write are
// disabled while their handlers run (failed reads and updates:
// FailedReadPagesTest.cpp).

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <clocale>
#include <string>

#include "pages/IMONCOMPDlg.h"
#include "pages/TMONCOMPDlg.h"
#include "tests/CommaLocale.h"
#include "tests/pages/MonitorPageBench.h"

namespace {

struct ImonKind {
    using Page = CIMONCOMPDlg;
    static QString Title() { return QStringLiteral("ZENT I2C IMON Currents, Comparator Status and Thresholds"); }
    static QString Shown(const Page& page) { return page.CurrentText(0); }
    static QString Nothing() { return QStringLiteral("0.000 Amps"); }
};

struct TmonKind {
    using Page = CTMONCOMPDlg;
    static QString Title() { return QStringLiteral("ZENT I2C TMON Temperatures, Comparator Status and Thresholds"); }
    static QString Shown(const Page& page) { return page.TemperatureText(0); }
    static QString Nothing() { return QStringLiteral("0.00 \u00B0C"); }
};

template <class Kind>
struct MonitorPages : ::testing::Test {};
using Kinds = ::testing::Types<ImonKind, TmonKind>;
TYPED_TEST_SUITE(MonitorPages, Kinds);

TYPED_TEST(MonitorPages, ButtonsAreDisabledWhileTheirHandlersRun)
{
    using Page = typename TypeParam::Page;
    MonitorPageBench bench;
    bench.Open<Page>(TypeParam::Title(), [&](CTovinPropertySheet&, Page& page) {
        for (QPushButton* pressed : {page.ReadButton(), page.WriteButton()}) {
            std::vector<bool> enabled;
            auto seen = QObject::connect(&page, &Page::SequenceRunning, [&] {
                enabled = {page.ReadButton()->isEnabled(), page.WriteButton()->isEnabled()};
            });
            pressed->click();
            QObject::disconnect(seen);
            EXPECT_EQ(enabled, (std::vector<bool>{false, false})) << pressed->text().toStdString();
            EXPECT_TRUE(page.ReadButton()->isEnabled() && page.WriteButton()->isEnabled());
        }
    });
}

// Every text a page shows: labels, button captions and list entries.
QStringList ShownTexts(const QWidget& page)
{
    QStringList texts;
    for (const QLabel* label : page.findChildren<QLabel*>()) texts << label->text();
    for (const QPushButton* button : page.findChildren<QPushButton*>()) texts << button->text();
    for (const QComboBox* box : page.findChildren<QComboBox*>())
        for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

TEST(MonitorPages, NumbersKeepTheirDecimalPointUnderACommaLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!UseCommaLocale(LC_ALL)) GTEST_SKIP() << "no locale with a decimal comma can be made here";
    const QRegularExpression commaNumber(QStringLiteral("\\d,\\d"));
    const QRegularExpression pointNumber(QStringLiteral("\\d\\.\\d"));
    const auto check = [&](const QWidget& page) {
        const QStringList texts = ShownTexts(page);
        EXPECT_FALSE(texts.filter(pointNumber).isEmpty()) << "the page shows decimal numbers";
        for (const QString& text : texts) EXPECT_FALSE(text.contains(commaNumber)) << text.toStdString();
    };
    {
        MonitorPageBench bench;
        bench.Open<CVMONCOMPDlg>(QStringLiteral("ZENT I2C VMON Voltages, Comparator Status and Thresholds"),
                                 [&](CTovinPropertySheet&, CVMONCOMPDlg& page) { check(page); });
    }
    {
        MonitorPageBench bench;
        bench.Open<CIMONCOMPDlg>(ImonKind::Title(), [&](CTovinPropertySheet&, CIMONCOMPDlg& page) { check(page); });
    }
    {
        MonitorPageBench bench;
        bench.Open<CTMONCOMPDlg>(TmonKind::Title(), [&](CTovinPropertySheet&, CTMONCOMPDlg& page) { check(page); });
    }
    std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
