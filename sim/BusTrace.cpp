#include "sim/BusTrace.h"

#include <fstream>

#include "util/PathText.h"

namespace {
// Identifier characters of the two variables in the dump.
constexpr char kSclId = '!';
constexpr char kSdaId = '"';
}  // namespace

void CBusTrace::Start(uint64_t nowNs, bool scl, bool sda)
{
    if (m_recording)
        return;
    m_recording = true;
    if (m_events.empty() && !m_hasOrigin) {
        m_hasOrigin = true;
        m_originNs = nowNs;
        m_initialScl = m_lastScl = scl;
        m_initialSda = m_lastSda = sda;
        return;
    }
    // Resuming: levels may have moved while paused; bring the record up to date.
    if (scl != m_lastScl)
        Record(nowNs, BusLine::Scl, scl);
    if (sda != m_lastSda)
        Record(nowNs + 1, BusLine::Sda, sda);
}

void CBusTrace::Clear()
{
    m_events.clear();
    m_truncated = false;
    m_hasOrigin = false;
    m_initialScl = m_lastScl;
    m_initialSda = m_lastSda;
}

void CBusTrace::Record(uint64_t timeNs, BusLine line, bool level)
{
    if (!m_recording)
        return;
    if (!m_hasOrigin) {
        m_hasOrigin = true;
        m_originNs = timeNs;
    }
    if (m_events.size() >= m_maxEvents) {
        m_truncated = true;
        return;
    }
    if (timeNs < m_originNs)
        timeNs = m_originNs;
    m_events.push_back({timeNs, line, level});
    (line == BusLine::Scl ? m_lastScl : m_lastSda) = level;
}

std::string CBusTrace::VcdText() const
{
    std::string out;
    out.reserve(256 + m_events.size() * 16);
    out += "$version ZENT2 simulated I2C bus $end\n";
    if (m_truncated)
        out += "$comment recording stopped at its size limit $end\n";
    out += "$timescale 1 ns $end\n";
    out += "$scope module i2c $end\n";
    out += "$var wire 1 ";
    out += kSclId;
    out += " SCL $end\n";
    out += "$var wire 1 ";
    out += kSdaId;
    out += " SDA $end\n";
    out += "$upscope $end\n";
    out += "$enddefinitions $end\n";
    out += "#0\n$dumpvars\n";
    out += m_initialScl ? '1' : '0';
    out += kSclId;
    out += '\n';
    out += m_initialSda ? '1' : '0';
    out += kSdaId;
    out += "\n$end\n";

    uint64_t lastStamp = 0;
    bool open = false;
    for (const BusTraceEvent& e : m_events) {
        const uint64_t stamp = kLeadNs + (e.timeNs - m_originNs);
        if (!open || stamp != lastStamp) {
            out += '#';
            out += std::to_string(stamp);
            out += '\n';
            lastStamp = stamp;
            open = true;
        }
        out += e.level ? '1' : '0';
        out += e.line == BusLine::Scl ? kSclId : kSdaId;
        out += '\n';
    }
    // A closing time stamp holds the last levels for a while, so that readers
    // which turn the dump into samples keep the final change.
    out += '#';
    out += std::to_string((open ? lastStamp : 0) + kLeadNs);
    out += '\n';
    return out;
}

bool CBusTrace::WriteVcd(const std::string& path) const
{
    std::ofstream file(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    const std::string text = VcdText();
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return !file.fail();
}
