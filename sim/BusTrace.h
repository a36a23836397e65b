#pragma once
// A recording of the SCL and SDA levels of the simulated bus, each change with
// its time, written as a value change dump that logic-analyser tools open.
//
// sigrok-cli decodes the dump as it is:
//   sigrok-cli -I vcd -i trace.vcd -P i2c:scl=SCL:sda=SDA:address_format=unshifted
// Its VCD input takes the sample rate from the time scale (1 GHz here) and
// needs no options. For long traces, -I vcd:downsample=10 reads ten times
// fewer samples and still gives each change of a START or STOP a sample of
// its own; coarser factors can merge the SDA-then-SCL step of a repeated
// START into one sample, which then decodes as a STOP.

#include <cstdint>
#include <string>
#include <vector>

enum class BusLine : uint8_t { Scl, Sda };

struct BusTraceEvent {
    uint64_t timeNs;
    BusLine line;
    bool level;
};

class CBusTrace {
public:
    // Recording stops here so that a forgotten trace cannot eat the memory.
    static constexpr size_t kDefaultMaxEvents = 20'000'000;
    // Idle time shown before the first change and after the last one, so that
    // a change never shares the time stamp of the initial values.
    static constexpr uint64_t kLeadNs = 1000;

    bool IsRecording() const { return m_recording; }
    // Starts (or resumes) recording at the given time with the present levels.
    void Start(uint64_t nowNs, bool scl, bool sda);
    void Stop() { m_recording = false; }
    // Forgets everything recorded; recording goes on if it was on.
    void Clear();
    void Record(uint64_t timeNs, BusLine line, bool level);

    const std::vector<BusTraceEvent>& Events() const { return m_events; }
    // Levels at the start of the record, before its first event.
    bool InitialScl() const { return m_initialScl; }
    bool InitialSda() const { return m_initialSda; }
    bool Truncated() const { return m_truncated; }
    void SetMaxEvents(size_t maxEvents) { m_maxEvents = maxEvents; }

    // Value change dump, time scale 1 ns, times relative to the trace start.
    std::string VcdText() const;
    // False when the file cannot be written completely.
    bool WriteVcd(const std::string& path) const;

private:
    bool m_recording = false;
    bool m_hasOrigin = false;
    uint64_t m_originNs = 0;
    bool m_initialScl = true;
    bool m_initialSda = true;
    bool m_lastScl = true;
    bool m_lastSda = true;
    bool m_truncated = false;
    size_t m_maxEvents = kDefaultMaxEvents;
    std::vector<BusTraceEvent> m_events;
};
