#include "voteservice/server/flushbatch.h"

#include "voteservice/server/tcpsession.h"

namespace quorix::service {

void FlushBatch::add(std::shared_ptr<TcpSession> session)
{
    if (m_due.empty())
        boost::asio::post(m_io, [self = shared_from_this()] { self->run(); });
    m_due.push_back(std::move(session));
}

void FlushBatch::addLater(std::shared_ptr<TcpSession> session, std::int64_t dueMs)
{
    m_held.emplace(dueMs, std::move(session));
}

void FlushBatch::releaseDue(std::int64_t nowMs)
{
    while (!m_held.empty() && m_held.top().first <= nowMs) {
        // A session written meanwhile no longer holds anything: releasing it does nothing.
        m_held.top().second->releaseHeld();
        m_held.pop();
    }
}

void FlushBatch::run()
{
    // Sessions that queue frames while these are written start the next batch.
    m_running.swap(m_due);
    for (const auto& session : m_running)
        session->flush();
    m_running.clear();
}

} // namespace quorix::service
