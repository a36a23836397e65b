#pragma once
// The converter and the monitor records of an HMU device: a conversion or a
// record is requested through a monitor register and polled for its ready bit.
// A result whose ready bit never comes is counted on the port
// (UnreadyResults()), as the value returned cannot show it.

#include <cstdint>

class CTovin_I2C_Port;

namespace adc {

// One conversion of an "ADC MUX" selector; 0 and 1 stand for the two current
// monitors. 0 V when the result never became ready.
float MeasureVoltage(CTovin_I2C_Port& port, int selector);
// A conversion whose full-scale result is taken once more through the
// attenuator, and not rescaled.
float MeasureVoltageRanged(CTovin_I2C_Port& port, int selector);
// The same conversion, saying whether the value shown is the attenuated one:
// then the input is above full scale and the value reads lower than it (the
// attenuator's ratio is not known here, so it is not rescaled).
struct RangedReading {
    float volts = 0.0f;
    bool attenuated = false;
};
RangedReading MeasureRanged(CTovin_I2C_Port& port, int selector);
// Monitor record n (its select value), polled for its ready flag.
uint8_t ReadMonitorRecord(CTovin_I2C_Port& port, int n);

}  // namespace adc
