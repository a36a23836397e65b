// The HVOUT and GPIO windows on the simulated board: what they show of the
// registers, which controls the choices leave in use, and exactly what Write
// sends, with the shared output control block written only when an output
// follows it.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "util/TextFormat.h"
#include "widgets/ToggleValueLabel.h"
#include "pages/TovinGPIODlg.h"
#include "pages/TovinHVOUTDlg.h"
#include "tests/pages/ControlPageBench.h"

namespace {

const QString kHvoutTitle = QStringLiteral("ZENT I2C HVOUT Status");
const QString kGpioTitle = QStringLiteral("ZENT I2C Digital I/O");

std::string ConfigWrite(int reg, int value)
{
    return FormatText("S C0 A 31 A %02X A %02X A P ", reg, value);
}

std::string OutputControlWrite(int value)
{
    return FormatText("S C0 A 51 A 70 A %02X A P ", value);
}

const std::string kUpdate = "S C0 A 35 A P ";

void Click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

// HVOUT1 switched open drain from the interface; HVOUT2 on OCB/"GPIO6" as a
// charge pump; HVOUT3 on OCB/"I2C"; HVOUT4 all zero. Bit 6 of Config0 and
// bit 4 of Config1 are set where the page must not keep them.
void SetUpHvout(CHmuDevice& hmu)
{
    const uint8_t configs[8] = {0x00, 0xF5, 0xE7, 0x00, 0x80, 0x00, 0x00, 0x00};
    for (int r = 0; r < 8; ++r) hmu.SetConfiguration(hvout::kFirstConfigRegister + r, configs[r]);
    hmu.SetConfiguration(ocb::ConfigRegister(1), 0x3A);  // HVOUT1 "VMON_4A", HVOUT2 "GPIO6"
    hmu.SetConfiguration(ocb::ConfigRegister(2), 0x01);  // HVOUT3 "I2C", HVOUT4 "HMU-I/F"
}

TEST(HvoutPage, ShowsTheOutputsAndEnablesWhatTheirChoicesUse)
{
    ControlPageBench bench;
    SetUpHvout(bench.Hmu(0));
    bench.Open<CTovinHVOUTDlg>(&CTovinMainDlg::OnHvout, kHvoutTitle, [&](CTovinPropertySheet&, CTovinHVOUTDlg& page) {
        struct Shown {
            bool ocb, switched, openDrain;
            const char *signal, *frequency, *duty, *pump, *source, *sink;
            bool valueEnabled;
        };
        const Shown expected[4] = {
            {false, true, true, "VMON_4A", "15.625", "37.55", "6", "12.5", "100", false},
            {true, false, false, "GPIO6", "31.25", "6.25", "12", "50", "250", false},
            {true, false, false, "I2C", "31.25", "6.25", "6", "12.5", "100", true},
            {false, false, false, "HMU-I/F", "31.25", "6.25", "6", "12.5", "100", false},
        };
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(k);
            const auto& c = page.Output(k);
            const Shown& e = expected[k];
            EXPECT_EQ(c.ocbSource->isChecked(), e.ocb);
            EXPECT_EQ(c.interfaceSource->isChecked(), !e.ocb);
            EXPECT_EQ(c.switchedMode->isChecked(), e.switched);
            EXPECT_EQ(c.openDrain->isChecked(), e.openDrain);
            EXPECT_EQ(c.signal->currentText(), e.signal);
            EXPECT_EQ(c.frequency->currentText(), e.frequency);
            EXPECT_EQ(c.dutyCycle->currentText(), e.duty);
            EXPECT_EQ(c.pumpVoltage->currentText(), e.pump);
            EXPECT_EQ(c.sourceCurrent->currentText(), e.source);
            EXPECT_EQ(c.sinkCurrent->currentText(), e.sink);
            EXPECT_EQ(c.signal->isEnabled(), e.ocb);
            EXPECT_EQ(c.frequency->isEnabled(), e.switched);
            EXPECT_EQ(c.dutyCycle->isEnabled(), e.switched);
            EXPECT_EQ(c.pumpVoltage->isEnabled(), !e.openDrain);
            EXPECT_EQ(c.sinkCurrent->isEnabled(), !e.openDrain);
            EXPECT_EQ(c.value->isEnabled(), e.valueEnabled);
            EXPECT_EQ(c.value->text(), "0");
            EXPECT_EQ(c.signal->count(), 16);
            EXPECT_EQ(c.dutyCycle->count(), 16);
        }
        // Choosing changes the enabling at once; nothing is sent before Write.
        bench.ClearLog();
        const auto& hv2 = page.Output(1);
        hv2.signal->setCurrentIndex(ocb::kSignalI2c);
        EXPECT_TRUE(hv2.value->isEnabled());
        hv2.interfaceSource->click();
        EXPECT_FALSE(hv2.value->isEnabled());
        EXPECT_FALSE(hv2.signal->isEnabled());
        page.Output(0).chargePump->click();
        EXPECT_TRUE(page.Output(0).pumpVoltage->isEnabled());
        page.Output(0).staticMode->click();
        EXPECT_FALSE(page.Output(0).dutyCycle->isEnabled());
        EXPECT_EQ(bench.Log(), "");
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

TEST(HvoutPage, WriteSendsSignalsThenSettingsAndTheControlBlockOnlyWhenAnOutputFollowsIt)
{
    const std::string signalsAndSettings = [] {
        std::string s = ConfigWrite(92, 0x3A) + ConfigWrite(93, 0x01) + kUpdate;
        const int written[8] = {0x00, 0xE5, 0xA7, 0x00, 0x80, 0x00, 0x00, 0x00};
        for (int r = 0; r < 8; ++r) s += ConfigWrite(83 + r, written[r]);
        return s + kUpdate;
    }();
    struct Case {
        const char* name;
        std::function<void(CTovinHVOUTDlg&)> change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"as read: HVOUT3 follows the block", [](CTovinHVOUTDlg&) {}, signalsAndSettings + OutputControlWrite(0x00)},
        {"HVOUT3 toggled to 1", [](CTovinHVOUTDlg& page) { Click(page.Output(2).value); },
         signalsAndSettings + OutputControlWrite(0x10)},
        {"toggled twice", [](CTovinHVOUTDlg& page) {
             Click(page.Output(2).value);
             Click(page.Output(2).value);
         },
         signalsAndSettings + OutputControlWrite(0x00)},
        {"HVOUT3 back on HMU/IF: no output follows the block",
         [](CTovinHVOUTDlg& page) {
             page.Output(2).interfaceSource->click();
             Click(page.Output(2).value);  // disabled: no toggle
         },
         [&] {
             std::string s = signalsAndSettings;
             const std::string hv3 = ConfigWrite(87, 0x80);
             return s.replace(s.find(hv3), hv3.size(), ConfigWrite(87, 0x00));
         }()},
        {"HVOUT4 on OCB/I2C with HVOUT1 and 3 toggled, HVOUT2 (no longer I2C) not",
         [](CTovinHVOUTDlg& page) {
             page.Output(3).ocbSource->click();
             page.Output(3).signal->setCurrentIndex(ocb::kSignalI2c);
             page.Output(0).ocbSource->click();
             page.Output(0).signal->setCurrentIndex(ocb::kSignalI2c);
             Click(page.Output(0).value);
             Click(page.Output(2).value);
             Click(page.Output(1).value);  // its signal is GPIO6
             page.Output(3).sinkCurrent->setCurrentIndex(3);
         },
         [&] {
             std::string s = ConfigWrite(92, 0x31) + ConfigWrite(93, 0x11) + kUpdate;
             const int written[8] = {0x80, 0xE5, 0xA7, 0x00, 0x80, 0x00, 0x8C, 0x00};
             for (int r = 0; r < 8; ++r) s += ConfigWrite(83 + r, written[r]);
             return s + kUpdate + OutputControlWrite(0x14);
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControlPageBench bench;
        SetUpHvout(bench.Hmu(0));
        bench.Open<CTovinHVOUTDlg>(&CTovinMainDlg::OnHvout, kHvoutTitle,
                                   [&](CTovinPropertySheet&, CTovinHVOUTDlg& page) {
                                       c.change(page);
                                       bench.ClearLog();
                                       page.WriteButton()->click();
                                       EXPECT_EQ(bench.Log() + " ", c.expected);
                                   });
    }
}

TEST(HvoutPage, AnOutputToggledOnTheI2cSignalLightsAfterWriteAndReadAndTheOthersAreCarried)
{
    ControlPageBench bench;
    SetUpHvout(bench.Hmu(0));
    bench.board->SetHvoutInterface(0, 0, true);                    // HVOUT1, on HMU/IF, high
    bench.Hmu(0).SetConfiguration(gpio::kFirstConfigRegister, 0x10);  // GPIO3 an input (pulled up), GPIO2 an output
    bench.Open<CTovinHVOUTDlg>(&CTovinMainDlg::OnHvout, kHvoutTitle, [&](CTovinPropertySheet&, CTovinHVOUTDlg& page) {
        EXPECT_EQ(page.Output(0).value->text(), "1");
        EXPECT_EQ(page.Output(2).value->text(), "0");
        Click(page.Output(2).value);
        EXPECT_EQ(page.Output(2).value->text(), "1");
        bench.ClearLog();
        page.WriteButton()->click();
        // HVOUT3 at bit 4; HVOUT1 (bit 2) and GPIO3 (bit 1) as read; HVOUT2, HVOUT4 and GPIO2 low.
        const std::string log = bench.Log();
        EXPECT_EQ(log.substr(log.rfind("S C0 A 51")) + " ", OutputControlWrite(0x16));
        EXPECT_EQ(bench.Hmu(0).PinLevels().hvout, 0x05);

        Click(page.Output(2).value);  // shown 0 until the device is read again
        page.ReadButton()->click();
        EXPECT_EQ(page.Output(2).value->text(), "1");
        EXPECT_EQ(page.Output(0).value->text(), "1");
        EXPECT_EQ(page.Output(1).value->text(), "0");
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

// GPIO1..4 inputs, GPIO5..8 outputs with GPIO7 (bit 4 of Config1) an input,
// GPIO9 an input; junk in the odd bits. GPIO2 signal "I2C", GPIO3 "VMON_9A".
// The board drives GPIO1 and GPIO3 high and GPIO2, GPIO4 and GPIO9 low on the
// inputs, and GPIO5 high on the outputs of the interface logic.
constexpr const char* kLevels = "1010100000";
void SetUpGpio(CSimulatedBoard& board, uint8_t identification)
{
    CHmuDevice& hmu = *board.Hmu(0);
    for (int pin = 0; pin < gpio::kPins; ++pin) board.SetGpioInput(0, pin, pin == 0 || pin == 2 || pin == 6);
    board.SetGpioInterface(0, 4, true);
    hmu.SetIdentification(identification);
    hmu.SetConfiguration(gpio::kFirstConfigRegister, 0x55 | 0xAA);
    hmu.SetConfiguration(gpio::kFirstConfigRegister + 1, 0x10 | 0x02);
    hmu.SetConfiguration(gpio::kFirstConfigRegister + 2, 0x01 | 0x08);
    hmu.SetConfiguration(ocb::ConfigRegister(0), 0x1B);
}

TEST(GpioPage, ShowsDirectionsSignalsAndAnAbsentGpio7)
{
    for (const uint8_t id : {uint8_t{0x8A}, uint8_t{0x88}}) {
        SCOPED_TRACE(int{id});
        ControlPageBench bench;
        SetUpGpio(*bench.board, id);
        bench.Open<CTovinGPIODlg>(&CTovinMainDlg::OnGpio, kGpioTitle, [&](CTovinPropertySheet&, CTovinGPIODlg& page) {
            const char* inputs = "IIIIOOIOIO";
            // GPIO7, an input driven high, reads low on a device without it.
            const char* levels = id == 0x88 ? kLevels : "1010101000";
            for (int pin = 0; pin < gpio::kPins; ++pin) {
                SCOPED_TRACE(pin + 1);
                const auto& c = page.Pin(pin);
                const bool absent = pin == gpio::kGpio7 && id == 0x88;
                EXPECT_EQ(c.value->text(), absent ? QStringLiteral("N/A") : QString(QLatin1Char(levels[pin])));
                EXPECT_EQ(c.label->isEnabled(), !absent);
                EXPECT_EQ(c.input->isEnabled(), !absent);
                EXPECT_EQ(c.output->isEnabled(), !absent);
                if (!absent) {
                    EXPECT_EQ(c.input->isChecked(), inputs[pin] == 'I');
                    EXPECT_EQ(c.output->isChecked(), inputs[pin] == 'O');
                }
                // Only GPIO2 and GPIO3 can be toggled, and only as outputs on "I2C".
                if (pin != 1 && pin != 2) {
                    EXPECT_FALSE(c.value->isEnabled());
                }
            }
            EXPECT_EQ(page.Pin(0).label->text(), "GPIO&1* =");
            EXPECT_EQ(page.Pin(1).label->text(), "GPIO&2 =");
            EXPECT_EQ(page.Pin(9).label->text(), "GPIO1&0* =");
            EXPECT_EQ(page.Pin(1).signal->currentText(), "I2C");
            EXPECT_EQ(page.Pin(2).signal->currentText(), "VMON_9A");
            EXPECT_FALSE(page.Pin(1).signal->isEnabled());  // an input
            EXPECT_FALSE(page.Pin(1).value->isEnabled());
            page.Pin(1).output->click();
            EXPECT_TRUE(page.Pin(1).signal->isEnabled());
            EXPECT_TRUE(page.Pin(1).value->isEnabled());
            page.Pin(1).signal->setCurrentIndex(0);
            EXPECT_FALSE(page.Pin(1).value->isEnabled());

            // A level the board changes shows at the next Read.
            bench.board->SetGpioInput(0, 3, true);
            bench.board->SetGpioInput(0, 0, false);
            page.ReadButton()->click();
            EXPECT_EQ(page.Pin(3).value->text(), "1");
            EXPECT_EQ(page.Pin(0).value->text(), "0");
        });
        EXPECT_TRUE(bench.t->ui.messages.empty());
    }
}

TEST(GpioPage, WriteSendsDirectionsThenSignalsAndTheControlBlockOnlyWhenAPinFollowsIt)
{
    // The odd bits are written as 0; GPIO7 keeps the direction read, shown or not.
    const std::string configured =
        ConfigWrite(98, 0x55) + ConfigWrite(99, 0x10) + ConfigWrite(100, 0x01) + kUpdate;
    struct Case {
        const char* name;
        uint8_t id;
        std::function<void(CTovinGPIODlg&)> change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"both inputs", 0x8A, [](CTovinGPIODlg&) {}, configured + ConfigWrite(91, 0x1B) + kUpdate},
        {"GPIO7 absent, still written", 0x88, [](CTovinGPIODlg&) {}, configured + ConfigWrite(91, 0x1B) + kUpdate},
        {"GPIO2 an output on I2C toggled to 1, GPIO3 an input read high", 0x88,
         [](CTovinGPIODlg& page) {
             page.Pin(1).output->click();
             Click(page.Pin(1).value);
         },
         ConfigWrite(98, 0x51) + ConfigWrite(99, 0x10) + ConfigWrite(100, 0x01) + kUpdate + ConfigWrite(91, 0x1B) +
             kUpdate + OutputControlWrite(0x03)},
        {"GPIO3 an output on I2C, GPIO2 an input", 0x8A,
         [](CTovinGPIODlg& page) {
             page.Pin(2).output->click();
             page.Pin(2).signal->setCurrentIndex(ocb::kSignalI2c);
             page.Pin(5).input->click();
             Click(page.Pin(2).value);  // read high: now 0
             Click(page.Pin(1).value);  // an input: no toggle
         },
         ConfigWrite(98, 0x45) + ConfigWrite(99, 0x14) + ConfigWrite(100, 0x01) + kUpdate + ConfigWrite(91, 0x11) +
             kUpdate + OutputControlWrite(0x00)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControlPageBench bench;
        SetUpGpio(*bench.board, c.id);
        bench.Open<CTovinGPIODlg>(&CTovinMainDlg::OnGpio, kGpioTitle, [&](CTovinPropertySheet&, CTovinGPIODlg& page) {
            c.change(page);
            bench.ClearLog();
            page.WriteButton()->click();
            EXPECT_EQ(bench.Log() + " ", c.expected);
            // The identification is read once, when the page opens.
            bench.ClearLog();
            page.ReadButton()->click();
            EXPECT_EQ(bench.Log().find("S C0 A 02"), std::string::npos);
        });
    }
}

}  // namespace
