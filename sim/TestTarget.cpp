#include "sim/TestTarget.h"

void CTestTarget::OnStart(bool repeated)
{
    ++(repeated ? m_repeatedStarts : m_starts);
    m_expectPointer = false;
}

bool CTestTarget::OnAddress(bool read)
{
    ++m_addressed;
    m_expectPointer = !read;
    return true;
}

bool CTestTarget::OnWrite(uint8_t byte)
{
    if (m_refuseWrites > 0) {
        --m_refuseWrites;
        return false;
    }
    m_written.push_back(byte);
    if (m_expectPointer) {
        m_pointer = byte;
        m_expectPointer = false;
    } else {
        m_memory[m_pointer++] = byte;
    }
    return true;
}

uint8_t CTestTarget::OnRead()
{
    const uint8_t byte = m_memory[m_pointer++];
    m_sent.push_back(byte);
    return byte;
}

void CTestTarget::OnMasterAck(bool ack)
{
    ++(ack ? m_masterAcks : m_masterNacks);
}

void CTestTarget::OnStop()
{
    ++m_stops;
    m_expectPointer = false;
}

void CTestTarget::ClearHistory()
{
    m_written.clear();
    m_sent.clear();
    m_starts = m_repeatedStarts = m_stops = m_addressed = m_masterAcks = m_masterNacks = 0;
}
