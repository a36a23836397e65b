#pragma once
// The demonstration dialogs on the simulated board, opened as the main
// window's commands open them, on a virtual clock that the board's own clock
// follows: a test moves time on by hand and nothing sleeps.

#include <gtest/gtest.h>

#include <QDialog>
#include <chrono>
#include <functional>
#include <memory>

#include "ui/FontOccManager.h"
#include "app/TovinMainDlg.h"
#include "demo/UiTimer.h"
#include "link/CableLock.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"

using namespace std::chrono_literals;

struct DemoBench {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::unique_ptr<TestApp> t;
    CVirtualClock clock;
    // Answers the modal windows the dialog opens itself (default: Cancel).
    std::function<int(QDialog&)> nested;
    bool previousFont = CFontOccManager::LargeFont();
    // The interaction in use when a test installs its own over the application's.
    CRecordingInteraction* interaction = nullptr;

    explicit DemoBench(bool large = false, bool demo = false)
    {
        t = std::make_unique<TestApp>(board->Driver(), [&](CMemorySettingsStore& s) {
            s.Set("Demo Mode", SettingValue::Number(demo ? 1 : 0));
            s.Set("Large UI Font", SettingValue::Number(large ? 1 : 0));
        });
        clock.onStep = [this](CVirtualClock::Milliseconds step) { board->Advance(step); };
    }
    ~DemoBench()
    {
        // Everything the windows sent went inside a cable lock, and none was left held.
        EXPECT_EQ(board->Driver()->Counters().transactionsWithEnableLow, 0u);
        EXPECT_EQ(CCableLock::Depth(), 0);
        CFontOccManager::SetLargeFont(previousFont);
    }

    CMainDevice& Main() { return *board->Main(); }
    CHmuDevice& Hmu(int index) { return *board->Hmu(index); }
    void Advance(CVirtualClock::Milliseconds elapsed) { clock.Advance(elapsed); }

    // Runs a main-window command; body gets the dialog of kind Dialog while it
    // runs, which then ends with `end`. Returns the command's result.
    template <class Dialog>
    void Run(void (CTovinMainDlg::*command)(), const std::function<void(Dialog&)>& body, int end = kIdCancel)
    {
        bool ran = false;
        CRecordingInteraction& ui = interaction ? *interaction : t->ui;
        ui.onModal = [&](QDialog& dialog) {
            auto* ours = qobject_cast<Dialog*>(&dialog);
            if (ours == nullptr || ran) return nested ? nested(dialog) : int{kIdCancel};
            ran = true;
            EXPECT_EQ(CCableLock::Depth(), 0) << "the opening left the cable lock held";
            body(*ours);
            EXPECT_EQ(CCableLock::Depth(), 0) << "a handler left the cable lock held";
            return end;
        };
        CTovinMainDlg window;
        (window.*command)();
        ui.onModal = {};
        EXPECT_TRUE(ran) << "the dialog did not open";
        EXPECT_EQ(clock.ActiveTimers(), 0) << "a timer outlived its dialog";
    }
};
