#include "demo/DemoTexts.h"

namespace {

const char* const kSteps10Rails = R"(<ol>
<li>This demonstration sequences the board's supplies and releases their resets. Keep <b>1-10 Rails</b> selected under Settings.</li>
<li>Turn POT1 (R33) and POT2 (R35) to their middle position.</li>
<li>Press <b>Manual Restart</b> on the board and wait until all 10 supply LEDs are lit.</li>
<li>Cause a fault: turn POT1 or POT2 towards either end, or press push button PB_SW3.</li>
<li>To try another set-up, choose the rails or the resets per device, click <b>Write</b> and press <b>Manual Restart</b> again.</li>
<li>Click <b>Done</b> to end the demonstration.</li>
</ol>)";

const char* const kSteps20Rails = R"(<ol>
<li>This demonstration sequences the board's supplies and releases their resets, with the external HMU device taking part. Keep <b>11-20 Rails</b> selected under Settings.</li>
<li>Turn POT1 (R33), POT2 (R35), POT3 (R38) and POT4 (R40) to their middle position.</li>
<li>Press <b>Manual Restart</b> on the board and wait until all 20 supply LEDs are lit.</li>
<li>Cause a fault: turn one of POT1 to POT4 towards either end, or press push button PB_SW3.</li>
<li>To try another set-up, choose the rails or the resets per device, click <b>Write</b> and press <b>Manual Restart</b> again.</li>
<li>Click <b>Done</b> to end the demonstration.</li>
</ol>)";

const char* const kObservations10Rails = R"(<ol>
<li>Manual Restart first turns all LEDs off.</li>
<li>The POT1 and POT2 boxes of the Power Network Window turn green.</li>
<li>Once the first 5 supply LEDs are lit, 1, 2 or 3 reset LEDs come on, as many as the resets per device, and DC-DC4 comes on: the rails are sequenced without power-good signals.</li>
<li>Which supplies shut down depends on the fault you caused.</li>
<li>Switching to 11-20 Rails shows how the design grows by adding the external HMU device.</li>
</ol>)";

const char* const kObservations20Rails = R"(<ol>
<li>Manual Restart first turns all LEDs off.</li>
<li>The POT1 to POT4 boxes of the Power Network Window turn green.</li>
<li>Once the first 5 supply LEDs are lit, 1, 2 or 3 reset LEDs come on, as many as the resets per device, and DC-DC4 and DC-DC8 come on: the rails are sequenced without power-good signals.</li>
<li>Which supplies shut down depends on the fault you caused.</li>
<li>Switching to 1-10 Rails sequences the board with its main management device alone, without the external HMU device.</li>
</ol>)";

const char* const kStepsThermal = R"(<ol>
<li>Click <b>Start</b>.</li>
<li>Point the fan at resistor R203.</li>
<li>Press <b>Manual Restart</b> on the board and watch the resistor temperature and the fan.</li>
<li>When the resistor reading is green again, repeat with other settings (choose them and click <b>Write</b>) or with the fan pointed another way.</li>
<li>Click <b>Done</b> to end the demonstration.</li>
</ol>)";

const char* const kObservationsThermal = R"(<ol>
<li>At first the fan runs and the heater is off. A green resistor reading is below the warm threshold.</li>
<li>The heater then warms the resistor; when it reaches the warm threshold the fan turns at the warm speed to cool it.</li>
<li>A: the resistor cools below the warm threshold: the fan stops and the cycle starts again.</li>
<li>B: the resistor is still warm after the wait (3 or 5 seconds): the DC-DC4 voltage is lowered.</li>
<li>C: the resistor goes above the hot threshold: the fan turns faster, at the hot speed.</li>
<li>D: the resistor is still hot after the wait: the supplies shut down fully.</li>
<li>Manual Restart turns the heater off and the fan to full speed.</li>
<li>The whole algorithm runs in the demonstration design on the board; this window only sets its parameters and shows the temperatures.</li>
</ol>)";

const char* const kStepsFaultLogging = R"(<ol>
<li>Turn POT1 to POT4 to their middle position.</li>
<li>Press <b>Manual Restart</b> on the board and wait until the LEDs are lit.</li>
<li>Cause a fault: turn one of the POTs towards either end, or press push button PB_SW3.</li>
<li>Click <b>Read Fault Log Mem</b> to see what was logged.</li>
<li>Repeat with other faults.</li>
<li>Click <b>Done</b> to end the demonstration.</li>
</ol>)";

const char* const kObservationsFaultLogging = R"(<ol>
<li>Manual Restart first turns all LEDs off.</li>
<li>The POT1 to POT4 boxes of the Power Network Window turn green.</li>
<li>Once the first 5 supply LEDs are lit the reset LEDs come on, then DC-DC4 and DC-DC8.</li>
<li>A fault shuts supplies down as its kind requires, and at the same moment it is stored in the non-volatile fault log.</li>
<li>The fault log shows the primary cause of the shut-down, captured by whichever HMU device saw it.</li>
</ol>)";

const char* const kTexts[kDemoTexts] = {
    kSteps10Rails,        kSteps20Rails,          kObservations10Rails, kObservations20Rails,
    kStepsThermal,        kObservationsThermal,   kStepsFaultLogging,   kObservationsFaultLogging,
};

}  // namespace

const char* DemoTextHtml(DemoText text)
{
    const int index = static_cast<int>(text);
    return index >= 0 && index < kDemoTexts ? kTexts[index] : nullptr;
}
