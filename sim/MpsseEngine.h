#pragma once
// The MPSSE engine of one channel of an FTDI high-speed chip: it executes the
// command bytes written to the channel, drives the channel's pins and queues
// the bytes it clocks back for the driver's reads. Its 60 MHz master clock is
// divided by 5 at power-up, so that the bit clock is 6 MHz / (1 + divisor).
//
// Low byte wiring on the I2C channel: bit 0 = SCL, bit 1 = SDA out (drives SDA
// only while its direction bit is set), bit 2 = SDA in, bit 7 general output.
// High byte bit 0 is the enable line of the other channel.
//
// Commands executed: 0x10-0x3F (clock data bytes or bits out and/or in, either
// edge, MSB or LSB first), 0x4A 0x4B 0x6A 0x6B 0x6E 0x6F (clock TMS), 0x80
// 0x82 (set pins), 0x81 0x83 (read pins), 0x84 0x85 (loopback on/off), 0x86
// (clock divisor), 0x87 (send immediate), 0x8A 0x8B (divide by 5 off, on),
// 0x8C 0x8D (three-phase clocking on, off), 0x96 0x97 (adaptive clocking on,
// off). Anything else is a bad command: it is answered with 0xFA and the
// opcode and kept in UnknownOpcodes().
//
// The clock set-up lives in the chip, not in a session: a program that leaves
// divide-by-5 off, three-phase or adaptive clocking on leaves them to the next
// one; only PowerUp restores the defaults. With adaptive clocking the engine
// waits before each clock edge for RTCK (low byte bit 7) to follow TCK; on this
// cable nothing returns the clock, so the first clocking command stalls the
// engine until its bit mode is set again or its buffers are purged.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class CI2cBus;

class CMpsseEngine {
public:
    static constexpr uint8_t kBadCommand = 0xFA;
    // A set-pins command takes this long; it runs at the engine's own pace,
    // not the bit clock's.
    static constexpr uint64_t kSetPinsNs = 167;
    // Where one command moves SCL and SDA together, the second line follows
    // the first after this delay; data out follows its clock edge by it too.
    static constexpr uint64_t kLineSkewNs = 20;

    static constexpr uint8_t kScl = 0x01;
    static constexpr uint8_t kSdaOut = 0x02;
    static constexpr uint8_t kSdaIn = 0x04;
    static constexpr uint8_t kTms = 0x08;
    static constexpr uint8_t kGpioL1 = 0x20;
    static constexpr uint8_t kEnableLine = 0x01;  // high byte

    // With a bus, SCL and SDA out are wired to it and SDA in reads it. The bus
    // must outlive the engine.
    explicit CMpsseEngine(CI2cBus* bus = nullptr);
    CMpsseEngine(const CMpsseEngine&) = delete;
    CMpsseEngine& operator=(const CMpsseEngine&) = delete;

    // State of a freshly powered chip: not in MPSSE mode, every pin an input,
    // nothing queued. Observations (edge counts, unknown opcodes) are kept.
    void PowerUp();
    // Mode 2 enters MPSSE; mode 0 resets (pins become inputs); other modes are
    // not emulated, they only leave MPSSE. The mask is not used in MPSSE mode,
    // where the set-pins commands give the directions. Either way the
    // unfinished command is dropped (and with it a stall); the clock set-up stays.
    void SetBitMode(uint8_t mask, uint8_t mode);
    // What opening the channel does: the unfinished command and the replies
    // are dropped and MPSSE mode has to be entered again; the pins stay.
    void ResetSession();
    bool InMpsseMode() const { return m_mpsse; }

    // Bytes written to the channel. In MPSSE mode they are executed; a command
    // cut off at the end waits for the rest. Outside MPSSE they are dropped.
    void Write(const uint8_t* data, size_t count);
    // Drops the unfinished command (and with it a stall) and every queued reply byte.
    void Purge();

    size_t Available() const { return m_replies.size(); }
    // Takes up to max reply bytes, oldest first; returns how many.
    size_t Read(uint8_t* out, size_t max);
    // The oldest queued replies that a send-immediate (0x87) after them has
    // pushed out: a chip hands these to USB at once, the rest only when its
    // latency timer runs out. The driver here reads everything at once anyway.
    size_t ImmediateReplies() const { return m_immediate; }

    uint8_t LowValue() const { return m_lowValue; }
    uint8_t LowDirection() const { return m_lowDir; }
    uint8_t HighValue() const { return m_highValue; }
    uint8_t HighDirection() const { return m_highDir; }
    // Level of a high-byte pin seen from outside. A released enable line is
    // held low by the board; other released pins float high.
    bool HighPin(int bit) const;
    int HighPinRisingEdges(int bit) const { return m_highRises[bit & 7]; }
    int HighPinFallingEdges(int bit) const { return m_highFalls[bit & 7]; }
    void ResetEdgeCounts();

    uint16_t Divisor() const { return m_divisor; }
    bool DivideByFive() const { return m_divideByFive; }
    bool ThreePhase() const { return m_threePhase; }
    bool Adaptive() const { return m_adaptive; }
    // Waiting for a returned clock that never comes (adaptive clocking).
    bool Stalled() const { return m_stalled; }
    // Half a period of the bit clock: (1 + divisor) / 12 MHz with divide-by-5,
    // (1 + divisor) / 60 MHz without, rounded to 1 ns. A three-phase bit lasts
    // three of these (data set-up, clock pulse, data hold), a two-phase bit two.
    uint64_t HalfPeriodNs() const;
    bool Loopback() const { return m_loopback; }
    uint64_t TimeNs() const { return m_timeNs; }
    size_t PendingCommandBytes() const { return m_pending.size(); }
    size_t DroppedBytes() const { return m_dropped; }

    const std::vector<uint8_t>& UnknownOpcodes() const { return m_unknown; }
    // The length of the command at cmd[0..have): 0 while its header is
    // incomplete; 1 for an opcode the engine answers as a bad command.
    static size_t CommandLength(const uint8_t* cmd, size_t have);
    void ClearUnknownOpcodes() { m_unknown.clear(); }

private:
    struct Shift {
        bool negOut = false;
        bool negIn = false;
        bool lsbFirst = false;
        bool write = false;
        bool read = false;
        uint8_t outPin = kSdaOut;
    };

    // Bytes the command at the front of the pending buffer needs, 0 if its
    // header is still incomplete.
    size_t CommandSize(size_t offset) const;
    // SCL pulses with no data.
    void ClockPulses(size_t count);
    void Execute(const uint8_t* cmd);
    void ExecuteShift(const uint8_t* cmd);
    void ExecuteTms(const uint8_t* cmd);
    void SetLowPins(uint8_t value, uint8_t dir);
    void SetHighPins(uint8_t value, uint8_t dir);
    void DriveScl(bool level, uint64_t timeNs);
    void DriveData(uint8_t pin, bool level, uint64_t timeNs);
    bool ClockBit(const Shift& s, bool outBit);
    bool SampleDataIn() const;
    uint8_t ReadLowPins() const;
    uint8_t ReadHighPins() const;
    bool MasterScl() const { return (m_lowDir & kScl) == 0 || (m_lowValue & kScl) != 0; }
    bool MasterSda() const { return (m_lowDir & kSdaOut) == 0 || (m_lowValue & kSdaOut) != 0; }

    CI2cBus* m_bus;
    bool m_mpsse = false;
    bool m_loopback = false;
    bool m_divideByFive = true;
    bool m_threePhase = false;
    bool m_adaptive = false;
    bool m_stalled = false;
    uint8_t m_lowValue = 0;
    uint8_t m_lowDir = 0;
    uint8_t m_highValue = 0;
    uint8_t m_highDir = 0;
    uint16_t m_divisor = 0;
    uint64_t m_timeNs = 0;
    std::vector<uint8_t> m_pending;
    std::deque<uint8_t> m_replies;
    size_t m_immediate = 0;
    size_t m_dropped = 0;
    std::vector<uint8_t> m_unknown;
    int m_highRises[8] = {};
    int m_highFalls[8] = {};
};
