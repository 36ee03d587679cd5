#include "voteservice/web/outgoingtextqueue.h"

#include <utility>

namespace quorix::service {

bool OutgoingTextQueue::push(SharedText message)
{
    m_bytes += message->size();
    m_messages.push_back(std::move(message));
    return m_bytes <= m_maxBytes;
}

bool OutgoingTextQueue::startBatch(std::size_t maxMessages, std::size_t maxBytes)
{
    if (m_batch > 0 || m_messages.empty())
        return false;
    std::size_t bytes = m_messages.front()->size();
    m_batch = 1;
    while (m_batch < maxMessages && m_batch < m_messages.size() &&
           bytes + m_messages[m_batch]->size() <= maxBytes)
        bytes += m_messages[m_batch++]->size();
    return true;
}

void OutgoingTextQueue::writeDone(bool delivered)
{
    if (!delivered || m_messages.empty()) {
        m_batch = 0;
        return;
    }
    m_bytes -= m_messages.front()->size();
    m_messages.pop_front();
    --m_batch;
}

void OutgoingTextQueue::dropWaiting()
{
    m_messages.erase(m_messages.begin() + static_cast<std::ptrdiff_t>(m_batch), m_messages.end());
    m_bytes = 0;
    for (const SharedText& message : m_messages)
        m_bytes += message->size();
}

} // namespace quorix::service
