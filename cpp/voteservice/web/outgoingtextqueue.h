#pragma once

// The messages waiting to be written to one web client, in order, with their total size bounded so a
// client that reads too slowly is cut off instead of growing the service's memory. The messages being
// written (a batch: one or several taken together, written one after another) stay at the front until
// their writes complete: the writes still read them. A message may be shared: one broadcast's text is
// queued to every viewer of a sub-channel without a copy each.

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
    // Takes the front messages as the next batch, up to maxMessages and maxBytes (at least one
    // message); false while a batch is under way or when none waits.
    bool startBatch(std::size_t maxMessages, std::size_t maxBytes);
    // The batch's message to write next, and whether it is the batch's last.
    const std::string& batchFront() const { return *m_messages.front(); }
    bool lastOfBatch() const { return m_batch == 1; }
    // The write of batchFront() completed: a delivered message leaves the queue; a failed write ends
    // the batch.
    void writeDone(bool delivered);
    // A batch is under way.
    bool writing() const { return m_batch > 0; }
    // Forgets every message not taken into the batch under way.
    void dropWaiting();

private:
    std::size_t m_maxBytes;
    std::deque<SharedText> m_messages;
    std::size_t m_bytes = 0;
    std::size_t m_batch = 0; // messages of the batch under way, at the front
};

} // namespace quorix::service
