// The desktop program on libftdi1 as a real cable meets it, through the
// scripted seam: what the connection check tells a user whose cable does not
// open, and which cable is used when several are plugged in.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/JTAG_CableSetup.h"
#include "settings/MemorySettingsStore.h"
#include "app/TovinAppContext.h"
#include "app/TovinMainDlg.h"
#include "device/Tovin_I2C_Port.h"
#include "link/LibFtdiDriver.h"
#include "tests/app/RecordingInteraction.h"
#include "tests/link/ScriptedLibFtdi.h"

namespace {

using scripted::FakeChip;

// The application over libftdi1 on a scripted USB bus, started as the program starts.
struct CableApp {
    scripted::FakeCable usb;
    CMemorySettingsStore* store = nullptr;
    std::unique_ptr<CTovinAppContext> app;
    CRecordingInteraction ui;
    CTovinAppContext* previousApp = nullptr;

    explicit CableApp(std::vector<FakeChip> chips, std::function<void(CMemorySettingsStore&)> preset = {},
                      FtdiCableChoice override = {}, std::function<void(scripted::FakeCable&)> fault = {})
    {
        usb.chips = std::move(chips);
        if (fault) fault(usb);
        auto memory = std::make_unique<CMemorySettingsStore>();
        if (preset) preset(*memory);
        store = memory.get();
        app = std::make_unique<CTovinAppContext>(
            std::make_shared<CLibFtdiDriver>(std::make_unique<scripted::FakeApi>(usb)), std::move(memory));
        app->SetCableOverride(override);
        previousApp = SetTheApp(app.get());
        app->Startup();
    }
    ~CableApp()
    {
        if (HasApp() && &TheApp() == app.get()) SetTheApp(previousApp);
        app.reset();
    }
    // The serial of the cable whose channel B the program holds.
    std::string I2CCable()
    {
        if (!app->Port().GetLink().IsI2CChannelOpen()) return "(none)";
        for (const auto& ctx : usb.contexts)
            if (ctx->interfaceIndex == CI2C_FTDI::kI2CChannelIndex && !ctx->closed)
                return usb.chips[size_t(ctx->chip)].serial + 'B';
        return "(lost)";
    }
};

TEST(RealCable, ConnectionCheckSaysWhyAListedCableDidNotOpen)
{
    struct Case {
        const char* name;
        std::function<void(scripted::FakeCable&)> fault;
        std::vector<QString> said;
    };
    const std::vector<Case> cases = {
        {"no udev rule",
         [](auto& usb) {
             usb.openError = scripted::kNoPermission;
             usb.chips[0].serialFails = true;
         },
         // The system's own words for the error, in the user's language.
         {QStringLiteral("The FTDI cable is attached, but its I2C channel (device 1) cannot be opened:\n"
                         "no permission to open the USB device (libftdi: libusb_open() failed, code -4; errno 13: ") +
          QString::fromLocal8Bit(std::strerror(EACCES)) +
          QStringLiteral("): install the udev rule 60-zent2-ftdi.rules (the zent2-i2c package installs it; from "
                         "the sources: scripts/setup, or copy dist/linux/60-zent2-ftdi.rules to /etc/udev/rules.d) "
                         "and re-plug the cable; when logged in remotely, also join the plugdev group.\n\n"
                         "Open Status = 3; Device = 1; ; Devices Found = 2")}},
        {"another program", [](auto& usb) { usb.openError = scripted::kClaimedElsewhere; },
         {QStringLiteral("another program holds this channel of the cable"),
          QStringLiteral("Open Status = 3; Device = 1; ZB01B; Devices Found = 2")}},
        {"engine out of step", [](auto& usb) { usb.syncAnswer = {}; },
         {QStringLiteral("did not answer in step"), QStringLiteral("Open Status = 4;")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CableApp t({FakeChip(0x6010, "ZB01", 2)}, {}, {}, c.fault);
        EXPECT_EQ(t.I2CCable(), "(none)");
        CTovinMainDlg window;
        t.ui.messages.clear();
        window.OnVmon();
        EXPECT_TRUE(t.ui.modalTitles.empty()) << "nothing opens";
        ASSERT_EQ(t.ui.messages.size(), 1u);
        EXPECT_EQ(t.ui.messages[0].icon, CUserInteraction::Icon::Exclamation);
        for (const QString& part : c.said)
            EXPECT_TRUE(t.ui.messages[0].text.contains(part)) << t.ui.messages[0].text.toStdString();

        // Once the cause is gone the next command's check opens the channel.
        t.usb.openError.reset();
        t.usb.syncAnswer = {0xFA, 0xAA};
        t.ui.messages.clear();
        EXPECT_TRUE(window.CheckConnection());
        EXPECT_TRUE(t.ui.messages.empty());
        EXPECT_EQ(t.I2CCable(), "ZB01B");
    }
}

TEST(RealCable, TheCableInUseComesFromTheCommandLineTheSettingOrTheDialog)
{
    // JTAG9 sits before the board's cable in the USB tree.
    const std::vector<FakeChip> chips = {FakeChip(0x6010, "ZB01", 2).At(1, {3}), FakeChip(0x6010, "JTAG9", 2).At(1, {1})};
    const auto stored = [](const char* serial) {
        return [serial](CMemorySettingsStore& s) { s.Set("Cable Serial", SettingValue::Text(serial)); };
    };
    struct Case {
        const char* name;
        std::function<void(CMemorySettingsStore&)> preset;
        FtdiCableChoice override;
        const char* used;
        std::optional<SettingValue> written;
    };
    const std::vector<Case> cases = {
        {"nothing chosen: the first in the tree", {}, {}, "JTAG9B", std::nullopt},
        {"the stored choice", stored("ZB01"), {}, "ZB01B", SettingValue::Text("ZB01")},
        {"the command line for this run only", stored("ZB01"), {"JTAG9", 0, 0}, "JTAG9B", SettingValue::Text("ZB01")},
        {"a stored cable that is not there", stored("ZB02"), {}, "(none)", SettingValue::Text("ZB02")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CableApp t(chips, c.preset, c.override);
        EXPECT_EQ(t.I2CCable(), c.used);
        t.app->WriteSettings();
        EXPECT_EQ(t.store->Get("Cable Serial"), c.written);
    }

    // A chosen cable that is not plugged in is named, after the usual words.
    {
        CableApp t(chips, stored("ZB02"));
        CTovinMainDlg window;
        EXPECT_FALSE(window.CheckConnection());
        ASSERT_EQ(t.ui.messages.size(), 1u);
        EXPECT_EQ(t.ui.messages[0].text,
                  QStringLiteral("I2C NAK error or cable issue.\nPlease check I2C connection.\nWithout a cable, "
                                 "zent2-i2c --simulated-board runs on the simulated board.\n\nNo cable with the "
                                 "serial number ZB02 is attached; \"I2C Interface...\" chooses another."));
    }

    // The dialog offers every cable plugged in, whichever is in use, and OK
    // moves the I2C channel to the chosen one and keeps the choice.
    CableApp t(chips);
    QStringList offered;
    t.ui.onModal = [&](QDialog& d) {
        auto& dialog = static_cast<CJTAG_CableSetup&>(d);
        for (int i = 0; i < dialog.CableSerialBox()->count(); ++i) offered << dialog.CableSerialBox()->itemText(i);
        dialog.CableSerialBox()->setCurrentText(QStringLiteral(" ZB01 "));
        return kIdOk;
    };
    EXPECT_EQ(t.I2CCable(), "JTAG9B");
    t.usb.calls.clear();
    t.app->CableSetupCommand(nullptr);
    EXPECT_EQ(offered, (QStringList{QStringLiteral("JTAG9"), QStringLiteral("ZB01")}));
    EXPECT_EQ(t.app->CableSerial(), "ZB01");
    EXPECT_EQ(t.I2CCable(), "ZB01B");
    EXPECT_EQ(std::count(t.usb.calls.begin(), t.usb.calls.end(), "B close"), 1) << "JTAG9's channel B was let go";
    t.app->WriteSettings();
    EXPECT_EQ(t.store->Get("Cable Serial"), SettingValue::Text("ZB01"));

    // With a serial chosen, the dialog still offers the others; an empty box
    // goes back to the first cable found.
    offered.clear();
    t.ui.onModal = [&](QDialog& d) {
        auto& dialog = static_cast<CJTAG_CableSetup&>(d);
        for (int i = 0; i < dialog.CableSerialBox()->count(); ++i) offered << dialog.CableSerialBox()->itemText(i);
        EXPECT_EQ(dialog.CableSerialBox()->currentText(), QStringLiteral("ZB01"));
        dialog.CableSerialBox()->setCurrentText(QString());
        return kIdOk;
    };
    t.app->CableSetupCommand(nullptr);
    EXPECT_EQ(offered, (QStringList{QStringLiteral("JTAG9"), QStringLiteral("ZB01")}));
    EXPECT_EQ(t.I2CCable(), "JTAG9B");
    t.app->WriteSettings();
    EXPECT_EQ(t.store->Get("Cable Serial"), SettingValue::Text(""));
}

TEST(RealCable, ACableWithItsOwnUsbIdsFromTheSetting)
{
    FakeChip own = FakeChip(0x0042, "OWN2", 2).At(1, {4});
    own.vendor = 0x1A2B;
    const std::vector<FakeChip> chips = {FakeChip(0x6010, "JTAG9", 2).At(1, {1}), own};
    for (const char* ids : {"1a2b:0042", "0x1A2B:0x0042"}) {
        CableApp t(chips, [ids](CMemorySettingsStore& s) { s.Set("Cable VID PID", SettingValue::Text(ids)); });
        EXPECT_EQ(t.I2CCable(), "OWN2B") << ids;
    }
    CableApp bad(chips, [](CMemorySettingsStore& s) { s.Set("Cable VID PID", SettingValue::Text("1a2b")); });
    EXPECT_EQ(bad.I2CCable(), "JTAG9B") << "an unreadable setting is ignored";
    CableApp byOption(chips, {}, {"", 0x1A2B, 0x0042});
    EXPECT_EQ(byOption.I2CCable(), "OWN2B");
}

}  // namespace
