#include "host/transports/reconnectbackoff.h"

#include <QRandomGenerator>

#include <algorithm>

ReconnectBackoff::ReconnectBackoff(std::function<double()> unit) : m_unit(std::move(unit))
{
    if (!m_unit)
        m_unit = [] { return QRandomGenerator::global()->generateDouble(); };
}

int ReconnectBackoff::nextDelayMs()
{
    const double unit = std::clamp(m_unit(), 0.0, 1.0);
    const int delay = static_cast<int>(m_stepMs * (0.75 + 0.5 * unit));
    m_stepMs = std::min(m_stepMs * 2, kMaxDelayMs);
    ++m_attempts;
    return std::clamp(delay, kFirstDelayMs, kMaxDelayMs);
}

void ReconnectBackoff::reset()
{
    m_stepMs = kFirstDelayMs;
    m_attempts = 0;
}
