#pragma once

// The one vote core, with its storage and shared state, on a thread of its own. The transports on
// the I/O thread hand it work with post() and never wait for it: a storage that stalls (a Redis that
// stopped answering) holds up only what the core does, while the I/O thread goes on with
// handshakes, web requests, pings, health checks and the frames the core decided before.
//
// Work posted while the core is busy waits in an inbox and runs as one batch, and the frames of a
// batch go back to the I/O thread in one post, in the order the core made them: a busy core wakes
// the other thread once per batch, not once per request. With a storage that buffers writes they wait for the
// group commit that carries their writes (a few milliseconds after the first), as do the audit entries, so
// that no answer reports an unsaved write. Work, ticks, commits and the audit writer run on the core thread;
// Receiver calls and thenOnIo() actions run on the I/O thread.

#include "voteservice/core/auditsink.h"
#include "voteservice/core/ballotbox.h"
#include "voteservice/core/clock.h"
#include "voteservice/core/outputsink.h"
#include "voteservice/core/servicemetrics.h"
#include "voteservice/core/voteservicecore.h"
#include "voteservice/core/votestorage.h"

#include <boost/asio.hpp>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorix::service {

namespace asio = boost::asio;

class CoreThread : private OutputSink, private AuditSink
{
public:
    // Where the core's results land, on the I/O thread.
    class Receiver
    {
    public:
        virtual ~Receiver() = default;
        // One frame for a session, in the order the core made them; a null frame where markSent()
        // was asked.
        virtual void coreFrame(SessionId session, const OutFrame& frame) = 0;
        // After the frames of each tick.
        virtual void coreTicked() = 0;
        // The storage failed (a commit, or an error it threw): nothing held was sent, and the core
        // does no more work.
        virtual void coreStorageFailed() = 0;
    };

    // The health check reports a storage the core has waited on this long as not answering.
    static constexpr std::int64_t kStalledMs = 1000;

    // Resumes the open votes the storage journalled and commits them, on the calling thread; throws
    // when that commit fails. The thread starts with start().
    CoreThread(asio::io_context& io, Clock& clock, VoteStorage& storage, CoreOptions options, BallotBox* box,
               ServiceMetrics& metrics, Receiver& receiver);
    ~CoreThread() override;
    CoreThread(const CoreThread&) = delete;
    CoreThread& operator=(const CoreThread&) = delete;

    // Where the audit entries go once committed; null writes none. Before start().
    void auditTo(AuditSink* writer) { m_auditWriter = writer; }
    void start();
    // Runs work on the core thread; the frames it makes leave behind those of earlier work.
    void post(std::function<void(VoteServiceCore&)> work);
    // From inside work: runs action on the I/O thread behind the frames made so far.
    void thenOnIo(std::function<void()> action);
    // The session's Receiver gets a null frame once every frame made for it so far went before.
    void markSent(SessionId id);
    // Stops the tick, waits for the answers a shared state owes, commits, and runs onIo on the I/O
    // thread behind every frame that released.
    void drain(std::function<void()> onIo);
    // From the I/O thread: stops the tick, commits what was done (its audit entries written, its
    // frames not sent; the log says how many) and ends the thread. Work posted after it is dropped.
    void stop();

    // From any thread. False with a reason once the storage failed, while the core has waited on it
    // for kStalledMs, or when its last check (each second) found it not answering.
    bool healthy(std::string& reason) const;
    bool storageFailed() const { return m_failed; }
    // The count broadcast rate in force in the place, as of the last quarter second.
    std::uint32_t broadcastHz(const SubChannelKey& place) const;

private:
    // A frame for a session, or (without a session) an action for the I/O thread.
    struct Outgoing
    {
        SessionId session = 0;
        OutFrame frame;
        std::function<void()> action;
    };

    using Work = std::function<void(VoteServiceCore&)>;

    // Runs work and sends the frames it made.
    void run(const Work& work);
    // Runs work; its frames wait in the outbox.
    void runOne(const Work& work);
    void runInbox();
    void sendOutbox();
    void deliver(SessionId session, const OutFrame& frame) override;
    void record(const AuditEntry& entry) override;
    void armCommit();
    void commitAndRelease();
    void writeHeldAudit();
    void fail(const std::string& reason);
    void scheduleTick();
    void tick(VoteServiceCore& core);
    void checkHealth(std::int64_t now);
    void publishRates(std::int64_t now);
    void settleAndRelease(std::function<void()> onIo);

    asio::io_context& m_io;
    Clock& m_clock;
    VoteStorage& m_storage;
    ServiceMetrics& m_metrics;
    Receiver& m_receiver;
    const bool m_buffered;
    const std::uint32_t m_defaultHz;
    VoteServiceCore m_core;
    asio::io_context m_context{1};
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    asio::steady_timer m_tickTimer;
    asio::steady_timer m_commitTimer;
    asio::steady_timer m_drainTimer;
    std::thread m_thread;
    // Expires when the server goes: I/O posts still queued then do nothing.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);

    // Core thread only.
    AuditSink* m_auditWriter = nullptr;
    std::vector<Outgoing> m_outbox;
    std::vector<Outgoing> m_held;
    std::vector<AuditEntry> m_heldAudit;
    bool m_commitArmed = false;
    bool m_ticking = true;
    std::int64_t m_lastHealthCheckMs = 0;
    std::int64_t m_lastRatesMs = 0;

    // Shared with the I/O thread.
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stopped{false};
    static constexpr std::int64_t kIdle = -1;
    std::atomic<std::int64_t> m_busySinceMs{kIdle};
    std::mutex m_inboxLock;
    std::vector<Work> m_inbox; // posted, not run yet
    mutable std::mutex m_shared;
    bool m_storageAnswers = true;
    std::string m_storageReason;
    std::map<SubChannelKey, std::uint32_t> m_rates;
};

} // namespace quorix::service
