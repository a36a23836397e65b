#pragma once
// A window of the control pages on the simulated board, opened by the main
// window's command as the user gives it, with the page of the first tab
// handed to the test while the window runs.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/TovinMainDlg.h"
#include "ui/TovinPropertySheet.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"

struct ControlPageBench {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::unique_ptr<TestApp> t;
    // Answers the modal dialogs opened from the page (default: Cancel).
    std::function<int(QDialog&)> nested;
    // How the window ends once the body has run.
    int end = kIdOk;

    explicit ControlPageBench(bool demo = false)
    {
        t = std::make_unique<TestApp>(board->Driver(), [&](CMemorySettingsStore& s) {
            s.Set("Demo Mode", SettingValue::Number(demo ? 1 : 0));
        });
    }

    CHmuDevice& Hmu(int index) { return *board->Hmu(index); }
    std::string Log() const { return t->driver->EventLog(); }
    void ClearLog() { t->driver->ClearEventLog(); }

    // Runs the command; body gets the sheet and its first page.
    template <class Page>
    void Open(void (CTovinMainDlg::*command)(), const QString& title,
              const std::function<void(CTovinPropertySheet&, Page&)>& body)
    {
        bool ran = false;
        t->ui.onModal = [&](QDialog& dialog) {
            auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog);
            if (sheet == nullptr || ran) return nested ? nested(dialog) : int{kIdCancel};
            auto* page = qobject_cast<Page*>(sheet->Page(0));
            if (page != nullptr) {
                ran = true;
                body(*sheet, *page);
            }
            return end;
        };
        CTovinMainDlg window;
        const size_t before = t->ui.modalTitles.size();
        (window.*command)();
        ASSERT_GT(t->ui.modalTitles.size(), before);
        EXPECT_EQ(t->ui.modalTitles[before], title);
        t->ui.onModal = {};
        EXPECT_TRUE(ran) << "the window did not open on a page of its kind";
    }
};
