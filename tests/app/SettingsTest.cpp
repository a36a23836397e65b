// The six settings operations over a store preset with values of every type.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "settings/MemorySettingsStore.h"
#include "settings/Settings.h"
#include "tests/CommaLocale.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Fixture : ::testing::Test {
    CMemorySettingsStore* store = nullptr;
    std::unique_ptr<CSettings> settings;

    void SetUp() override
    {
        auto owned = std::make_unique<CMemorySettingsStore>();
        store = owned.get();
        settings = std::make_unique<CSettings>(std::move(owned));
    }
    void Preset(const std::optional<SettingValue>& value)
    {
        if (value) {
            ASSERT_TRUE(store->Set("Value", *value));
        }
    }
};

Bytes Sequence(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 1);
    return b;
}

struct NumberCase {
    const char* what;
    std::optional<SettingValue> stored;
    uint32_t defaultValue;
    uint32_t expected;
};

TEST_F(Fixture, ReadNumberGivesTheStoredNumberOnlyForA32BitNumber)
{
    const std::vector<NumberCase> cases = {
        {"demo mode stored as 5 is non-zero", SettingValue::Number(5), 0, 5},
        {"zero is kept, not taken as missing", SettingValue::Number(0), 1, 0},
        {"all bits set", SettingValue::Number(0xFFFFFFFF), 0, 0xFFFFFFFF},
        {"missing", std::nullopt, 0xC0, 0xC0},
        {"baud rate stored as text", SettingValue::Text("100"), 400, 400},
        {"expandable text", SettingValue::ExpandText("100"), 400, 400},
        {"four binary bytes", SettingValue::Binary({1, 0, 0, 0}), 400, 400},
        {"number type of two bytes", SettingValue::FromRegistry(kRegNumber, Bytes{1, 2}.data(), 2), 7, 7},
        {"64-bit number", SettingValue::Other(11, Bytes(8, 1)), 7, 7},
    };
    for (const auto& c : cases) {
        SetUp();
        Preset(c.stored);
        EXPECT_EQ(settings->ReadNumber("value", c.defaultValue), c.expected) << c.what;
    }
}

struct BinaryCase {
    const char* what;
    std::optional<SettingValue> stored;
    size_t size;
    bool ok;
};

TEST_F(Fixture, ReadBinaryFillsTheBufferOnlyForBinaryOfExactlyTheSizeAsked)
{
    const std::vector<BinaryCase> cases = {
        {"232 bytes asked and stored", SettingValue::Binary(Sequence(232)), 232, true},
        {"231 bytes stored", SettingValue::Binary(Sequence(231)), 232, false},
        {"233 bytes stored", SettingValue::Binary(Sequence(233)), 232, false},
        {"80 bytes of directions", SettingValue::Binary(Sequence(80)), 80, true},
        {"empty binary, nothing asked", SettingValue::Binary({}), 0, true},
        {"empty binary, bytes asked", SettingValue::Binary({}), 4, false},
        {"missing", std::nullopt, 232, false},
        {"number of the size asked", SettingValue::Number(0x01010101), 4, false},
        {"text", SettingValue::Text("abc"), 3, false},
        {"other type with the right size", SettingValue::Other(7, Sequence(80)), 80, false},
    };
    for (const auto& c : cases) {
        SetUp();
        Preset(c.stored);
        Bytes buffer(c.size + 1, 0xEE);
        EXPECT_EQ(settings->ReadBinary("Value", buffer.data(), c.size), c.ok) << c.what;
        Bytes expected(c.size + 1, 0xEE);
        if (c.ok) std::copy(c.stored->bytes.begin(), c.stored->bytes.end(), expected.begin());
        EXPECT_EQ(buffer, expected) << c.what << ": a failed read leaves the buffer alone";
    }
}

struct RealCase {
    const char* what;
    std::optional<SettingValue> stored;
    float expected;  // the default, 0.1, when the value is refused
};

TEST_F(Fixture, ReadRealAcceptsOnlyShortTextsThatAreWhollyADecimalNumber)
{
    const std::string thirtyOne = "0.00500000000000000000000000000";
    const std::string thirtyTwo = thirtyOne + "0";
    ASSERT_EQ(thirtyOne.size(), 31u);
    const float def = 0.1f;
    const std::vector<RealCase> cases = {
        {"sense resistor", SettingValue::Text("0.005"), 0.005f},
        {"a letter appended", SettingValue::Text("0.005x"), def},
        {"31 characters, 32 bytes with the NUL", SettingValue::Text(thirtyOne), 0.005f},
        {"32 characters, 33 bytes with the NUL", SettingValue::Text(thirtyTwo), def},
        {"expandable text", SettingValue::ExpandText("0.25"), 0.25f},
        {"number value", SettingValue::Number(5), def},
        {"binary holding the text", SettingValue::Binary({'0', '.', '5', 0}), def},
        {"missing", std::nullopt, def},
        {"empty text", SettingValue::Text(""), def},
        {"only blanks", SettingValue::Text("  "), def},
        {"leading blanks", SettingValue::Text("  2.5"), 2.5f},
        {"trailing blank", SettingValue::Text("2.5 "), def},
        {"comma as decimal point", SettingValue::Text("1,5"), def},
        {"plus sign", SettingValue::Text("+2"), 2.0f},
        {"negative with exponent", SettingValue::Text("-1e-3"), -0.001f},
        {"exponent as %g writes it", SettingValue::Text("1e-05"), 1e-05f},
        {"integer", SettingValue::Text("250"), 250.0f},
        {"no leading digit", SettingValue::Text(".5"), 0.5f},
        {"two signs", SettingValue::Text("+-1"), def},
        {"exponent without digits", SettingValue::Text("1e"), def},
        {"hexadecimal", SettingValue::Text("0x10"), def},
        {"infinity", SettingValue::Text("inf"), def},
        {"not a number", SettingValue::Text("nan"), def},
        {"beyond the float range", SettingValue::Text("1e39"), def},
        {"beyond the double range", SettingValue::Text("1e400"), def},
    };
    for (const auto& c : cases) {
        SetUp();
        Preset(c.stored);
        EXPECT_FLOAT_EQ(settings->ReadReal("Value", def), c.expected) << c.what;
    }
}

TEST(FormatReal, WritesWhatPrintfGPrintsInTheCLocale)
{
    const std::vector<std::pair<float, std::string>> cases = {
        {0.005f, "0.005"}, {0.1f, "0.1"},     {1e-05f, "1e-05"},          {0.0001f, "0.0001"},
        {250.0f, "250"},   {100000.0f, "100000"}, {1e6f, "1e+06"},        {123456789.0f, "1.23457e+08"},
        {-2.5f, "-2.5"},   {0.0f, "0"},       {3.14159265f, "3.14159"}, {0.0123456f, "0.0123456"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatReal(value), text);
        char printed[64];
        std::snprintf(printed, sizeof printed, "%g", static_cast<double>(value));
        EXPECT_EQ(FormatReal(value), printed);
    }
}

TEST(FormatReal, KeepsTheDecimalPointUnderACommaLocale)
{
    if (!UseCommaLocale(LC_NUMERIC)) GTEST_SKIP() << "no locale with a decimal comma can be made here";
    const std::string text = FormatReal(0.005f);
    const auto parsed = ParseReal("0.005");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text, "0.005");
    ASSERT_TRUE(parsed);
    EXPECT_FLOAT_EQ(*parsed, 0.005f);
}

TEST_F(Fixture, WritesStoreTheirTypesAndReadBack)
{
    const Bytes log = Sequence(232);
    ASSERT_TRUE(settings->WriteNumber("Demo Mode", 1));
    ASSERT_TRUE(settings->WriteNumber("All Ones", 0xFFFFFFFF));
    ASSERT_TRUE(settings->WriteBinary("Log Settings", log.data(), log.size()));
    ASSERT_TRUE(settings->WriteBinary("Nothing", nullptr, 0));
    for (float r : {0.005f, 0.1f, 1e-05f, 250.0f, -0.75f})
        ASSERT_TRUE(settings->WriteReal("HMU" + std::to_string(r) + "_IMON0_SenseResistor", r));

    EXPECT_EQ(store->Get("Demo Mode"), SettingValue::Number(1));
    EXPECT_EQ(store->Get("All Ones"), SettingValue::Number(0xFFFFFFFF));
    EXPECT_EQ(store->Get("Log Settings"), SettingValue::Binary(log));
    EXPECT_EQ(store->Get("Nothing"), SettingValue::Binary({}));
    for (float r : {0.005f, 0.1f, 1e-05f, 250.0f, -0.75f}) {
        const std::string name = "HMU" + std::to_string(r) + "_IMON0_SenseResistor";
        EXPECT_EQ(store->Get(name), SettingValue::Text(FormatReal(r))) << "written as plain text";
        EXPECT_FLOAT_EQ(settings->ReadReal(name, 99.0f), r);
    }
    EXPECT_EQ(settings->ReadNumber("All Ones", 0), 0xFFFFFFFFu);
    Bytes back(232);
    EXPECT_TRUE(settings->ReadBinary("Log Settings", back.data(), back.size()));
    EXPECT_EQ(back, log);
}

TEST(Settings, WithoutAnOpenKeyReadsGiveDefaultsAndWritesFail)
{
    auto closed = std::make_unique<CMemorySettingsStore>(false);
    auto failing = std::make_unique<CMemorySettingsStore>();
    failing->SetFailWrites(true);
    std::vector<std::pair<const char*, std::unique_ptr<CSettingsStore>>> stores;
    stores.emplace_back("closed key", std::move(closed));
    stores.emplace_back("no store", nullptr);
    stores.emplace_back("writes refused", std::move(failing));
    for (auto& [what, store] : stores) {
        const bool open = store && store->IsOpen();
        CSettings settings(std::move(store));
        Bytes buffer(4, 0xEE);
        EXPECT_EQ(settings.IsOpen(), open) << what;
        EXPECT_EQ(settings.ReadNumber("Demo Mode", 3), 3u) << what;
        EXPECT_FALSE(settings.ReadBinary("Log Settings", buffer.data(), buffer.size())) << what;
        EXPECT_EQ(buffer, Bytes(4, 0xEE)) << what;
        EXPECT_FLOAT_EQ(settings.ReadReal("R", 0.1f), 0.1f) << what;
        EXPECT_FALSE(settings.WriteNumber("Demo Mode", 1)) << what;
        EXPECT_FALSE(settings.WriteBinary("Log Settings", buffer.data(), buffer.size())) << what;
        EXPECT_FALSE(settings.WriteReal("R", 0.5f)) << what;
        EXPECT_EQ(settings.ReadNumber("Demo Mode", 3), 3u) << what << ": nothing was stored";
    }
}

TEST(SettingValue, RegistryFormRoundTripsEveryType)
{
    const std::vector<SettingValue> values = {
        SettingValue::Number(0x12345678), SettingValue::Binary(Sequence(232)), SettingValue::Binary({}),
        SettingValue::Text("0.005"),      SettingValue::Text("Ohm \xCE\xA9 \xF0\x9F\x94\x8C"),
        SettingValue::ExpandText("%TEMP%\\x"), SettingValue::Other(7, {'a', 0, 0, 0, 0, 0}),
    };
    for (const auto& v : values) {
        const Bytes data = v.RegistryData();
        EXPECT_EQ(SettingValue::FromRegistry(v.RegistryType(), data.data(), data.size()), v);
    }
    // What every reader of the registry sees: a text ends at its first NUL.
    const Bytes withNul = {'1', 0, 0, 0, '2', 0};
    EXPECT_EQ(SettingValue::FromRegistry(kRegText, withNul.data(), withNul.size()), SettingValue::Text("1"));
    EXPECT_EQ(SettingValue::Number(0x12345678).RegistryData(), (Bytes{0x78, 0x56, 0x34, 0x12}));

    // Malformed UTF-8 is replaced, never dropped or read past its end.
    const std::vector<std::pair<std::string, std::u16string>> malformed = {
        {"a\xC3", u"a\uFFFD"},          {"\xC0\x80" "b", u"\uFFFDb"}, {"\xED\xA0\x80", u"\uFFFD"},
        {"\xFFx", u"\uFFFDx"},          {"\xE2\x82", u"\uFFFD"},   {"\xF0\x9F\x94\x8C", u"\U0001F50C"},
    };
    for (const auto& [utf8, utf16] : malformed) EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
}

}  // namespace
