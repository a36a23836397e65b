#pragma once
// The demonstration design in the board's programmable main device: four
// byte registers behind a register pointer. START addr reg value STOP writes
// a register; START addr reg STOP sets the pointer, and a read transaction
// then returns the register it points at. The pointer does not move by
// itself, so a repeated read returns the same register; bytes written after
// the value are acknowledged and ignored, and register numbers above 3 read 0
// and take no writes.
//
// Register 2 bits 3..0 are the status of the POT1..POT4 rails (1 = good),
// driven by the board: the master cannot change them.

#include <array>
#include <cstdint>

#include "sim/I2cTarget.h"

class CMainDevice : public CI2cTarget {
public:
    static constexpr int kRegisters = 4;
    static constexpr int kStatusRegister = 2;
    static constexpr uint8_t kPotStatusMask = 0x0F;

    CMainDevice() = default;

    // CI2cTarget.
    void OnStart(bool repeated) override;
    bool OnAddress(bool read) override;
    bool OnWrite(uint8_t byte) override;
    uint8_t OnRead() override;
    void OnStop() override;

    // Direct access for the board and tests (no protection of the status bits).
    uint8_t Register(int reg) const;
    void SetRegister(int reg, uint8_t value);
    // POT1..POT4 status in bits 0..3, 1 = good.
    void SetPotStatus(uint8_t bits);
    uint8_t PotStatus() const { return m_registers[kStatusRegister] & kPotStatusMask; }
    uint8_t Pointer() const { return m_pointer; }

private:
    void Store(uint8_t reg, uint8_t value);

    std::array<uint8_t, kRegisters> m_registers{0x04, 0xC1, 0xC2, 0x03};
    uint8_t m_pointer = 0;
    int m_written = -1;  // data bytes in this write transaction, -1 when not writing
};
