#include "device/DemoRegisterFile.h"

#include "device/HmuCommands.h"
#include "device/blocks/DemoDesign.h"
#include "device/blocks/Tmon.h"

namespace {

constexpr uint8_t kFirstDeviceIdentification = 0x8A;
constexpr uint8_t kComparatorsAllSet = 0x07;  // the three temperature comparators

}  // namespace

CDemoRegisterFile::CDemoRegisterFile()
{
    for (auto& device : m_image)
        for (int r = 0; r < kRegisters; ++r) device[r] = r;
    for (int r = 0; r < kMainRegisters; ++r) m_main[r] = demodesign::kPowerUpValues[r];
}

int32_t* CDemoRegisterFile::Register(int device, int reg)
{
    // The file holds only the registers of the map and the eight devices.
    if (device < 0 || device >= kDevices || reg < 0 || reg >= kRegisters) return nullptr;
    return &m_image[device][reg];
}

const int32_t* CDemoRegisterFile::Register(int device, int reg) const
{
    return const_cast<CDemoRegisterFile*>(this)->Register(device, reg);
}

std::optional<uint8_t> CDemoRegisterFile::ReadRegister(int device, int command, int reg) const
{
    switch (command) {
    case hmu::kCmdReadMonitor:
        if (reg == hmu::kRegMonitorSelect) return hmu::kRecordReady;
        if (reg == tmon::kStatARegister || reg == tmon::kStatBRegister) return kComparatorsAllSet;
        return 0x00;
    case hmu::kCmdIdentify:
        return device == 0 ? kFirstDeviceIdentification : hmu::kIdentificationWithoutGpio7;
    case hmu::kCmdReadConfig: {
        const int32_t* value = Register(device, reg);
        return value ? static_cast<uint8_t>(*value) : 0;
    }
    default:
        return std::nullopt;
    }
}

bool CDemoRegisterFile::WriteRegister(int device, int command, int reg, int value)
{
    if (command == hmu::kCmdWriteConfig) {
        if (int32_t* target = Register(device, reg)) *target = value & 0xFF;
    }
    return true;
}

bool CDemoRegisterFile::MaskedWrite(int device, int reg, int value, int mask)
{
    if (int32_t* target = Register(device, reg)) *target &= (value | mask);
    return true;
}

float CDemoRegisterFile::NextTemperature()
{
    m_temperature += 0.25f;
    return m_temperature;
}

float CDemoRegisterFile::NextVoltage()
{
    m_voltageA += 0.01f;
    return m_voltageA;
}

float CDemoRegisterFile::NextRangedVoltage()
{
    m_voltageB += 0.01f;
    return m_voltageB;
}

uint8_t CDemoRegisterFile::ReadMain(int reg) const
{
    return reg >= 0 && reg < kMainRegisters ? static_cast<uint8_t>(m_main[reg]) : 0;
}

void CDemoRegisterFile::WriteMain(int reg, int value)
{
    if (reg >= 0 && reg < kMainRegisters) m_main[reg] = value;
}
