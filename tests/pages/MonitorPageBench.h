#pragma once
// The monitor windows on the simulated board, opened
// as the main window's commands open them, with the page of the first tab
// handed to the test while the window runs.

#include <functional>
#include <memory>
#include <type_traits>

#include "app/TovinMainDlg.h"
#include "pages/IMONCOMPDlg.h"
#include "pages/TMONCOMPDlg.h"
#include "pages/VMONCOMPDlg.h"
#include "ui/TovinPropertySheet.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"

struct MonitorPageBench {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::unique_ptr<TestApp> t;
    // Answers the modal dialogs the page opens itself (default: Cancel).
    std::function<int(QDialog&)> nested;

    explicit MonitorPageBench(std::function<void(CMemorySettingsStore&)> preset = {}, bool demo = false)
    {
        t = std::make_unique<TestApp>(board->Driver(), [&](CMemorySettingsStore& s) {
            s.Set("Demo Mode", SettingValue::Number(demo ? 1 : 0));
            if (preset) preset(s);
        });
    }

    CHmuDevice& Hmu(int index) { return *board->Hmu(index); }

    // Runs the window as its command does; body gets the sheet and its first page.
    template <class Page>
    void Open(const QString& title, const std::function<void(CTovinPropertySheet&, Page&)>& body)
    {
        bool ran = false;
        t->ui.onModal = [&](QDialog& dialog) {
            auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog);
            if (sheet == nullptr) return nested ? nested(dialog) : int{kIdCancel};
            auto* page = qobject_cast<Page*>(sheet->Page(0));
            if (page != nullptr) {
                ran = true;
                body(*sheet, *page);
            }
            return int{kIdOk};
        };
        // The main window's command, as the user gives it.
        CTovinMainDlg window;
        const size_t before = t->ui.modalTitles.size();
        if constexpr (std::is_same_v<Page, CIMONCOMPDlg>) window.OnImon();
        else if constexpr (std::is_same_v<Page, CVMONCOMPDlg>) window.OnVmon();
        else window.OnTmon();
        ASSERT_GT(t->ui.modalTitles.size(), before);
        EXPECT_EQ(t->ui.modalTitles[before], title);
        t->ui.onModal = {};
        EXPECT_TRUE(ran) << "the window did not open on a page of its kind";
    }
};
