#pragma once
// A device on the simulated I2C bus. The bus decodes START, repeated START,
// address, data, acknowledge and STOP from the pin changes alone and calls
// these hooks; a target never sees the MPSSE command bytes.

#include <cstdint>

class CI2cTarget {
public:
    virtual ~CI2cTarget();

    // Every target sees every START (repeated = it came without a STOP).
    virtual void OnStart(bool repeated) { (void)repeated; }
    // The address byte just received is this target's. Return true to acknowledge.
    virtual bool OnAddress(bool read) = 0;
    // A byte the master wrote to this target. Return true to acknowledge.
    virtual bool OnWrite(uint8_t byte) = 0;
    // The master clocks a byte in from this target.
    virtual uint8_t OnRead() = 0;
    // The master's answer to a byte it read: true = ACK (more wanted), false = NACK.
    virtual void OnMasterAck(bool ack) { (void)ack; }
    // Every target sees every STOP.
    virtual void OnStop() {}
};
