#pragma once
// The trim cells of an HMU device: four closed-loop trims, cell n bringing
// monitor input VMON n to a target in 2 mV steps. Profile 0 holds the target
// that the target command writes; profiles 1 and 2, the loop rate and the DAC
// offset are listed by the register map only.

#include <cstdint>

#include "device/HmuCommands.h"

class CTovin_I2C_Port;

namespace trim {

constexpr int kCells = 4;  // Trim Cell1..4 as indexes 0..3

// Configuration registers.
constexpr int kFirstProfile1Register = 0;  // six registers, "Trim1 Profile1 Low" ..
constexpr int kFirstProfile2Register = 6;  // six registers, "Trim1 Profile2 Low" ..
constexpr int kProfileRegisters = 6;
constexpr int kFirstProfile0Register = 12;  // Low, High of each cell: 12 .. 19
constexpr int Profile0LowRegister(int cell) { return kFirstProfile0Register + 2 * cell; }
constexpr int Profile0HighRegister(int cell) { return Profile0LowRegister(cell) + 1; }
constexpr int kCltRateRegister = 20;
constexpr int kDacBpzRegister = 21;

// The target command of a cell: two data bytes (low first), then two bytes read back.
constexpr uint8_t TargetCommand(int cell) { return static_cast<uint8_t>(hmu::kCmdTrimTarget + cell); }
constexpr int kTargetReadBytes = 2;

// The monitor input a cell trims (VMON1..VMON4).
constexpr int TrimmedInput(int cell) { return cell; }

// What the closed loop trim dialog shows of a cell.
struct Reading {
    float measuredVolts = 0.0f;  // the trimmed input, as the voltage page measures it
    bool attenuated = false;     // measuredVolts was read through the attenuator, not rescaled
    int code = 0;                // the Profile0 target, 2 mV per count
};
// Device sequences, on the port's current device, inside the caller's cable lock.
// The trimmed input measured, then the Profile0 code.
Reading Read(CTovin_I2C_Port& port, int cell);
// Sends the target code of the voltage (TargetCode) with the cell's target
// command; returns the code sent.
uint16_t WriteTarget(CTovin_I2C_Port& port, int cell, float volts);
// The Profile0 code of a cell.
int ReadCode(CTovin_I2C_Port& port, int cell);
// The cell's target command with a raw code word (low byte first).
void WriteTargetWord(CTovin_I2C_Port& port, int cell, uint16_t word);

constexpr float kVoltsPerCode = 0.002f;
constexpr float kMaxTargetVolts = 8.19f;
constexpr int kCodeMask = 0x0FFF;

// The 12-bit code of the Profile0 registers (the high nibble of High is not part of it).
constexpr int CodeFromRegisters(uint8_t low, uint8_t high) { return low + (high & 0x0F) * 256; }
// The code written for a target voltage: the single-precision volts x 1000 x
// 0.5, truncated toward zero, low 16 bits.
uint16_t TargetCode(float volts);
float CodeVolts(int code);
// The voltage a cell's loop brings its rail to, in double precision.
constexpr double SetPointVolts(int code) { return code * 0.002; }

}  // namespace trim
