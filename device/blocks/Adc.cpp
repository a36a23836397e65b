#include "device/blocks/Adc.h"

#include "device/DemoRegisterFile.h"
#include "device/HmuCommands.h"
#include "device/MeasureCodes.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Imon.h"

using namespace hmu;

namespace adc {

namespace {

constexpr int kAdcPolls = 5;        // MeasureVoltage polls this often ...
constexpr int kAdcUsablePolls = 3;  // ... but a result ready later than this counts as none
constexpr int kRangedAdcPolls = 3;
constexpr int kRecordPolls = 3;

}  // namespace

float MeasureVoltage(CTovin_I2C_Port& port, int selector)
{
    if (CDemoRegisterFile* demo = port.DemoFile()) return demo->NextVoltage();
    // Selectors 0 and 1 stand for the two current monitors.
    const int input = selector == 0   ? imon::RegistersOf(0).selector
                      : selector == 1 ? imon::RegistersOf(1).selector
                                      : (selector & 0xFF);
    port.WriteRegister(kCmdWriteMonitor, kRegAdcMux, input);
    uint8_t low = 0;
    int readyAt = 0;  // poll number at which the conversion was done, 0 = never
    for (int poll = 1; poll <= kAdcPolls; ++poll) {
        low = port.ReadRegister(kCmdReadMonitor, kRegAdcLow);
        if (low & kAdcDone) {
            readyAt = poll;
            break;
        }
    }
    const uint8_t high = port.ReadRegister(kCmdReadMonitor, kRegAdcHigh);
    if (readyAt == 0 || readyAt > kAdcUsablePolls) {
        port.CountUnreadyResult();
        return 0.0f;
    }
    return measure::AdcVolts(measure::AdcCode(high, low));
}

float MeasureVoltageRanged(CTovin_I2C_Port& port, int selector)
{
    return MeasureRanged(port, selector).volts;
}

RangedReading MeasureRanged(CTovin_I2C_Port& port, int selector)
{
    if (CDemoRegisterFile* demo = port.DemoFile()) return {demo->NextRangedVoltage(), false};
    bool attenuated = false;
    uint8_t low = 0;
    uint8_t high = 0;
    for (int pass = 0; pass < 2; ++pass) {
        port.WriteRegister(kCmdWriteMonitor, kRegAdcMux, pass == 0 ? selector : selector + kSelectAttenuated);
        attenuated = pass == 1;
        bool ready = false;
        for (int poll = 0; poll < kRangedAdcPolls && !ready; ++poll) {
            low = port.ReadRegister(kCmdReadMonitor, kRegAdcLow);
            ready = (low & kAdcDone) != 0;
        }
        if (!ready) port.CountUnreadyResult();
        high = port.ReadRegister(kCmdReadMonitor, kRegAdcHigh);
        // A full-scale reading is taken once more through the attenuator, and
        // not rescaled.
        if (measure::AdcCode(high, low) != measure::kAdcFullScale) break;
    }
    return {measure::AdcVolts(measure::AdcCode(high, low)), attenuated};
}

uint8_t ReadMonitorRecord(CTovin_I2C_Port& port, int n)
{
    if (port.DemoFile()) return 0;
    port.WriteRegister(kCmdWriteMonitor, kRegMonitorSelect, n & kRecordSelectMask);
    bool ready = false;
    for (int poll = 0; poll < kRecordPolls && !ready; ++poll)
        ready = (port.ReadRegister(kCmdReadMonitor, kRegMonitorSelect) & kRecordReady) != 0;
    if (!ready) port.CountUnreadyResult();
    return port.ReadRegister(kCmdReadMonitor, kRegMonitorRecord);
}

}  // namespace adc
