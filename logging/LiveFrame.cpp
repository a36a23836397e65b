#include "logging/LiveFrame.h"

#include <algorithm>

#include "device/ReadingWatch.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/DemoDesign.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Tmon.h"
#include "link/CableLock.h"
#include "util/TextFormat.h"

using logsel::Group;

namespace live {

namespace {

void Track(LiveReading& reading)
{
    if (!reading.value) return;
    const double v = *reading.value;
    reading.min = reading.min ? std::min(*reading.min, v) : v;
    reading.max = reading.max ? std::max(*reading.max, v) : v;
}

}  // namespace

Quantity QuantityOf(int channel)
{
    switch (logsel::GroupOf(channel)) {
    case Group::Vmon: return Quantity::Voltage;
    case Group::Imon: return Quantity::Current;
    case Group::Tmon: return Quantity::Temperature;
    case Group::Hvout:
    case Group::Gpio: return Quantity::Level;
    }
    return Quantity::Level;
}

std::string_view ChannelUnit(int channel)
{
    switch (QuantityOf(channel)) {
    case Quantity::Voltage: return "V";
    case Quantity::Current: return "A";
    case Quantity::Temperature: return "\xC2\xB0" "C";
    case Quantity::Level: return "";
    }
    return "";
}

std::string_view ChannelLabel(int channel) { return logsel::ChannelLabel(channel); }

bool HasComparators(int channel)
{
    const Group group = logsel::GroupOf(channel);
    return group == Group::Vmon || group == Group::Tmon || group == Group::Imon;
}

std::string RailName(int device, int channel)
{
    using namespace demodesign;
    if (logsel::GroupOf(channel) == Group::Vmon) {
        const int input = logsel::NumberInGroup(channel) - 1;
        for (int pot = 0; pot < kPots; ++pot)
            if (PotInput(pot).hmu == device && PotInput(pot).channel == input) return FormatText("POT%d", pot + 1);
        // DC-DC4 and DC-DC8: the fourth rail of each device's supply chain.
        for (int dcdc = 0; dcdc < kNetworkRails - kFirstDcdcRail; ++dcdc)
            if (DcdcInput(dcdc).hmu == device && DcdcInput(dcdc).channel == input)
                return FormatText("DC-DC%d", 4 * (dcdc + 1));
    }
    if (device == kThermalHmu && channel == logsel::Channel(Group::Tmon, kResistorMonitor + 1)) return "R203";
    return {};
}

bool ComparatorFault(int channel, bool output, vmon::Direction direction)
{
    if (logsel::GroupOf(channel) == Group::Vmon) return direction == vmon::Direction::Over ? output : !output;
    return output;
}

std::string_view PresenceText(Presence presence)
{
    switch (presence) {
    case Presence::NotSeen: return "absent";
    case Presence::Present: return "present";
    case Presence::Left: return "left";
    case Presence::Returned: return "returned";
    }
    return "";
}

int LiveDevice::FailedReadings() const
{
    int failed = 0;
    for (const LiveReading& reading : channels) failed += reading.read && reading.failed ? 1 : 0;
    return failed;
}

std::vector<const LiveDevice*> LiveFrameData::Shown() const
{
    std::vector<const LiveDevice*> shown;
    for (const LiveDevice& device : devices)
        if (named || device.presence != Presence::NotSeen) shown.push_back(&device);
    return shown;
}

int LiveFrameData::FailedReadings() const
{
    int failed = 0;
    for (const LiveDevice* device : Shown()) failed += device->Answering() ? device->FailedReadings() : 1;
    return failed;
}

CLiveMonitor::CLiveMonitor(CTovin_I2C_Port& port, LiveOptions options) : m_port(port), m_options(std::move(options))
{
    std::vector<int> devices = m_options.devices;
    if (devices.empty())
        for (int d = 0; d < kDevices; ++d) devices.push_back(d);
    m_frame.named = !m_options.devices.empty();
    for (const int d : devices) m_frame.devices.push_back(LiveDevice{d, Presence::NotSeen, {}});
}

bool CLiveMonitor::ReadNextDevice()
{
    if (m_frame.devices.empty()) {
        ++m_frame.number;
        return true;
    }
    ReadDevice(m_frame.devices[m_next]);
    if (++m_next < m_frame.devices.size()) return false;
    m_next = 0;
    ++m_frame.number;
    return true;
}

void CLiveMonitor::ReadFrame()
{
    while (!ReadNextDevice()) {
    }
}

void CLiveMonitor::ResetMinMax()
{
    for (LiveDevice& device : m_frame.devices)
        for (LiveReading& reading : device.channels) {
            reading.min.reset();
            reading.max.reset();
            Track(reading);
        }
}

void CLiveMonitor::ReadDevice(LiveDevice& device)
{
    CCableLock lock;
    const int d = device.device;
    const bool answers = m_port.ProbeHmu(d);
    if (!answers) {
        if (device.presence != Presence::NotSeen) device.presence = Presence::Left;
        // A device that does not answer has no readings; its min and max stay.
        for (LiveReading& reading : device.channels) {
            reading.read = false;
            reading.failed = false;
            reading.value.reset();
            reading.comparators.reset();
            reading.attenuated = false;
        }
        return;
    }
    device.presence = device.presence == Presence::Left ? Presence::Returned : Presence::Present;

    const int previous = m_port.GetHmuIndex();
    m_port.SetHmuIndex(d);
    const auto selected = [&](int channel) { return m_options.channels[channel]; };
    // Every reading starts afresh: nothing of the last frame is shown as read in this one.
    for (LiveReading& reading : device.channels) {
        reading.read = false;
        reading.failed = false;
        reading.value.reset();
        reading.comparators.reset();
        reading.attenuated = false;
    }
    const auto set = [&](int channel, double value, bool failed) {
        LiveReading& reading = device.channels[channel];
        reading.read = true;
        reading.failed = failed;
        if (!failed) reading.value = value;
        Track(reading);
    };

    // Voltages, as the voltage page reads them, then its comparator records.
    bool anyVoltage = false;
    for (int c = 0; c < vmon::kChannels; ++c) {
        const int channel = logsel::Channel(Group::Vmon, c + 1);
        if (!selected(channel)) continue;
        anyVoltage = true;
        const CReadingWatch watch(m_port);
        bool attenuated = false;
        const double volts = vmon::MeasureInput(m_port, c, &attenuated);
        set(channel, volts, watch.Failed());
        device.channels[channel].attenuated = attenuated && !watch.Failed();
    }
    if (anyVoltage) {
        const CReadingWatch watch(m_port);
        vmon::Values values;
        vmon::ReadComparatorStates(m_port, values);
        if (!watch.Failed())
            for (int c = 0; c < vmon::kChannels; ++c) {
                LiveReading& reading = device.channels[logsel::Channel(Group::Vmon, c + 1)];
                if (reading.read) reading.comparators = {values.comparators[2 * c], values.comparators[2 * c + 1]};
            }
    }

    // Pin levels, as the log reads them: the identification says whether GPIO7 is there.
    gpio::PinRecords pins;
    const CReadingWatch highWatch(m_port);
    pins.record2 = gpio::ReadPinRecord(m_port, gpio::kPinRecordHigh);
    const bool highFailed = highWatch.Failed();
    for (int h = 0; h < hvout::kOutputs; ++h) {
        const int channel = logsel::Channel(Group::Hvout, h + 1);
        if (selected(channel)) set(channel, gpio::HvoutLevel(pins, h) ? 1 : 0, highFailed);
    }
    const CReadingWatch identificationWatch(m_port);
    const uint8_t identification = gpio::ReadIdentification(m_port);
    const bool identificationFailed = identificationWatch.Failed();
    const CReadingWatch lowWatch(m_port);
    pins.record1 = gpio::ReadPinRecord(m_port, gpio::kPinRecordLow);
    const bool lowFailed = lowWatch.Failed();
    for (int p = 0; p < gpio::kPins; ++p) {
        const int channel = logsel::Channel(Group::Gpio, p + 1);
        const bool unknownPin = identificationFailed && p == gpio::kGpio7;
        if (!selected(channel) || (!unknownPin && !gpio::PinUsable(identification, p))) continue;
        const bool pinFailed = (p < 3 ? highFailed : lowFailed) || unknownPin;
        set(channel, gpio::PinLevel(pins, p) ? 1 : 0, pinFailed);
    }

    // Temperatures, then TMON stat A and B, as the temperature page reads them.
    bool anyTemperature = false;
    for (int t = 0; t < tmon::kMonitors; ++t) {
        const int channel = logsel::Channel(Group::Tmon, t + 1);
        if (!selected(channel)) continue;
        anyTemperature = true;
        const CReadingWatch watch(m_port);
        const double celsius = tmon::ReadTemperature(m_port, t);
        set(channel, celsius, watch.Failed());
    }
    if (anyTemperature) {
        const CReadingWatch watch(m_port);
        const tmon::ComparatorStates states = tmon::ReadComparatorStates(m_port);
        if (!watch.Failed())
            for (int t = 0; t < tmon::kMonitors; ++t) {
                LiveReading& reading = device.channels[logsel::Channel(Group::Tmon, t + 1)];
                if (reading.read) reading.comparators = {states[2 * t], states[2 * t + 1]};
            }
    }

    // Currents: the amplifier voltage over its gain and the sense resistor,
    // then the comparator records, as the current page reads them.
    bool anyCurrent = false;
    for (int m = 0; m < imon::kMonitors; ++m) {
        const int channel = logsel::Channel(Group::Imon, m + 1);
        if (!selected(channel)) continue;
        anyCurrent = true;
        const CReadingWatch watch(m_port);
        const float volts = imon::MeasureVolts(m_port, m);
        const int gain = imon::ReadGain(m_port, m);
        const float ohms = m_options.senseOhms ? m_options.senseOhms(d, m) : imon::kDefaultSenseResistance;
        set(channel, imon::CurrentAmps(volts, gain, imon::UsableSenseResistance(ohms)), watch.Failed());
    }
    if (anyCurrent) {
        const CReadingWatch watch(m_port);
        imon::Values values{};
        const bool ready = imon::ReadComparatorStates(m_port, values);
        if (ready && !watch.Failed())
            for (int m = 0; m < imon::kMonitors; ++m) {
                LiveReading& reading = device.channels[logsel::Channel(Group::Imon, m + 1)];
                if (reading.read) reading.comparators = values[m].comparators;
            }
    }
    m_port.SetHmuIndex(previous);
}

}  // namespace live
