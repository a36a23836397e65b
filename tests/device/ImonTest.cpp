#include "device/blocks/Imon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace imon;

namespace {

TEST(ImonCodes, TripPointRegisterDecode)
{
    struct Case { uint8_t value; int entryA, entryB, gain; };
    const Case cases[] = {
        {0x00, 0, 0, 100},   // 0.0075 V both
        {0xFF, 15, 15, 10},  // 0.190 V both
        {0x48, 9, 0, 25},    // A 0.040 V (level 1, range 2), B 0.0075 V
        {0x84, 6, 0, 50},    // A level 2 range 1
        {0x1B, 7, 13, 25},   // A level 0 range 2, B level 1 range 3
    };
    for (const Case& c : cases) {
        const TripRegister r = DecodeTripRegister(c.value);
        EXPECT_EQ(r.entryA, c.entryA) << int(c.value);
        EXPECT_EQ(r.entryB, c.entryB) << int(c.value);
        EXPECT_EQ(r.gain, c.gain) << int(c.value);
    }
    EXPECT_EQ(EncodeTripRegister(9, 0).value, 0x48);
    EXPECT_EQ(EncodeTripRegister(9, 0).gain, 25);
}

TEST(ImonCodes, EveryRegisterValueAndEntryPairRoundTrips)
{
    // Every (level, range) pair occurs once in the table, so each of the 256
    // register values is one pair of entries and back.
    for (int value = 0; value < 256; ++value) {
        const TripRegister r = DecodeTripRegister(uint8_t(value));
        const TripWrite w = EncodeTripRegister(r.entryA, r.entryB);
        EXPECT_EQ(w.value, value);
        EXPECT_EQ(w.gain, r.gain);
        EXPECT_EQ(w.gain, GainOfRange(value >> 2));
    }
    for (int entry = 1; entry < kTripPoints; ++entry)
        EXPECT_LT(kTripPointTable[entry - 1].senseVolts, kTripPointTable[entry].senseVolts);
    for (int entry = 0; entry < kTripPoints; ++entry)
        EXPECT_EQ(EntryOfTripPoint(TripPointVolts(entry)), entry);
    EXPECT_FALSE(EntryOfTripPoint(0.041f));
    // No selection writes entry 0 rather than stray bits.
    EXPECT_EQ(EncodeTripRegister(-1, 16).value, 0x00);
}

TEST(ImonCodes, SettingsRegisterKeepsOnlyItsTwoBits)
{
    struct Case { uint8_t read; Settings settings; uint8_t written; };
    const Case cases[] = {
        {0x00, {false, false}, 0x00}, {0x08, {false, true}, 0x08},
        {0x10, {true, false}, 0x10},  {0xFF, {true, true}, 0x18},
        {0xE7, {false, false}, 0x00}, {0x5A, {true, true}, 0x18},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeSettings(c.read), c.settings) << int(c.read);
        EXPECT_EQ(EncodeSettings(DecodeSettings(c.read)), c.written) << int(c.read);
    }
}

TEST(ImonCodes, UsableSenseResistance)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case { float stored, usable; };
    const Case cases[] = {
        {0.005f, 0.005f}, {0.1f, 0.1f}, {2.5f, 2.5f}, {0.0001f, 0.0001f},
        {0.0f, 0.1f}, {-0.0f, 0.1f}, {-0.01f, 0.1f}, {inf, 0.1f}, {-inf, 0.1f},
        {std::numeric_limits<float>::quiet_NaN(), 0.1f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UsableSenseResistance(c.stored), c.usable) << c.stored;
}

TEST(ImonCodes, CurrentAndTexts)
{
    struct Current { float volts; int gain; float ohms; const char* text; };
    const Current currents[] = {
        {1.000f, 50, 0.010f, "2.000 Amps"},
        {0.0f, 10, 0.1f, "0.000 Amps"},
        {2.046f, 100, 0.005f, "4.092 Amps"},
        {1.000f, 10, 0.0f, "1.000 Amps"},  // unusable resistance counts as 0.1 ohm
        {1.000f, 10, std::numeric_limits<float>::quiet_NaN(), "1.000 Amps"},
        {1.000f, 0, 0.1f, "0.000 Amps"},
    };
    for (const Current& c : currents) {
        const float amps = CurrentAmps(c.volts, c.gain, c.ohms);
        EXPECT_TRUE(std::isfinite(amps));
        EXPECT_EQ(CurrentText(amps), c.text) << c.volts << " " << c.gain << " " << c.ohms;
    }

    struct List { float ohms; int entry; const char* text; };
    const List lists[] = {
        {0.1f, 0, "0.075 Amps"}, {0.1f, 15, "1.900 Amps"}, {0.005f, 0, "1.500 Amps"},
        {0.005f, 9, "8.000 Amps"}, {0.0f, 13, "1.000 Amps"},
    };
    for (const List& c : lists) {
        const std::vector<std::string> texts = TripPointListTexts(c.ohms);
        ASSERT_EQ(texts.size(), static_cast<size_t>(kTripPoints));
        EXPECT_EQ(texts[c.entry], c.text) << c.ohms << " " << c.entry;
    }

    struct Caption { float ohms; const char* text; };
    const Caption captions[] = {
        {0.005f, " 5.0 mOhms"}, {0.1f, "100.0 mOhms"}, {0.0001f, " 0.1 mOhms"},
        {0.0125f, "12.5 mOhms"}, {-1.0f, "100.0 mOhms"},
    };
    for (const Caption& c : captions)
        EXPECT_EQ(ResistorCaption(c.ohms), c.text) << c.ohms;

    EXPECT_EQ(SenseResistorSettingName(3, 1), "HMU3_IMON1_SenseResistor");
}

}  // namespace
