#pragma once
// The command bytes of an HMU device and the monitor registers the register
// port itself works with (conversions and monitor records). Register numbers
// of the function blocks live in their blocks (device/blocks/); register names
// are those of the register map.

#include <cstdint>

namespace hmu {

// Commands.
constexpr uint8_t kCmdIdentify = 0x02;      // identification byte
constexpr uint8_t kCmdSignature = 0x25;     // one signature byte; operand: its position
constexpr uint8_t kCmdWriteConfig = 0x31;   // configuration register, applied by kCmdUpdate
constexpr uint8_t kCmdMaskedWrite = 0x32;   // mask, then value
constexpr uint8_t kCmdReadConfig = 0x33;
constexpr uint8_t kCmdUpdate = 0x35;
constexpr uint8_t kCmdTrimTarget = 0x41;    // 0x41..0x44: trim cells 1..4
constexpr uint8_t kCmdWriteMonitor = 0x51;
constexpr uint8_t kCmdReadMonitor = 0x52;

// A device with this identification has no usable GPIO7.
constexpr uint8_t kIdentificationWithoutGpio7 = 0x88;

// Monitor registers of the converter and of the monitor records.
constexpr uint8_t kRegAdcMux = 0;
constexpr uint8_t kRegAdcLow = 1;           // bits 7..3: code bits 4..0; bit 0: conversion done
constexpr uint8_t kRegAdcHigh = 2;          // code bits 9..5
constexpr uint8_t kRegMonitorSelect = 7;    // reads back with kRecordReady once the record is there
constexpr uint8_t kRegMonitorRecord = 8;
constexpr uint8_t kAdcDone = 0x01;          // in ADC value Low
constexpr uint8_t kRecordReady = 0x80;      // in Monitor select
constexpr uint8_t kRecordSelectMask = 0x0F;

// "ADC MUX" selector bit 7: the input is converted through the attenuator.
constexpr uint8_t kSelectAttenuated = 0x80;

// The configuration registers a device has (0..102); the map lists all but two.
constexpr int kConfigRegisters = 103;

}  // namespace hmu
