// Start-up and exit of the application against a real settings file: what is
// read, what defaults apply, and what is written back, once, at the end.

#include <gtest/gtest.h>

#include <QDialog>
#include <filesystem>

#include "settings/FileSettingsStore.h"
#include "settings/MemorySettingsStore.h"
#include "app/TovinAppContext.h"
#include "app/TovinMainDlg.h"
#include "device/Tovin_I2C_Port.h"
#include "sim/SimulatedFtdiDriver.h"
#include "tests/app/RecordingInteraction.h"

namespace {

struct StartupFixture : ::testing::Test {
    std::filesystem::path folder;
    std::filesystem::path file;
    CRecordingInteraction ui;

    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("zent2-startup-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        file = folder / "Settings.reg";
        // Every main window ends with Exit at once.
        ui.onModal = [](QDialog& d) -> int {
            if (auto* window = qobject_cast<CTovinMainDlg*>(&d)) window->OnExit();
            return kIdCancel;
        };
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // One whole run of the program over this settings file.
    std::unique_ptr<CTovinAppContext> RunProgram(bool keep = false)
    {
        auto app = std::make_unique<CTovinAppContext>(std::make_shared<CSimulatedFtdiDriver>(),
                                                      std::make_unique<CFileSettingsStore>(file));
        CTovinAppContext* previous = SetTheApp(app.get());
        app->Startup();
        app->MainWindowLoop();
        app->WriteSettings();
        SetTheApp(previous);
        if (!keep) app.reset();
        return app;
    }
    void Preset(const char* name, const SettingValue& value)
    {
        CFileSettingsStore store(file);
        ASSERT_TRUE(store.Set(name, value));
    }
    std::optional<SettingValue> Stored(const char* name) const { return CFileSettingsStore(file).Get(name); }
};

TEST_F(StartupFixture, FirstRunUsesTheDefaultsAndLeavesSixValues)
{
    auto app = RunProgram(true);
    EXPECT_FALSE(app->DemoMode());
    EXPECT_TRUE(app->LargeUiFont());
    EXPECT_EQ(app->HmuBaseAddress(), 0xC0);
    EXPECT_EQ(app->MainAddress(), 0x40);
    EXPECT_EQ(app->FpgaSection(), 0);
    EXPECT_EQ(app->Port().GetLink().GetRate(), 400);
    EXPECT_EQ(app->Port().GetHmuBase(), 0xC0);
    EXPECT_EQ(app->Port().GetMainAddress(), 0x40);
    EXPECT_EQ(app->Remembered().registerMap.size(), 8u * 119u);
    for (uint8_t b : app->Remembered().logSettings) EXPECT_EQ(b, 1);

    const std::vector<std::string> names = CFileSettingsStore(file).Names();
    EXPECT_EQ(names, (std::vector<std::string>{"Demo Mode", "Large UI Font", "I2C Address", "FPGA Section",
                                               "I2C Baudrate", "Log Settings"}));
    EXPECT_EQ(Stored("Demo Mode"), SettingValue::Number(0));
    EXPECT_EQ(Stored("Large UI Font"), SettingValue::Number(1));
    EXPECT_EQ(Stored("I2C Baudrate"), SettingValue::Number(400));
    EXPECT_EQ(Stored("Log Settings"), SettingValue::Binary(std::vector<uint8_t>(232, 1)));
}

TEST_F(StartupFixture, StoredValuesAreReadWithTheirRulesAndWrittenBackNormalised)
{
    struct Case {
        const char* name;
        SettingValue stored;
        std::function<void(CTovinAppContext&)> check;
        std::optional<SettingValue> written;
    };
    std::vector<uint8_t> custom(232, 0);
    custom[5] = 7;
    const std::vector<Case> cases = {
        {"Demo Mode", SettingValue::Number(5), [](auto& a) { EXPECT_TRUE(a.DemoMode()); EXPECT_TRUE(a.Port().GetDemoMode()); },
         SettingValue::Number(1)},
        {"Large UI Font", SettingValue::Number(0), [](auto& a) { EXPECT_FALSE(a.LargeUiFont()); }, SettingValue::Number(0)},
        {"I2C Baudrate", SettingValue::Text("100"), [](auto& a) { EXPECT_EQ(a.Port().GetLink().GetRate(), 400); },
         SettingValue::Number(400)},
        {"I2C Baudrate", SettingValue::Number(200),
         [](auto& a) {
             EXPECT_EQ(a.Port().GetLink().GetRate(), 200);
             EXPECT_EQ(a.Port().GetLink().ClockDivisor(), 29);
         },
         SettingValue::Number(200)},
        {"Log Settings", SettingValue::Binary(std::vector<uint8_t>(231, 0)),
         [](auto& a) { EXPECT_EQ(a.Remembered().logSettings[0], 1); }, SettingValue::Binary(std::vector<uint8_t>(232, 1))},
        {"Log Settings", SettingValue::Binary(custom), [](auto& a) { EXPECT_EQ(a.Remembered().logSettings[5], 7); },
         SettingValue::Binary(custom)},
        {"I2C Address", SettingValue::Number(0x80), [](auto& a) { EXPECT_EQ(a.Port().GetHmuBase(), 0x80); },
         SettingValue::Number(0x80)},
        // Read, never written back.
        {"I2C SW Address", SettingValue::Number(0x50), [](auto& a) { EXPECT_EQ(a.Port().GetMainAddress(), 0x50); },
         SettingValue::Number(0x50)},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(folder);
        Preset(c.name, c.stored);
        auto app = RunProgram(true);
        c.check(*app);
        EXPECT_EQ(Stored(c.name), c.written) << c.name;
        if (std::string(c.name) != "I2C SW Address") {
            EXPECT_FALSE(Stored("I2C SW Address").has_value()) << "never written";
        }
    }
}

// Records each batch of values it is given, and every single write.
class CBatchRecordingStore : public CMemorySettingsStore {
public:
    std::vector<std::vector<std::string>> batches;
    int singleWrites = 0;

    bool Set(std::string_view name, const SettingValue& value) override
    {
        ++singleWrites;
        return CMemorySettingsStore::Set(name, value);
    }
    bool SetValues(const SettingList& values) override
    {
        std::vector<std::string> names;
        for (const NamedSetting& entry : values) names.push_back(entry.name);
        batches.push_back(names);
        for (const NamedSetting& entry : values) CMemorySettingsStore::Set(entry.name, entry.value);
        return true;
    }
};

TEST_F(StartupFixture, TheSettingsAreSavedInOneWriteAtTheEnd)
{
    auto owned = std::make_unique<CBatchRecordingStore>();
    CBatchRecordingStore& store = *owned;
    CTovinAppContext app(std::make_shared<CSimulatedFtdiDriver>(), std::move(owned));
    CTovinAppContext* previous = SetTheApp(&app);
    EXPECT_EQ(app.Run(), 0);
    SetTheApp(previous);
    EXPECT_EQ(store.batches, (std::vector<std::vector<std::string>>{
                                 {"Demo Mode", "Large UI Font", "I2C Address", "FPGA Section", "I2C Baudrate",
                                  "Log Settings"}}));
    EXPECT_EQ(store.singleWrites, 0);
}

TEST_F(StartupFixture, ADamagedSettingsFileStartsWithDefaults)
{
    std::filesystem::create_directories(folder);
    {
        std::FILE* f = std::fopen(file.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Norvane Semiconductor "
                   "Corporation\\ZENT2_I2C_Utility\\Settings]\r\n\"Demo Mode\"=dword:0000\r\n\"I2C Address\"=dwo",
                   f);
        std::fclose(f);
    }
    auto app = RunProgram(true);
    EXPECT_FALSE(app->DemoMode());
    EXPECT_EQ(app->HmuBaseAddress(), 0xC0);
    EXPECT_EQ(Stored("I2C Address"), SettingValue::Number(0xC0));
}

}  // namespace
