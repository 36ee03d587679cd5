#include "voteservice/web/outgoingtextqueue.h"

#include <utility>

namespace quorix::service {

bool OutgoingTextQueue::push(SharedText message)
{
    m_bytes += message->size();
    m_messages.push_back(std::move(message));
    return m_bytes <= m_maxBytes;
}

const std::string* OutgoingTextQueue::startWrite()
{
    if (m_writing || m_messages.empty())
        return nullptr;
    m_writing = true;
    return m_messages.front().get();
}

void OutgoingTextQueue::writeDone(bool delivered)
{
    m_writing = false;
    if (!delivered || m_messages.empty())
        return;
    m_bytes -= m_messages.front()->size();
    m_messages.pop_front();
}

void OutgoingTextQueue::dropWaiting()
{
    const std::size_t keep = m_writing && !m_messages.empty() ? 1 : 0;
    m_messages.erase(m_messages.begin() + static_cast<std::ptrdiff_t>(keep), m_messages.end());
    m_bytes = keep ? m_messages.front()->size() : 0;
}

} // namespace quorix::service
