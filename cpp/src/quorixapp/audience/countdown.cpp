#include "countdown.h"

#include "audiencewindow.h"

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
    return audience::countdownText(m_remaining);
}
