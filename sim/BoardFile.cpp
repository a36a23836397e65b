#include "sim/BoardFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <string_view>

#include "device/HmuCommands.h"
#include "util/TextFormat.h"
#include "device/blocks/DemoDesign.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Vmon.h"

namespace {

constexpr int kMaxCount = 1000000;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool ParseReal(const std::string& text, double& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;  // from_chars takes no plus sign
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && begin != end && std::isfinite(value);
}

bool ParseUnsigned(const std::string& text, uint64_t& value, int base = 10)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    const auto [ptr, ec] = std::from_chars(begin, end, value, base);
    return ec == std::errc() && ptr == end && begin != end;
}

// "gpio10.input" with prefix "gpio" gives 10 and "input"; false when the
// field does not start with the prefix and a number.
bool SplitNumbered(const std::string& field, const std::string& prefix, int& number, std::string& rest)
{
    if (field.compare(0, prefix.size(), prefix) != 0) return false;
    const size_t dot = field.find('.', prefix.size());
    const std::string digits = field.substr(prefix.size(), dot == std::string::npos ? std::string::npos : dot - prefix.size());
    if (digits.empty() || digits.size() > 2 || digits[0] == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    if (dot != std::string::npos && dot + 1 == field.size()) return false;
    number = std::stoi(digits);
    rest = dot == std::string::npos ? std::string() : field.substr(dot + 1);
    return true;
}

// One line of a file.
class LineParser {
public:
    LineParser(BoardPlan& plan, std::string key, std::string value, int line)
        : m_plan(plan), m_key(std::move(key)), m_value(std::move(value)), m_line(line)
    {
    }

    // False with the message in error; windowPot is the POT window a good line changed, or -1.
    bool Parse(std::string& error, int& windowPot)
    {
        windowPot = -1;
        if (m_key.size() > 5 && m_key.compare(0, 3, "hmu") == 0 && m_key[3] >= '0' && m_key[3] <= '7' &&
            m_key[4] == '.')
            return Device(m_key[3] - '0', m_key.substr(5), error);
        if (m_key == "main.present") {
            if (!Whole(1, error)) return false;
            m_plan.mainPresent = m_whole == 1;
            return true;
        }
        if (m_key.compare(0, 5, "main.") == 0) return Main(m_key.substr(5), error);
        if (m_key.compare(0, 4, "fan.") == 0 || m_key.compare(0, 5, "r203.") == 0) return Thermal(error);
        int pot = 0;
        std::string field;
        if (SplitNumbered(m_key, "pot", pot, field) && pot <= kBoardPots) {
            const demodesign::RailInput rail = demodesign::PotInput(pot - 1);
            if (m_key.size() == 4) {
                if (!Real(error)) return false;
                m_plan.values[rail.hmu].vmonVolts[rail.channel] = m_real;
                return true;
            }
            if (field == "low" || field == "high") {
                if (!Real(error)) return false;
                (field == "low" ? m_plan.windows[pot - 1].low : m_plan.windows[pot - 1].high) = m_real;
                windowPot = pot - 1;
                return true;
            }
        }
        return Unknown(error);
    }

private:
    // Keys of the demonstration design in the main device.
    bool Main(const std::string& field, std::string& error)
    {
        BoardMainPlan& main = m_plan.main;
        int reg = 0;
        std::string rest;
        if (field == "supplies") {
            if (!Whole(1, error)) return false;
            main.suppliesOn = m_whole == 1;
        } else if (field.size() == 4 && field.compare(0, 3, "reg") == 0 && field[3] >= '0' &&
                   field[3] < static_cast<char>('0' + kBoardMainRegisters)) {
            reg = field[3] - '0';
            if (!Whole(0xFF, error)) return false;
            main.registers[reg] = static_cast<uint8_t>(m_whole);
        } else {
            return Unknown(error);
        }
        if (main.firstLine == 0) main.firstLine = m_line;
        return true;
    }

    // The fan and the heated resistor R203.
    bool Thermal(std::string& error)
    {
        ThermalSetup& thermal = m_plan.thermal;
        if (m_key == "fan.aimed") {
            if (!Whole(1, error)) return false;
            m_plan.fanAimed = m_whole == 1;
            return true;
        }
        struct Number {
            const char* key;
            double* value;
            double low;
            bool lowIncluded;
            double high;
        };
        const double any = std::numeric_limits<double>::infinity();
        const Number numbers[] = {
            {"r203.rise", &thermal.heaterRise, 0.0, true, any},
            {"r203.seconds", &thermal.timeConstantSeconds, 0.0, false, any},
            {"fan.cooling", &thermal.fanCooling, 0.0, true, any},
            {"fan.unaimed", &thermal.unaimedShare, 0.0, true, 1.0},
            {"fan.seconds", &thermal.fanSpinSeconds, 0.0, false, any},
        };
        for (const Number& number : numbers) {
            if (m_key != number.key) continue;
            if (!Real(error)) return false;
            const bool aboveLow = number.lowIncluded ? m_real >= number.low : m_real > number.low;
            if (!aboveLow || m_real > number.high) {
                std::ostringstream range;
                range << "\"" << m_key << "\" must be " << (number.lowIncluded ? "0 or more" : "above 0")
                      << (number.high < any ? " and 1 at most" : "") << ", found " << m_value;
                return Fail(error, range.str());
            }
            *number.value = m_real;
            return true;
        }
        return Unknown(error);
    }

    bool Device(int n, const std::string& field, std::string& error)
    {
        HmuBoardValues& values = m_plan.values[n];
        BoardDevicePlan& device = m_plan.devices[n];
        int number = 0;
        std::string rest;

        if (field == "present") {
            if (!Whole(1, error)) return false;
            m_plan.present[n] = m_whole == 1;
            return true;
        }
        if (SplitNumbered(field, "vmon", number, rest) && rest.empty() && number <= 9) {
            if (!Real(error)) return false;
            values.vmonVolts[number - 1] = m_real;
            return true;
        }
        if (field == "hvmon") {
            if (!Real(error)) return false;
            values.vmonVolts[vmon::kHvmonChannel] = m_real;
            return true;
        }
        const int monitor = field == "imon1" || field == "imon1.rsense"     ? 0
                            : field == "himon1" || field == "himon1.rsense" ? 1
                                                                            : -1;
        if (monitor >= 0) {
            if (!Real(error)) return false;
            if (field.find(".rsense") == std::string::npos) {
                values.senseAmps[monitor] = m_real;
                return true;
            }
            if (m_real <= 0.0) return Fail(error, "\"" + ShownText(m_key) + "\" must be above 0, found " + m_value);
            values.senseOhms[monitor] = m_real;
            return true;
        }
        const int temp = field == "temp1" ? 0 : field == "temp2" ? 1 : field == "tempint" ? 2 : -1;
        if (temp >= 0) {
            if (!Real(error)) return false;
            values.temperatures[temp] = m_real;
            return true;
        }
        if (field == "id") {
            if (!Whole(0xFF, error)) return false;
            values.identification = static_cast<uint8_t>(m_whole);
            return true;
        }
        if (field == "signature") {
            if (!Whole(std::numeric_limits<uint64_t>::max(), error)) return false;
            values.signature = m_whole;
            return true;
        }
        if (SplitNumbered(field, "gpio", number, rest) && number <= gpio::kPins && (rest == "input" || rest == "hmuif")) {
            if (!Whole(1, error)) return false;
            uint16_t& bits = rest == "input" ? values.gpioInputs : values.gpioInterface;
            bits = static_cast<uint16_t>(m_whole ? bits | (1u << (number - 1)) : bits & ~(1u << (number - 1)));
            return true;
        }
        if (SplitNumbered(field, "hvout", number, rest) && number <= hvout::kOutputs && rest == "hmuif") {
            if (!Whole(1, error)) return false;
            const unsigned bit = 1u << (number - 1);
            values.hvoutInterface = static_cast<uint8_t>(m_whole ? values.hvoutInterface | bit : values.hvoutInterface & ~bit);
            return true;
        }
        return DeviceState(device, field, error);
    }

    // Keys that set the device itself rather than its slot's values.
    bool DeviceState(BoardDevicePlan& device, const std::string& field, std::string& error)
    {
        if (device.firstLine == 0) device.firstLine = m_line;
        if (field.compare(0, 7, "config.") == 0) {
            uint64_t reg = 0;
            if (!ParseUnsigned(field.substr(7), reg) || reg >= static_cast<uint64_t>(hmu::kConfigRegisters))
                return Fail(error, "unknown key \"" + ShownText(m_key) + "\": configuration registers are 0 to " +
                                       std::to_string(hmu::kConfigRegisters - 1));
            if (!Whole(0xFF, error)) return false;
            device.configuration.emplace_back(static_cast<int>(reg), static_cast<uint8_t>(m_whole));
            return true;
        }
        if (field == "outputcontrol") {
            if (!Whole(0xFF, error)) return false;
            device.outputControl = static_cast<uint8_t>(m_whole);
            return true;
        }
        if (field == "faultlog.erase") {
            if (!Whole(1, error)) return false;
            if (m_whole == 1) device.records.clear();
            return true;
        }
        if (field == "faultlog.record") {
            faultlog::Record record{};
            if (!Record(record))
                return Fail(error, "\"" + ShownText(m_value) + "\" is not a fault record: seven bytes in hex, r0 first");
            if (static_cast<int>(device.records.size()) >= faultlog::kMaxRecords)
                return Fail(error, "a fault log holds " + std::to_string(faultlog::kMaxRecords) + " records at most");
            device.records.push_back(record);
            return true;
        }
        if (field == "faultlog.busy" || field == "faultlog.invalid") {
            if (!Whole(1, error)) return false;
            const bool busy = field == "faultlog.busy";
            uint8_t& status = busy ? device.status0 : device.status1;
            const uint8_t bit = busy ? faultlog::kStatus0Busy : faultlog::kStatus1Invalid;
            status = static_cast<uint8_t>(m_whole ? status | bit : status & ~bit);
            return true;
        }
        if (field == "nack.address" || field == "fault.readenable" || field == "fault.conversion") {
            const HmuFault fault = field == "nack.address"       ? HmuFault::AddressNack
                                   : field == "fault.readenable" ? HmuFault::WrongEnableAnswer
                                                                 : HmuFault::ConversionNeverReady;
            int times = 0;
            if (!Count(times, error)) return false;
            device.faults.push_back({fault, times, CHmuDevice::kAnyCommand});
            return true;
        }
        for (const auto& [name, fault] : {std::pair{"nack.command", HmuFault::CommandNack},
                                          std::pair{"nack.data", HmuFault::DataNack}}) {
            const std::string prefix = name;
            if (field.compare(0, prefix.size(), prefix) != 0) continue;
            int command = CHmuDevice::kAnyCommand;
            if (field.size() > prefix.size()) {
                uint64_t byte = 0;
                if (field[prefix.size()] != '.' || !ParseUnsigned(field.substr(prefix.size() + 1), byte) || byte > 0xFF)
                    return Unknown(error);
                command = static_cast<int>(byte);
            }
            int times = 0;
            if (!Count(times, error)) return false;
            device.faults.push_back({fault, times, command});
            return true;
        }
        return Unknown(error);
    }

    bool Fail(std::string& error, const std::string& message)
    {
        error = message;
        return false;
    }
    bool Unknown(std::string& error) { return Fail(error, "unknown key \"" + ShownText(m_key) + "\""); }

    bool Real(std::string& error)
    {
        if (ParseReal(m_value, m_real)) return true;
        return Fail(error, "\"" + ShownText(m_value) + "\" is not a number");
    }

    bool Whole(uint64_t max, std::string& error)
    {
        if (!ParseUnsigned(m_value, m_whole)) return Fail(error, "\"" + ShownText(m_value) + "\" is not a whole number");
        if (m_whole <= max) return true;
        return Fail(error, "\"" + ShownText(m_key) + "\" out of range (0 to " + std::to_string(max) + "), found " + m_value);
    }

    bool Count(int& times, std::string& error)
    {
        if (Lower(m_value) == "always") {
            times = CHmuDevice::kAlways;
            return true;
        }
        uint64_t count = 0;
        if (!ParseUnsigned(m_value, count) || count > kMaxCount)
            return Fail(error, "\"" + ShownText(m_value) + "\" is not a count: 0 to " + std::to_string(kMaxCount) +
                                   " or \"always\"");
        times = static_cast<int>(count);
        return true;
    }

    // Seven bytes in hex separated by blanks, each with or without 0x.
    bool Record(faultlog::Record& record) const
    {
        std::istringstream in(m_value);
        std::string word;
        size_t count = 0;
        while (in >> word) {
            uint64_t byte = 0;
            if (count == record.size() || !ParseUnsigned(word, byte, 16) || byte > 0xFF) return false;
            record[count++] = static_cast<uint8_t>(byte);
        }
        return count == record.size();
    }

    BoardPlan& m_plan;
    const std::string m_key;
    const std::string m_value;
    const int m_line;
    double m_real = 0.0;
    uint64_t m_whole = 0;
};

}  // namespace

bool ParseBoardFile(const std::string& text, const std::string& source, BoardPlan& plan, std::string& error)
{
    // An editor may have put a UTF-8 byte-order mark in front, as the settings reader allows.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::istringstream in(std::string_view(text).starts_with(kByteOrderMark) ? text.substr(kByteOrderMark.size())
                                                                              : text);
    std::string raw;
    int lineNumber = 0;
    const auto fail = [&](int line, const std::string& message) {
        error = source + ", line " + std::to_string(line) + ": " + message;
        return false;
    };

    std::array<int, kBoardPots> windowLine{};
    while (std::getline(in, raw)) {
        ++lineNumber;
        if (raw.size() > kMaxBoardLineBytes)
            return fail(lineNumber, "line longer than " + std::to_string(kMaxBoardLineBytes) + " characters");
        const std::string line = Trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) return fail(lineNumber, "expected \"key = value\", found \"" + ShownText(line) + "\"");
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const std::string value = Trim(line.substr(equals + 1));
        if (key.empty()) return fail(lineNumber, "missing key before '='");
        if (value.empty()) return fail(lineNumber, "missing value for \"" + ShownText(key) + "\"");

        std::string message;
        int windowPot = -1;
        if (!LineParser(plan, key, value, lineNumber).Parse(message, windowPot)) return fail(lineNumber, message);
        if (windowPot >= 0) windowLine[windowPot] = lineNumber;
    }

    for (int k = 0; k < kBoardPots; ++k) {
        if (plan.windows[k].low > plan.windows[k].high) {
            std::ostringstream message;
            message << "POT" << k + 1 << " window low " << plan.windows[k].low << " V is above high "
                    << plan.windows[k].high << " V";
            return fail(windowLine[k], message.str());
        }
    }
    if (plan.main.firstLine != 0 && !plan.mainPresent)
        return fail(plan.main.firstLine, "the main device is not on the board (main.present = 1 adds it)");
    for (int n = 0; n < kBoardHmus; ++n) {
        if (plan.devices[n].firstLine != 0 && !plan.present[n])
            return fail(plan.devices[n].firstLine, "hmu" + std::to_string(n) + " is not on the board (hmu" +
                                                       std::to_string(n) + ".present = 1 adds it)");
    }
    error.clear();
    return true;
}

std::string_view BoardFileHelp()
{
    return R"(Board files set up the simulated board: one "key = value" per line; '#' starts
a comment and blank lines are skipped. Keys are not case-sensitive. Whole
numbers may be written in hex with 0x. N is the HMU device, 0..7; pins and
inputs count from 1. A file with any bad line changes nothing, and the error
names the line. A file describes the board as it powers up: what it sets
logs no faults, and a device it adds is set up like the board's devices
(thresholds around its values).

Devices
  hmuN.present = 0|1            removes or adds HMU N
  main.present = 0|1            removes or adds the main device
  hmuN.id = 0x88                identification byte (0x88: GPIO7 not usable)
  hmuN.signature = 0x0123456789ABCDEF
                                user electronic signature

Measured values
  hmuN.vmon1 = 1.20             VMON1..VMON9 at the pin, volts (vmon1..vmon9)
  hmuN.hvmon = 5.0              HVMON at the pin, volts
  hmuN.imon1 = 2.5              current through the IMON1 sense resistor, amps
  hmuN.himon1 = 5.0             the same for HIMON1
  hmuN.imon1.rsense = 0.005     sense resistor, ohms, above 0 (also himon1.rsense)
  hmuN.temp1 = 41.5             TMON1, degrees C; temp2 for TMON2, tempint for
                                the internal sensor
  VMON1..VMON4 are the rails of trim cells 1..4: once a cell is given a target,
  its loop takes the rail there and holds it.

POT rails (POT1, POT2 are VMON7, VMON8 of HMU0; POT3, POT4 those of HMU1)
  pot1 = 1.05                   the rail's voltage (the same as hmu0.vmon7)
  pot1.low = 1.08               the window inside which the main device reports
  pot1.high = 1.32              the rail good, volts (low not above high)

Pins
  hmuN.gpio1.input = 0|1        level on GPIO1..GPIO10 while it is an input
                                (gpio1..gpio10; default 1, pulled up)
  hmuN.gpio1.hmuif = 0|1        level the device's interface logic drives on the
                                pin while it is an output (default 0)
  hmuN.hvout1.hmuif = 0|1       level of HVOUT1..HVOUT4 from "HMU/IF" (default 0)

Registers (the device's stored setup: in effect at once, no update needed)
  hmuN.config.R = V             configuration register R (0..102) holds V
  hmuN.outputcontrol = V        monitor register "Output control block"

Fault log
  hmuN.faultlog.erase = 1       empties the log (records given after it stay)
  hmuN.faultlog.record = 00 00 00 00 00 02 00
                                appends a record: seven bytes in hex, r0 first,
                                as the device sends them; 16 records at most
  hmuN.faultlog.busy = 0|1      status byte 0 bit 0: the log reads as empty
  hmuN.faultlog.invalid = 0|1   status byte 1 bit 7: the log reads as empty
                                until it is erased

The demonstration design in the main device
  main.reg0 = 0x04              register 0..3 as the design powers up (reg0..reg3);
                                register 2 bits 3..0, the POT status, follow
                                the rails whatever is given
  main.supplies = 0|1           1: the board powers up with all twenty supplies
                                and the resets on (default); 0: everything off
                                until Manual Restart

The fan and the heated resistor R203 (HMU0's TMON2; the board temperature is
HMU1's internal sensor, hmu1.tempint)
  fan.aimed = 0|1               the fan points at R203 (default 1)
  r203.rise = 14                degrees the heater takes R203 above the board
                                in still air (0 or more)
  r203.seconds = 30             R203's time constant in still air (above 0)
  fan.cooling = 40              how much better the full fan aimed at R203
                                cools it than still air; it goes with the cube
                                of the fan speed (0 or more)
  fan.unaimed = 0.05            the share of that when the fan points away (0..1)
  fan.seconds = 1.5             the fan's time constant to a new speed (above 0)

Faults to inject (COUNT: how many times, "always", or 0 to cancel)
  hmuN.nack.address = COUNT     the device's address (write or read) is not
                                acknowledged
  hmuN.nack.command = COUNT     a command byte is not acknowledged, nor the rest
                                of its transaction
  hmuN.nack.command.C = COUNT   only command byte C, e.g. hmu0.nack.command.0x35
  hmuN.nack.data = COUNT        a data byte written after the command (and its
                                register number) is not acknowledged
  hmuN.nack.data.C = COUNT      only in transactions of command byte C
  hmuN.fault.readenable = COUNT READ_FAULT_ENABLE answers the wrong byte and the
                                log stays closed
  hmuN.fault.conversion = COUNT a conversion whose ready bit never comes

Register, fault log and fault keys need the device on the board once the
file is read, and so do the main device's keys.
)";
}
