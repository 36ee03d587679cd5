#include "flushbatch.h"

#include "tcpsession.h"

namespace quorix::service {

void FlushBatch::add(std::shared_ptr<TcpSession> session)
{
    if (m_due.empty())
        boost::asio::post(m_io, [self = shared_from_this()] { self->run(); });
    m_due.push_back(std::move(session));
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
