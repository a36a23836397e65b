#pragma once
// The command bytes and register numbers of an HMU device that the program
// and the simulated device share. Register names are those of the register map.

#include <cstdint>

namespace hmu {

// Commands.
constexpr uint8_t kCmdIdentify = 0x02;      // identification byte
constexpr uint8_t kCmdSignature = 0x25;     // one signature byte, operand kSignatureOperand + i
constexpr uint8_t kCmdWriteConfig = 0x31;   // configuration register, applied by kCmdUpdate
constexpr uint8_t kCmdMaskedWrite = 0x32;   // mask, then value
constexpr uint8_t kCmdReadConfig = 0x33;
constexpr uint8_t kCmdUpdate = 0x35;
constexpr uint8_t kCmdTrimTarget = 0x41;    // 0x41..0x44: trim cells 1..4
constexpr uint8_t kCmdWriteMonitor = 0x51;
constexpr uint8_t kCmdReadMonitor = 0x52;

constexpr uint8_t kSignatureOperand = 0x70;
constexpr int kSignatureBytes = 8;
constexpr int kTrimCells = 4;

// Monitor registers.
constexpr uint8_t kRegAdcMux = 0;
constexpr uint8_t kRegAdcLow = 1;           // bits 7..3: code bits 4..0; bit 0: conversion done
constexpr uint8_t kRegAdcHigh = 2;          // code bits 9..5
constexpr uint8_t kRegImonAverageControl = 3;
constexpr uint8_t kRegImonAverageSelect = 4;
constexpr uint8_t kRegImonAverageLow = 5;
constexpr uint8_t kRegImonAverageHigh = 6;
constexpr uint8_t kRegMonitorSelect = 7;    // reads back with kRecordReady once the record is there
constexpr uint8_t kRegMonitorRecord = 8;
constexpr uint8_t kRegOutputControl = 0x70;
constexpr uint8_t kRegTmonMeas1High = 0x80;  // 0x80..0x85: TMON1, TMON2, internal; high, then low
constexpr uint8_t kRegTmonStatA = 0x86;
constexpr uint8_t kRegTmonStatB = 0x87;
constexpr uint8_t kRecordReady = 0x80;

// "ADC MUX" selectors besides VMON1..VMON9 (0..8).
constexpr uint8_t kSelectHvmon = 9;
constexpr uint8_t kSelectImon1 = 0x10;
constexpr uint8_t kSelectHimon1 = 0x13;
constexpr uint8_t kSelectAttenuated = 0x80;

// Configuration registers the port reads by number.
constexpr uint8_t kRegTrimProfile0Low = 12;  // 12..19: trim cells 1..4, low then high
constexpr uint8_t kRegImonConfig1 = 0x35;
constexpr uint8_t kRegHimonConfig1 = 0x37;

}  // namespace hmu
