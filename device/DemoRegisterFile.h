#pragma once
// What the register port answers in demo mode, without a cable: a register
// image per HMU device, an image of the main device, fixed answers for a few
// monitor registers and the identification, and slowly rising measurements so
// that every window shows something alive.
//
// Each operation returns the demo answer, or nothing (false) for a request
// the file does not simulate: the port then sends that request to the bus.
// The file lives as long as the port and is never reset: it keeps what was
// written in demo mode across switching the mode off and on.

#include <array>
#include <cstdint>
#include <optional>

class CDemoRegisterFile {
public:
    static constexpr int kDevices = 8;
    static constexpr int kRegisters = 119;  // registers 0..118 of each device
    static constexpr int kMainRegisters = 4;

    CDemoRegisterFile();

    std::optional<uint8_t> ReadRegister(int device, int command, int reg) const;
    // Configuration writes land in the image; every other write is accepted
    // and dropped (true), as the demo has no other register to change.
    bool WriteRegister(int device, int command, int reg, int value);
    // image := image AND (value OR mask)
    bool MaskedWrite(int device, int reg, int value, int mask);

    // Ramps: each call gives the previous answer plus a step.
    float NextTemperature();
    float NextVoltage();        // the plain conversion
    float NextRangedVoltage();  // the conversion with the full-scale repeat

    uint8_t ReadMain(int reg) const;
    void WriteMain(int reg, int value);

private:
    int32_t* Register(int device, int reg);
    const int32_t* Register(int device, int reg) const;

    std::array<std::array<int32_t, kRegisters>, kDevices> m_image{};
    std::array<int32_t, kMainRegisters> m_main{};
    float m_voltageA = 0.1f;
    float m_voltageB = 1.0f;
    float m_temperature = -5.0f;
};
