#include "sim/SimulatedBoard.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <vector>

#include "device/MeasureCodes.h"
#include "device/TextFormat.h"
#include "device/blocks/Imon.h"

namespace {

constexpr uint64_t kSignatureBase = 0x2C5E0A0100000017ull;
// Temperature thresholds the board's devices start with, degrees Celsius.
constexpr int kTmonThresholds[3][2] = {{40, 50}, {40, 50}, {37, 85}};
constexpr PotWindow kDefaultPotWindow{1.08, 1.32};  // 1.2 V rails, +-10 %

bool Finite(double value)
{
    return std::isfinite(value);
}

// The code whose over-voltage table value, the one the device compares
// with, is nearest to the target.
vmon::ThresholdCode NearestThreshold(vmon::Range range, double volts)
{
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int entry = 0; entry < vmon::kEntries; ++entry) {
        const double distance = std::fabs(vmon::EntryVolts(range, vmon::Direction::Over, entry) - volts);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = entry;
        }
    }
    return vmon::CodeFromEntry(best);
}

// Trip point entries for a sense voltage: A the lowest one above 1.5 times
// the voltage (an over-current alarm that stays quiet), B the highest one
// below it (shows that current flows).
// Trip points are compared at microvolt precision, as the device does, so
// that a float table value just under a sense voltage does not count as below.
imon::TripWrite TripPointsAround(double senseVolts)
{
    const auto trip = [](int entry) { return std::round(imon::TripPointVolts(entry) * 1e6) / 1e6; };
    int entryA = imon::kTripPoints - 1;
    for (int entry = 0; entry < imon::kTripPoints; ++entry) {
        if (trip(entry) > 1.5 * senseVolts) {
            entryA = entry;
            break;
        }
    }
    int entryB = 0;
    for (int entry = 0; entry < imon::kTripPoints; ++entry)
        if (trip(entry) < senseVolts) entryB = entry;
    return imon::EncodeTripRegister(entryA, entryB);
}

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
    return ec == std::errc() && ptr == end && begin != end && Finite(value);
}

bool ParseUnsigned(const std::string& text, uint64_t& value)
{
    int base = 10;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    const auto [ptr, ec] = std::from_chars(begin, end, value, base);
    return ec == std::errc() && ptr == end && begin != end;
}

}  // namespace

// What a board file would make of the board, checked before it is applied.
struct CSimulatedBoard::Plan {
    std::array<HmuBoardValues, kMaxHmus> values;
    std::array<PotWindow, kPots> windows;
    std::array<bool, kMaxHmus> present{};
    bool mainPresent = false;
};

CSimulatedBoard::CSimulatedBoard() : m_driver(std::make_shared<CSimulatedFtdiDriver>())
{
    for (int i = 0; i < kMaxHmus; ++i) m_values[i] = TypicalValues(i);
    m_potWindows.fill(kDefaultPotWindow);
}

// The devices stay on the cable's bus, which a port may hold longer than the board.
CSimulatedBoard::~CSimulatedBoard() = default;

HmuBoardValues CSimulatedBoard::TypicalValues(int index)
{
    HmuBoardValues values;
    if (index == 0) {
        // The board's own management device: core and I/O rails, POT1 and
        // POT2 on VMON7 and VMON8, DC-DC4 on VMON4, the USB 5 V on HVMON.
        values.vmonVolts = {1.800, 1.500, 1.250, 1.200, 1.000, 0.900, 1.200, 1.220, 0.750, 5.000};
        values.senseAmps = {2.0, 5.0};
        values.senseOhms = {0.010, 0.005};
        values.temperatures = {35.0, 42.5, 38.25};
        values.identification = 0x8A;
    } else {
        // The expansion device: POT3 and POT4, DC-DC8 on VMON4, a 12 V input on HVMON.
        values.vmonVolts = {1.650, 1.500, 1.350, 1.000, 1.100, 0.950, 1.150, 1.250, 0.850, 12.000};
        values.senseAmps = {1.2, 3.0};
        values.senseOhms = {0.010, 0.005};
        values.temperatures = {33.0, 31.5, 36.75};
        values.identification = 0x88;
    }
    values.signature = kSignatureBase + static_cast<uint64_t>(index < 0 ? 0 : index);
    return values;
}

std::unique_ptr<CSimulatedBoard> CSimulatedBoard::CreateDefault()
{
    auto board = std::make_unique<CSimulatedBoard>();
    const std::shared_ptr<CHmuDevice> hmu0 = board->AddHmu(0);
    board->AddHmu(1);
    board->AddMain();

    // HVOUT1, HVOUT2 and GPIO1..3 high while the board runs.
    hmu0->SetOutputStates(0x03, 0x0007);
    // Two faults: POT1 fell under its trip point, then the heated resistor
    // went above both its thresholds.
    HmuComparators underVoltage = hmu0->Comparators();
    underVoltage.vmon[2 * 6] = false;
    hmu0->AddFaultRecord(MakeFaultRecord(underVoltage, 0x03, 0x0007));
    HmuComparators overTemperature = hmu0->Comparators();
    overTemperature.tmon[2] = true;
    overTemperature.tmon[3] = true;
    hmu0->AddFaultRecord(MakeFaultRecord(overTemperature, 0x01, 0x0005));
    return board;
}

void CSimulatedBoard::SetUpDevice(CHmuDevice& device, const HmuBoardValues& values)
{
    for (int c = 0; c < vmon::kChannels; ++c) {
        const vmon::Range range = vmon::ChannelRange(c);
        vmon::ChannelConfig config;
        config.a = NearestThreshold(range, 0.9 * values.vmonVolts[c]);
        config.b = NearestThreshold(range, 1.1 * values.vmonVolts[c]);
        config.glitchFilter = true;
        const vmon::ConfigWrite write = vmon::EncodeConfig(config);
        device.SetConfiguration(vmon::Config0Register(c), write.config0);
        device.SetConfiguration(vmon::Config1Register(c), write.config1Value);
        device.SetConfiguration(vmon::Config2Register(c), write.config2);
    }
    for (int m = 0; m < imon::kMonitors; ++m) {
        const double sense = values.senseAmps[m] * values.senseOhms[m];
        device.SetConfiguration(imon::RegistersOf(m).settingsRegister, imon::EncodeSettings({true, false}));
        device.SetConfiguration(imon::RegistersOf(m).tripRegister, TripPointsAround(sense).value);
    }
    for (int t = 0; t < tmon::kMonitors; ++t) {
        const tmon::Thresholds codes{tmon::CodeOfDegrees(kTmonThresholds[t][0]),
                                     tmon::CodeOfDegrees(kTmonThresholds[t][1])};
        const tmon::ThresholdRegisters regs = tmon::EncodeThresholds(codes, 0, 0);
        device.SetConfiguration(tmon::Config3Register(t), regs.r3);
        device.SetConfiguration(tmon::Config4Register(t), regs.r4);
        device.SetConfiguration(tmon::Config5Register(t), regs.r5);
    }
    // Trim cells 1..4 hold the set points of the rails on VMON1..VMON4, 2 mV per code.
    for (int n = 0; n < CHmuDevice::kTrimCells; ++n) {
        const int code = measure::AdcCodeForVolts(values.vmonVolts[n]);
        device.SetConfiguration(trim::Profile0LowRegister(n), static_cast<uint8_t>(code & 0xFF));
        device.SetConfiguration(trim::Profile0HighRegister(n), static_cast<uint8_t>(code >> 8));
    }
}

std::shared_ptr<CHmuDevice> CSimulatedBoard::AddHmu(int index)
{
    if (index < 0 || index >= kMaxHmus) return nullptr;
    if (m_hmus[index]) return m_hmus[index];
    auto device = std::make_shared<CHmuDevice>();
    SetUpDevice(*device, m_values[index]);
    m_hmus[index] = device;
    PushValues(index);
    m_driver->Bus().Attach(HmuAddress(index), device);
    return device;
}

bool CSimulatedBoard::RemoveHmu(int index)
{
    if (index < 0 || index >= kMaxHmus || !m_hmus[index]) return false;
    m_driver->Bus().Detach(HmuAddress(index));
    m_hmus[index].reset();
    return true;
}

std::shared_ptr<CHmuDevice> CSimulatedBoard::Hmu(int index) const
{
    if (index < 0 || index >= kMaxHmus) return nullptr;
    return m_hmus[index];
}

std::shared_ptr<CMainDevice> CSimulatedBoard::AddMain()
{
    if (m_main) return m_main;
    m_main = std::make_shared<CMainDevice>();
    PushPotStatus();
    m_driver->Bus().Attach(kMainAddress, m_main);
    return m_main;
}

bool CSimulatedBoard::RemoveMain()
{
    if (!m_main) return false;
    m_driver->Bus().Detach(kMainAddress);
    m_main.reset();
    return true;
}

const HmuBoardValues& CSimulatedBoard::Values(int index) const
{
    return m_values[std::clamp(index, 0, kMaxHmus - 1)];
}

HmuInputs CSimulatedBoard::InputsOf(const HmuBoardValues& values)
{
    HmuInputs inputs;
    inputs.vmonVolts = values.vmonVolts;
    for (int m = 0; m < 2; ++m) inputs.senseVolts[m] = values.senseAmps[m] * values.senseOhms[m];
    inputs.temperatures = values.temperatures;
    return inputs;
}

bool CSimulatedBoard::SetValues(int index, const HmuBoardValues& values)
{
    if (index < 0 || index >= kMaxHmus) return false;
    const auto allFinite = [](const auto& list) { return std::all_of(list.begin(), list.end(), Finite); };
    if (!allFinite(values.vmonVolts) || !allFinite(values.senseAmps) || !allFinite(values.temperatures))
        return false;
    if (!std::all_of(values.senseOhms.begin(), values.senseOhms.end(),
                     [](double ohms) { return Finite(ohms) && ohms > 0.0; }))
        return false;
    m_values[index] = values;
    PushValues(index);
    if (index <= 1) PushPotStatus();
    return true;
}

bool CSimulatedBoard::SetVmon(int index, int channel, double volts)
{
    if (index < 0 || index >= kMaxHmus || channel < 0 || channel >= vmon::kChannels) return false;
    HmuBoardValues values = m_values[index];
    values.vmonVolts[channel] = volts;
    return SetValues(index, values);
}

bool CSimulatedBoard::SetSenseCurrent(int index, int monitor, double amps)
{
    if (index < 0 || index >= kMaxHmus || monitor < 0 || monitor > 1) return false;
    HmuBoardValues values = m_values[index];
    values.senseAmps[monitor] = amps;
    return SetValues(index, values);
}

bool CSimulatedBoard::SetSenseResistor(int index, int monitor, double ohms)
{
    if (index < 0 || index >= kMaxHmus || monitor < 0 || monitor > 1) return false;
    HmuBoardValues values = m_values[index];
    values.senseOhms[monitor] = ohms;
    return SetValues(index, values);
}

bool CSimulatedBoard::SetTemperature(int index, int monitor, double celsius)
{
    if (index < 0 || index >= kMaxHmus || monitor < 0 || monitor >= tmon::kMonitors) return false;
    HmuBoardValues values = m_values[index];
    values.temperatures[monitor] = celsius;
    return SetValues(index, values);
}

void CSimulatedBoard::PushValues(int index)
{
    const std::shared_ptr<CHmuDevice>& device = m_hmus[index];
    if (!device) return;
    device->SetInputs(InputsOf(m_values[index]));
    device->SetIdentification(m_values[index].identification);
    device->SetSignature(m_values[index].signature);
}

bool CSimulatedBoard::PotSlot(int pot, int* index, int* channel)
{
    if (pot < 0 || pot >= kPots) return false;
    *index = pot / 2;
    *channel = 6 + pot % 2;  // VMON7, VMON8
    return true;
}

double CSimulatedBoard::PotVolts(int pot) const
{
    int index = 0;
    int channel = 0;
    return PotSlot(pot, &index, &channel) ? m_values[index].vmonVolts[channel] : 0.0;
}

bool CSimulatedBoard::SetPotVolts(int pot, double volts)
{
    int index = 0;
    int channel = 0;
    return PotSlot(pot, &index, &channel) && SetVmon(index, channel, volts);
}

PotWindow CSimulatedBoard::GetPotWindow(int pot) const
{
    return pot >= 0 && pot < kPots ? m_potWindows[pot] : PotWindow{};
}

bool CSimulatedBoard::SetPotWindow(int pot, PotWindow window)
{
    if (pot < 0 || pot >= kPots || !Finite(window.low) || !Finite(window.high) || window.low > window.high)
        return false;
    m_potWindows[pot] = window;
    PushPotStatus();
    return true;
}

uint8_t CSimulatedBoard::PotStatus() const
{
    uint8_t bits = 0;
    for (int pot = 0; pot < kPots; ++pot) {
        const double volts = PotVolts(pot);
        if (volts >= m_potWindows[pot].low && volts <= m_potWindows[pot].high) bits |= 1 << pot;
    }
    return bits;
}

void CSimulatedBoard::PushPotStatus()
{
    if (m_main) m_main->SetPotStatus(PotStatus());
}

bool CSimulatedBoard::LoadFile(const std::string& path, std::string& error)
{
    // Only a regular file: a folder would read as an empty board, and a
    // device such as /dev/zero would never end.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        error = "cannot open board file " + path;
        return false;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        error = "board file " + path + " is not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open board file " + path;
        return false;
    }
    std::string text(kMaxBoardFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxBoardFileBytes) {
        error = "board file " + path + " is larger than " + std::to_string(kMaxBoardFileBytes / 1024) + " KiB";
        return false;
    }
    return LoadText(text, error, path);
}

bool CSimulatedBoard::LoadText(const std::string& text, std::string& error, const std::string& source)
{
    using Action = std::function<void(Plan&)>;
    struct Step {
        int line;
        Action action;
        int pot;  // the POT window it changes, -1 for none
    };
    std::vector<Step> steps;

    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    const auto fail = [&](const std::string& message) {
        error = source + ", line " + std::to_string(lineNumber) + ": " + message;
        return false;
    };

    while (std::getline(in, raw)) {
        ++lineNumber;
        if (raw.size() > kMaxBoardLineBytes)
            return fail("line longer than " + std::to_string(kMaxBoardLineBytes) + " characters");
        const std::string line = Trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) return fail("expected \"key = value\", found \"" + ShownText(line) + "\"");
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const std::string value = Trim(line.substr(equals + 1));
        if (key.empty()) return fail("missing key before '='");
        if (value.empty()) return fail("missing value for \"" + ShownText(key) + "\"");

        // Value readers; each reports its own error.
        double real = 0.0;
        uint64_t whole = 0;
        const auto readReal = [&] {
            if (ParseReal(value, real)) return true;
            return fail("\"" + ShownText(value) + "\" is not a number");
        };
        const auto readPositive = [&] {
            if (!readReal()) return false;
            if (real > 0.0) return true;
            return fail("\"" + ShownText(key) + "\" must be above 0, found " + ShownText(value));
        };
        const auto readWhole = [&](uint64_t max) {
            if (!ParseUnsigned(value, whole)) return fail("\"" + ShownText(value) + "\" is not a whole number");
            if (whole <= max) return true;
            return fail("\"" + ShownText(key) + "\" out of range (0 to " + std::to_string(max) + "), found " +
                        ShownText(value));
        };

        Action action;
        int pot = -1;
        if (key.size() > 5 && key.compare(0, 3, "hmu") == 0 && key[3] >= '0' && key[3] <= '7' && key[4] == '.') {
            const int n = key[3] - '0';
            const std::string field = key.substr(5);
            int channel = -1;
            if (field.size() == 5 && field.compare(0, 4, "vmon") == 0 && field[4] >= '1' && field[4] <= '9')
                channel = field[4] - '1';
            else if (field == "hvmon")
                channel = vmon::kHvmonChannel;
            const int monitor = field == "imon1" || field == "imon1.rsense"     ? 0
                                : field == "himon1" || field == "himon1.rsense" ? 1
                                                                                : -1;
            const int temp = field == "temp1" ? 0 : field == "temp2" ? 1 : field == "tempint" ? 2 : -1;

            if (field == "present") {
                if (!readWhole(1)) return false;
                action = [n, on = whole == 1](Plan& p) { p.present[n] = on; };
            } else if (channel >= 0) {
                if (!readReal()) return false;
                action = [n, channel, real](Plan& p) { p.values[n].vmonVolts[channel] = real; };
            } else if (monitor >= 0 && field.find(".rsense") != std::string::npos) {
                if (!readPositive()) return false;
                action = [n, monitor, real](Plan& p) { p.values[n].senseOhms[monitor] = real; };
            } else if (monitor >= 0) {
                if (!readReal()) return false;
                action = [n, monitor, real](Plan& p) { p.values[n].senseAmps[monitor] = real; };
            } else if (temp >= 0) {
                if (!readReal()) return false;
                action = [n, temp, real](Plan& p) { p.values[n].temperatures[temp] = real; };
            } else if (field == "id") {
                if (!readWhole(0xFF)) return false;
                action = [n, whole](Plan& p) { p.values[n].identification = static_cast<uint8_t>(whole); };
            } else if (field == "signature") {
                if (!readWhole(std::numeric_limits<uint64_t>::max())) return false;
                action = [n, whole](Plan& p) { p.values[n].signature = whole; };
            }
        } else if (key == "main.present") {
            if (!readWhole(1)) return false;
            action = [on = whole == 1](Plan& p) { p.mainPresent = on; };
        } else if (key.size() >= 4 && key.compare(0, 3, "pot") == 0 && key[3] >= '1' && key[3] <= '4') {
            const int k = key[3] - '1';
            const std::string field = key.substr(4);
            int index = 0;
            int channel = 0;
            PotSlot(k, &index, &channel);
            if (field.empty()) {
                if (!readReal()) return false;
                action = [index, channel, real](Plan& p) { p.values[index].vmonVolts[channel] = real; };
            } else if (field == ".low" || field == ".high") {
                if (!readReal()) return false;
                const bool low = field == ".low";
                action = [k, low, real](Plan& p) { (low ? p.windows[k].low : p.windows[k].high) = real; };
                pot = k;
            }
        }
        if (!action) return fail("unknown key \"" + ShownText(key) + "\"");
        steps.push_back({lineNumber, std::move(action), pot});
    }

    Plan plan;
    plan.values = m_values;
    plan.windows = m_potWindows;
    for (int i = 0; i < kMaxHmus; ++i) plan.present[i] = m_hmus[i] != nullptr;
    plan.mainPresent = m_main != nullptr;
    std::array<int, kPots> windowLine{};
    for (const Step& step : steps) {
        step.action(plan);
        if (step.pot >= 0) windowLine[step.pot] = step.line;
    }
    for (int k = 0; k < kPots; ++k) {
        if (plan.windows[k].low > plan.windows[k].high) {
            lineNumber = windowLine[k];
            std::ostringstream message;
            message << "POT" << k + 1 << " window low " << plan.windows[k].low << " V is above high "
                    << plan.windows[k].high << " V";
            return fail(message.str());
        }
    }

    // Everything checked: apply. Values first, so that a device the file adds
    // is set up around the values the file gives it.
    m_values = plan.values;
    for (int i = 0; i < kMaxHmus; ++i) PushValues(i);
    m_potWindows = plan.windows;
    for (int i = 0; i < kMaxHmus; ++i) {
        if (plan.present[i])
            AddHmu(i);
        else
            RemoveHmu(i);
    }
    if (plan.mainPresent)
        AddMain();
    else
        RemoveMain();
    PushPotStatus();
    error.clear();
    return true;
}
