#include "cperflogproxy.h"

#include "panelog.h"

CPerfLogProxy::CPerfLogProxy(const char* scopeName, qint64 slowThresholdMs)
    : m_name(scopeName != nullptr ? scopeName : ""), m_slowThresholdMs(slowThresholdMs)
{
    m_timer.start();
}

CPerfLogProxy::~CPerfLogProxy()
{
    const qint64 elapsed = m_timer.elapsed();
    const int level = elapsed > m_slowThresholdMs ? 2 : 3;
    PANE_LOG(level, QStringLiteral("%1 took %2 ms").arg(QString::fromUtf8(m_name)).arg(elapsed));
}
