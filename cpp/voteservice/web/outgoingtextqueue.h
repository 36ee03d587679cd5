#pragma once

// The messages waiting to be written to one web client, in order, with their total size bounded so a
// client that reads too slowly is cut off instead of growing the service's memory. The message being
// written stays at the front until its write completes: the write still reads it. A message may be
// shared: one broadcast's text is queued to every viewer of a sub-channel without a copy each.

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

namespace quorix::service {

using SharedText = std::shared_ptr<const std::string>;

class OutgoingTextQueue
{
public:
    explicit OutgoingTextQueue(std::size_t maxBytes) : m_maxBytes(maxBytes) {}

    // Appends; false once the queued bytes pass the bound.
    bool push(SharedText message);
    // The next message to write, now in flight; null while one is in flight or when none waits.
    const std::string* startWrite();
    // The write in flight completed; a delivered message leaves the queue.
    void writeDone(bool delivered);
    bool writing() const { return m_writing; }
    // Forgets every message not yet in flight.
    void dropWaiting();

private:
    std::size_t m_maxBytes;
    std::deque<SharedText> m_messages;
    std::size_t m_bytes = 0;
    bool m_writing = false;
};

} // namespace quorix::service
