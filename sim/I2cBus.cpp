#include "sim/I2cBus.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace {
std::string Hex(uint8_t byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}
}  // namespace

bool CI2cBus::Attach(uint8_t writeAddress, std::shared_ptr<CI2cTarget> target)
{
    if ((writeAddress & 1) != 0 || !target)
        return false;
    m_slots.push_back(Slot{static_cast<uint8_t>(writeAddress >> 1), std::move(target)});
    return true;
}

bool CI2cBus::Detach(uint8_t writeAddress)
{
    const uint8_t address7 = writeAddress >> 1;
    const auto removed = std::erase_if(m_slots, [&](const Slot& s) { return s.address7 == address7; });
    if (removed != 0)
        UpdateSda(m_lastChangeNs + 1);
    return removed != 0;
}

void CI2cBus::DetachAll()
{
    m_slots.clear();
    UpdateSda(m_lastChangeNs + 1);
}

uint64_t CI2cBus::NextTime(uint64_t timeNs)
{
    // Every change gets a time stamp of its own, in the order it happened.
    if (timeNs <= m_lastChangeNs)
        timeNs = m_lastChangeNs + 1;
    m_lastChangeNs = timeNs;
    return timeNs;
}

void CI2cBus::SetScl(bool level, uint64_t timeNs)
{
    if (level == m_scl)
        return;
    timeNs = NextTime(timeNs);
    m_scl = level;
    m_trace.Record(timeNs, BusLine::Scl, level);
    if (level) {
        ++m_sclCycles;
        OnSclRise();
    } else {
        OnSclFall(timeNs);
    }
}

void CI2cBus::SetMasterSda(bool level, uint64_t timeNs)
{
    if (level == m_masterSda)
        return;
    m_masterSda = level;
    UpdateSda(timeNs);
}

void CI2cBus::UpdateSda(uint64_t timeNs)
{
    bool level = m_masterSda;
    for (const Slot& s : m_slots)
        if (s.driveLow)
            level = false;
    if (level == m_sda)
        return;
    timeNs = NextTime(timeNs);
    m_sda = level;
    m_trace.Record(timeNs, BusLine::Sda, level);
    // SDA moving while SCL is high is a bus condition, never data.
    if (m_scl) {
        if (level)
            OnStop(timeNs);
        else
            OnStart(timeNs);
    }
}

void CI2cBus::OnSclRise()
{
    if (!m_inTransaction)
        return;
    if (!m_byteCommitted) {
        if (m_bits < 8) {
            m_shift = static_cast<uint8_t>((m_shift << 1) | (m_sda ? 1 : 0));
            ++m_bits;
        }
        return;
    }
    if (m_ackSampled)
        return;
    m_ackSampled = true;
    const bool ack = !m_sda;
    Log(ack ? "A" : "N");
    if (!m_addressPhase && m_readDirection) {
        m_masterAcked = ack;
        for (Slot& s : m_slots)
            if (s.selected)
                s.target->OnMasterAck(ack);
    }
}

void CI2cBus::OnSclFall(uint64_t timeNs)
{
    if (!m_inTransaction)
        return;
    if (!m_byteCommitted) {
        if (m_bits == 8) {
            // The eighth bit can no longer be undone by a START or STOP.
            CommitByte();
            m_byteCommitted = true;
            m_ackSampled = false;
        } else if (m_bits > 0 && m_readDirection && !m_addressPhase) {
            for (Slot& s : m_slots)
                if (s.selected)
                    s.driveLow = ((s.outByte << m_bits) & 0x80) == 0;
        }
    } else if (m_ackSampled) {
        // End of the acknowledge clock: release it and start the next byte.
        const bool sendNext = m_readDirection && (m_addressPhase || m_masterAcked);
        const bool readEnded = m_readDirection && !m_addressPhase && !m_masterAcked;
        for (Slot& s : m_slots) {
            s.driveLow = false;
            if (readEnded)
                s.selected = false;  // a NACKed read ends the target's part
        }
        m_addressPhase = false;
        m_byteCommitted = false;
        m_ackSampled = false;
        m_bits = 0;
        m_shift = 0;
        if (sendNext) {
            for (Slot& s : m_slots) {
                if (!s.selected)
                    continue;
                s.outByte = s.target->OnRead();
                s.driveLow = (s.outByte & 0x80) == 0;
            }
        }
    }
    UpdateSda(timeNs + kTargetDelayNs);
}

void CI2cBus::CommitByte()
{
    const uint8_t byte = m_shift;
    Log(Hex(byte));
    if (m_addressPhase) {
        ++m_addressCounts[byte];
        m_readDirection = (byte & 1) != 0;
        const bool refused = TakeInjectedNack(byte);
        for (Slot& s : m_slots) {
            s.selected = false;
            s.driveLow = false;
            if (!refused && s.address7 == (byte >> 1) && s.target->OnAddress(m_readDirection)) {
                s.selected = true;
                s.driveLow = true;
            }
        }
        return;
    }
    for (Slot& s : m_slots) {
        if (m_readDirection)
            s.driveLow = false;  // the master answers this byte
        else if (s.selected)
            s.driveLow = s.target->OnWrite(byte);
    }
}

void CI2cBus::ReleaseTargets()
{
    for (Slot& s : m_slots) {
        s.selected = false;
        s.driveLow = false;
    }
    m_addressPhase = false;
    m_readDirection = false;
    m_byteCommitted = false;
    m_ackSampled = false;
    m_masterAcked = false;
    m_bits = 0;
    m_shift = 0;
}

void CI2cBus::OnStart(uint64_t timeNs)
{
    const bool repeated = m_inTransaction;
    Log(repeated ? "Sr" : "S");
    if (!repeated)
        ++m_transactions;
    // A START in the middle of a byte drops the partial byte.
    ReleaseTargets();
    m_inTransaction = true;
    m_addressPhase = true;
    for (Slot& s : m_slots)
        s.target->OnStart(repeated);
    UpdateSda(timeNs + 1);
}

void CI2cBus::OnStop(uint64_t timeNs)
{
    Log("P");
    ReleaseTargets();
    m_inTransaction = false;
    for (Slot& s : m_slots)
        s.target->OnStop();
    UpdateSda(timeNs + 1);
}

void CI2cBus::InjectAddressNack(uint8_t addressByte, int times)
{
    if (times == 0)
        m_injectedNacks.erase(addressByte);
    else
        m_injectedNacks[addressByte] = times < 0 ? kAlways : times;
}

bool CI2cBus::TakeInjectedNack(uint8_t addressByte)
{
    const auto it = m_injectedNacks.find(addressByte);
    if (it == m_injectedNacks.end())
        return false;
    if (it->second > 0 && --it->second == 0)
        m_injectedNacks.erase(it);
    return true;
}

void CI2cBus::Log(std::string token)
{
    if (m_events.size() >= m_maxEvents) {
        // The older half goes at once, so that each event costs its own
        // copy only once however long the program runs.
        const size_t dropped = m_events.size() - m_maxEvents / 2;
        m_events.erase(m_events.begin(), m_events.begin() + static_cast<std::ptrdiff_t>(dropped));
        m_droppedEvents += dropped;
    }
    m_events.push_back(std::move(token));
}

std::string CI2cBus::EventLog() const
{
    std::string text = m_droppedEvents != 0 ? "..." : "";
    for (const std::string& e : m_events) {
        if (!text.empty())
            text += ' ';
        text += e;
    }
    return text;
}

int CI2cBus::AddressCount(uint8_t addressByte) const
{
    const auto it = m_addressCounts.find(addressByte);
    return it == m_addressCounts.end() ? 0 : it->second;
}

void CI2cBus::ResetCounters()
{
    m_addressCounts.clear();
    m_sclCycles = 0;
}
