#include "src/quorixapp/audience/countdown.h"

namespace {
const int kTickMs = 1000;
} // namespace

void Countdown::run()
{
    m_timer.start(kTickMs);
}

bool Countdown::tick()
{
    m_remaining -= 1;
    if (m_remaining > 0)
        return false;
    m_timer.stop();
    return true;
}

QString Countdown::text() const
{
    const quint32 left = m_remaining > 0 ? quint32(m_remaining) : 0;
    return QString::asprintf("%02u:%02u", left / 60, left % 60);
}
