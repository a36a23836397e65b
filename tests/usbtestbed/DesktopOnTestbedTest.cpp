// The desktop program's windows on libftdi1 and the real libusb, reaching an
// emulated cable: this test program runs itself again under umockdev's
// preload (DesktopTestMain.cpp), so that its own libusb sees the test bed.

#include <gtest/gtest.h>

#include <QDialog>
#include <QTabWidget>

#include "app/TovinAppContext.h"
#include "app/TovinMainDlg.h"
#include "device/Tovin_I2C_Port.h"
#include "link/LibFtdiDriver.h"
#include "pages/VMONCOMPDlg.h"
#include "settings/MemorySettingsStore.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/RecordingInteraction.h"
#include "ui/TovinPropertySheet.h"
#include "usbtestbed/UsbTestbed.h"

namespace {

TEST(DesktopOnTestbed, TheVmonWindowReadsTheBoardAndAnEmptyBusSaysNoHmuIsFound)
{
    CUsbTestbed bed;  // before this process's first libusb context
    std::string error;
    auto board = CSimulatedBoard::CreateDefault();
    board->SetVmon(0, 0, 1.25);
    ASSERT_EQ(bed.AddCable("ZTB001", std::move(board), &error), 0) << error;

    CRecordingInteraction ui;
    auto memory = std::make_unique<CMemorySettingsStore>();
    memory->Set("Demo Mode", SettingValue::Number(0));
    CTovinAppContext app(std::make_shared<CLibFtdiDriver>(), std::move(memory));
    CTovinAppContext* previous = SetTheApp(&app);
    app.Startup();
    CTovinMainDlg window;

    struct Step {
        const char* name;
        std::function<void(CSimulatedBoard&)> board;
        QStringList tabs;     // of the VMON window; none: it did not open
        QString hmu0Vmon1;    // as its first page shows it
        QStringList messages;
    };
    const Step steps[] = {
        {"both devices answer", [](CSimulatedBoard&) {}, {"HMU0", "HMU1"}, "1.250", {}},
        {"nothing answers on the bus",
         [](CSimulatedBoard& b) {
             b.RemoveHmu(0);
             b.RemoveHmu(1);
         },
         {}, "", {"Required HMU device is not found."}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        bed.WithBoards([&](int, CSimulatedBoard& b) { step.board(b); });
        ui.messages.clear();
        QStringList tabs;
        QString shown;
        ui.onModal = [&](QDialog& dialog) {
            if (auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog)) {
                for (int i = 0; i < sheet->Tabs()->count(); ++i) tabs << sheet->Tabs()->tabText(i);
                if (auto* page = qobject_cast<CVMONCOMPDlg*>(sheet->Page(0))) shown = page->VoltageText(0);
            }
            return int{kIdCancel};
        };
        window.OnVmon();
        EXPECT_EQ(tabs, step.tabs);
        EXPECT_EQ(shown, step.hmu0Vmon1);
        QStringList said;
        for (const auto& m : ui.messages) said << m.text;
        EXPECT_EQ(said, step.messages);
    }
    EXPECT_TRUE(app.Port().GetLink().IsI2CChannelOpen()) << "the program used the emulated cable";
    SetTheApp(previous);
}

}  // namespace
