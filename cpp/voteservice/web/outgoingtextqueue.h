#pragma once

// The messages waiting to be written to one web client, in order, with their total size bounded so a
// client that reads too slowly is cut off instead of growing the service's memory. The message being
// written stays at the front until its write completes: the write still reads it.

#include <cstddef>
#include <deque>
#include <string>

namespace quorix::service {

class OutgoingTextQueue
{
public:
    explicit OutgoingTextQueue(std::size_t maxBytes) : m_maxBytes(maxBytes) {}

    // Appends; false once the queued bytes pass the bound.
    bool push(std::string message);
    // The next message to write, now in flight; null while one is in flight or when none waits.
    const std::string* startWrite();
    // The write in flight completed; a delivered message leaves the queue.
    void writeDone(bool delivered);
    bool writing() const { return m_writing; }
    // Forgets every message not yet in flight.
    void dropWaiting();

private:
    std::size_t m_maxBytes;
    std::deque<std::string> m_messages;
    std::size_t m_bytes = 0;
    bool m_writing = false;
};

} // namespace quorix::service
