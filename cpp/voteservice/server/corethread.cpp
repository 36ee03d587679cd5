#include "voteservice/server/corethread.h"

#include "voteservice/core/servicelog.h"

#include <algorithm>
#include <stdexcept>

namespace quorix::service {

namespace {
// Group commit: answers wait at most this long for the write that carries them to be synced.
constexpr std::chrono::milliseconds kCommitWindow(2);
// While draining, how often the core looks again for answers a shared state still owes.
constexpr std::chrono::milliseconds kDrainPoll(5);
constexpr std::int64_t kHealthCheckPeriodMs = 1000;
constexpr std::int64_t kRatesPeriodMs = 250;

CoreOptions servedBy(CoreOptions options, ServiceMetrics& metrics, AuditSink& audit)
{
    options.metrics = &metrics;
    options.audit = &audit;
    return options;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
} // namespace

CoreThread::CoreThread(asio::io_context& io, Clock& clock, VoteStorage& storage, CoreOptions options,
                       BallotBox* box, ServiceMetrics& metrics, Receiver& receiver)
    : m_io(io), m_clock(clock), m_storage(storage), m_metrics(metrics), m_receiver(receiver),
      m_buffered(storage.buffersWrites()), m_defaultHz(options.broadcastHz),
      m_core(clock, storage, *this, servedBy(std::move(options), metrics, *this), box),
      m_work(asio::make_work_guard(m_context)), m_tickTimer(m_context), m_commitTimer(m_context),
      m_drainTimer(m_context)
{
    m_core.resumeOpenVotes();
    if (!m_storage.commit())
        throw std::runtime_error("cannot commit the resumed votes to storage");
    m_storageAnswers = m_storage.answers(m_storageReason);
    m_lastHealthCheckMs = m_clock.steadyMs();
}

CoreThread::~CoreThread()
{
    stop();
    m_alive.reset();
}

void CoreThread::start()
{
    if (m_thread.joinable() || m_stopped)
        return;
    scheduleTick();
    m_thread = std::thread([this] { m_context.run(); });
}

void CoreThread::post(std::function<void(VoteServiceCore&)> work)
{
    if (m_stopped)
        return;
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(m_inboxLock);
        wake = m_inbox.empty();
        m_inbox.push_back(std::move(work));
    }
    if (wake)
        asio::post(m_context, [this] { runInbox(); });
}

void CoreThread::thenOnIo(std::function<void()> action)
{
    m_outbox.push_back(Outgoing{0, OutFrame(), std::move(action)});
}

void CoreThread::markSent(SessionId id)
{
    post([this, id](VoteServiceCore&) { deliver(id, OutFrame()); });
}

void CoreThread::drain(std::function<void()> onIo)
{
    post([this, onIo = std::move(onIo)](VoteServiceCore&) mutable {
        m_ticking = false;
        m_tickTimer.cancel();
        settleAndRelease(std::move(onIo));
    });
}

void CoreThread::settleAndRelease(std::function<void()> onIo)
{
    m_core.settleAnswers();
    if (m_core.answersOwed()) {
        m_drainTimer.expires_after(kDrainPoll);
        m_drainTimer.async_wait([this, onIo = std::move(onIo)](const boost::system::error_code& ec) mutable {
            if (!ec)
                run([this, &onIo](VoteServiceCore&) { settleAndRelease(std::move(onIo)); });
        });
        return;
    }
    commitAndRelease();
    if (!m_failed)
        thenOnIo(std::move(onIo));
}

void CoreThread::stop()
{
    if (m_stopped.exchange(true))
        return;
    const auto finish = [this] {
        m_ticking = false;
        m_tickTimer.cancel();
        m_commitTimer.cancel();
        m_drainTimer.cancel();
        if (m_failed)
            return;
        // What this commit saves was done: its audit lines are written though its answers are not sent.
        try {
            if (m_storage.commit())
                writeHeldAudit();
        } catch (const std::exception& e) {
            ServiceLog::line(ServiceLog::Priority::Error, e.what());
        }
        if (!m_held.empty())
            ServiceLog::line(ServiceLog::Priority::Warning,
                             "stopping with " + std::to_string(m_held.size()) + " answers unsent");
        m_held.clear();
        m_heldAudit.clear();
    };
    if (!m_thread.joinable())
        return finish();
    asio::post(m_context, finish);
    m_work.reset();
    m_thread.join();
}

bool CoreThread::healthy(std::string& reason) const
{
    if (m_failed) {
        reason = "storage failed";
        return false;
    }
    const std::int64_t since = m_busySinceMs;
    const std::int64_t waited = since == kIdle ? 0 : m_clock.steadyMs() - since;
    if (waited >= kStalledMs) {
        reason = "storage not answering: waited " + std::to_string(waited) + " ms for it";
        return false;
    }
    const std::lock_guard<std::mutex> lock(m_shared);
    if (!m_storageAnswers)
        reason = m_storageReason;
    return m_storageAnswers;
}

std::uint32_t CoreThread::broadcastHz(const SubChannelKey& place) const
{
    const std::lock_guard<std::mutex> lock(m_shared);
    const auto it = m_rates.find(place);
    return it == m_rates.end() ? m_defaultHz : it->second;
}

// ---- on the core thread -------------------------------------------------------------------------

void CoreThread::run(const Work& work)
{
    runOne(work);
    sendOutbox();
}

void CoreThread::runOne(const Work& work)
{
    if (m_failed)
        return;
    m_busySinceMs = m_clock.steadyMs();
    try {
        work(m_core);
    } catch (const std::exception& e) {
        // A storage that throws (a database error) leaves nothing to serve with.
        fail(e.what());
    }
    m_busySinceMs = kIdle;
}

void CoreThread::runInbox()
{
    std::vector<Work> batch;
    {
        const std::lock_guard<std::mutex> lock(m_inboxLock);
        batch.swap(m_inbox);
    }
    for (const Work& work : batch)
        runOne(work);
    sendOutbox();
    // Writes of a request are committed within the window even when no frame waits for them.
    if (m_buffered && !m_failed)
        armCommit();
}

void CoreThread::sendOutbox()
{
    if (m_outbox.empty())
        return;
    asio::post(m_io, [this, alive = std::weak_ptr<int>(m_alive), batch = std::move(m_outbox)] {
        if (alive.expired())
            return;
        for (const Outgoing& out : batch) {
            if (out.action)
                out.action();
            else
                m_receiver.coreFrame(out.session, out.frame);
        }
    });
    m_outbox.clear();
}

void CoreThread::deliver(SessionId session, const OutFrame& frame)
{
    if (!m_buffered)
        return m_outbox.push_back(Outgoing{session, frame, {}});
    m_held.push_back(Outgoing{session, frame, {}});
    armCommit();
}

void CoreThread::record(const AuditEntry& entry)
{
    if (m_auditWriter == nullptr)
        return;
    if (!m_buffered)
        return m_auditWriter->record(entry);
    m_heldAudit.push_back(entry);
    armCommit();
}

void CoreThread::writeHeldAudit()
{
    auto held = std::move(m_heldAudit);
    m_heldAudit.clear();
    for (const AuditEntry& entry : held)
        m_auditWriter->record(entry);
}

void CoreThread::armCommit()
{
    if (m_commitArmed)
        return;
    m_commitArmed = true;
    m_commitTimer.expires_after(kCommitWindow);
    m_commitTimer.async_wait([this](const boost::system::error_code& ec) {
        m_commitArmed = false;
        if (!ec && !m_stopped)
            run([this](VoteServiceCore&) { commitAndRelease(); });
    });
}

void CoreThread::commitAndRelease()
{
    // Most ticks commit nothing; only commits that answers wait for are timed.
    const bool answersWait = !m_held.empty();
    const auto started = std::chrono::steady_clock::now();
    if (!m_storage.commit()) {
        // Nothing held may go out: it would report writes that are not saved.
        return fail("storage commit failed: stopping without sending " + std::to_string(m_held.size()) +
                    " held frames");
    }
    if (answersWait)
        m_metrics.storageCommitted(secondsSince(started));
    writeHeldAudit();
    m_outbox.insert(m_outbox.end(), std::make_move_iterator(m_held.begin()),
                    std::make_move_iterator(m_held.end()));
    m_held.clear();
}

void CoreThread::fail(const std::string& reason)
{
    ServiceLog::line(ServiceLog::Priority::Error, reason);
    m_failed = true;
    m_held.clear();
    m_heldAudit.clear();
    m_outbox.clear();
    m_ticking = false;
    m_tickTimer.cancel();
    m_commitTimer.cancel();
    m_drainTimer.cancel();
    asio::post(m_io, [this, alive = std::weak_ptr<int>(m_alive)] {
        if (!alive.expired())
            m_receiver.coreStorageFailed();
    });
}

void CoreThread::scheduleTick()
{
    const auto period =
        std::chrono::milliseconds(std::clamp<std::int64_t>(m_core.broadcastPeriodMs() / 4, 1, 25));
    m_tickTimer.expires_after(period);
    m_tickTimer.async_wait([this](const boost::system::error_code& ec) {
        if (ec || !m_ticking || m_stopped)
            return;
        run([this](VoteServiceCore& core) { tick(core); });
        if (m_ticking)
            scheduleTick();
    });
}

void CoreThread::tick(VoteServiceCore& core)
{
    core.tick();
    if (!m_commitArmed)
        commitAndRelease();
    if (m_failed)
        return;
    const std::int64_t now = m_clock.steadyMs();
    checkHealth(now);
    publishRates(now);
    thenOnIo([this] { m_receiver.coreTicked(); });
}

void CoreThread::checkHealth(std::int64_t now)
{
    if (now - m_lastHealthCheckMs < kHealthCheckPeriodMs)
        return;
    m_lastHealthCheckMs = now;
    std::string reason;
    const bool answers = m_storage.answers(reason);
    const std::lock_guard<std::mutex> lock(m_shared);
    m_storageAnswers = answers;
    m_storageReason = std::move(reason);
}

void CoreThread::publishRates(std::int64_t now)
{
    if (now - m_lastRatesMs < kRatesPeriodMs)
        return;
    m_lastRatesMs = now;
    std::map<SubChannelKey, std::uint32_t> rates;
    for (const auto& [place, hz] : m_core.runningRates())
        rates.emplace(place, hz);
    const std::lock_guard<std::mutex> lock(m_shared);
    m_rates.swap(rates);
}

} // namespace quorix::service
