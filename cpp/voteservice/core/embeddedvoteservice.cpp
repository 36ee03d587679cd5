#include "voteservice/core/embeddedvoteservice.h"

#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

#include <stdexcept>

namespace quorix::service {

template <class Call> void EmbeddedVoteService::guarded(Call call)
{
    if (m_failed)
        return;
    try {
        call();
    } catch (const std::exception&) {
        m_failed = true;
        m_sink.pending.clear();
    }
}

EmbeddedVoteService::EmbeddedVoteService(CoreOptions options)
    : EmbeddedVoteService(std::make_unique<MemoryVoteStorage>(), options)
{}

EmbeddedVoteService::EmbeddedVoteService(std::unique_ptr<VoteStorage> storage, CoreOptions options)
    : m_ownClock(std::make_unique<SystemClock>()), m_clock(*m_ownClock), m_storage(std::move(storage)),
      m_core(m_clock, *m_storage, m_sink, options)
{
    guarded([this] { m_core.resumeOpenVotes(); });
}

EmbeddedVoteService::EmbeddedVoteService(Clock& clock, CoreOptions options)
    : m_clock(clock), m_storage(std::make_unique<MemoryVoteStorage>()),
      m_core(m_clock, *m_storage, m_sink, options)
{}

EmbeddedVoteService::~EmbeddedVoteService() = default;

SessionId EmbeddedVoteService::connect(const SessionIdentity& identity, FrameCallback onFrame)
{
    const SessionId id = ++m_lastId;
    m_callbacks.emplace(id, std::make_shared<FrameCallback>(std::move(onFrame)));
    guarded([&] { m_core.openSession(id, identity); });
    deliverPending();
    return id;
}

bool EmbeddedVoteService::send(SessionId session, const std::string& frame)
{
    if (m_callbacks.count(session) == 0 || frame.size() < mpak::kFrameHeaderSize)
        return false;
    mpak::ServiceFrame decoded;
    try {
        decoded = mpak::decodeFrame(frame);
    } catch (const mpak::UnpackError&) {
        return false;
    }
    if (decoded.maxType != kVoteMajorType || frame.size() != mpak::kFrameHeaderSize + decoded.payload.size())
        return false;
    Disposition disposition = Disposition::Keep;
    guarded([&] { disposition = m_core.handle(session, decoded.minType, decoded.payload); });
    if (disposition == Disposition::Close)
        disconnect(session);
    deliverPending();
    return disposition == Disposition::Keep;
}

void EmbeddedVoteService::move(SessionId session, std::uint32_t subChannelId)
{
    Disposition disposition = Disposition::Keep;
    guarded([&] { disposition = m_core.moveSession(session, subChannelId); });
    if (disposition == Disposition::Close)
        disconnect(session);
    deliverPending();
}

void EmbeddedVoteService::disconnect(SessionId session)
{
    guarded([&] { m_core.closeSession(session); });
    m_callbacks.erase(session);
}

void EmbeddedVoteService::tick()
{
    guarded([this] { m_core.tick(); });
    deliverPending();
}

void EmbeddedVoteService::deliverPending()
{
    if (m_delivering)
        return;
    m_delivering = true;
    // Nothing goes out that reports a write the storage could not save.
    guarded([this] {
        if (!m_storage->commit())
            throw std::runtime_error("commit failed");
    });
    if (m_failed)
        m_sink.pending.clear();
    while (!m_sink.pending.empty()) {
        auto [session, frame] = std::move(m_sink.pending.front());
        m_sink.pending.pop_front();
        const auto it = m_callbacks.find(session);
        if (it == m_callbacks.end())
            continue;
        // Holding the callback keeps it alive if it disconnects its own session.
        const std::shared_ptr<FrameCallback> callback = it->second;
        try {
            if (*callback)
                (*callback)(std::string(frame.frame()));
        } catch (...) {
            // A throwing host callback loses that one frame; the service and the other sessions go on.
        }
    }
    m_delivering = false;
}

} // namespace quorix::service
