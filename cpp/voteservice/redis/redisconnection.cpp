#include "redisconnection.h"

#include "servicelog.h"

#include <cstring>
#include <thread>

namespace quorix::service {

namespace {
constexpr std::chrono::milliseconds kReconnectDelay(500);
constexpr timeval kConnectTimeout{1, 0};
// A Redis that stops answering must not stop the service for good.
constexpr timeval kReplyTimeout{2, 0};
// Between tries of a command whose reply was lost.
constexpr std::chrono::milliseconds kRetryPause(50);

bool isErrorStartingWith(const redisReply* reply, const std::string& prefix)
{
    return reply != nullptr && reply->type == REDIS_REPLY_ERROR &&
           std::strncmp(reply->str, prefix.c_str(), prefix.size()) == 0;
}
} // namespace

RedisConnection::RedisConnection(std::string host, std::uint16_t port) : m_host(std::move(host)), m_port(port)
{}

RedisConnection::~RedisConnection()
{
    if (m_context != nullptr)
        redisFree(m_context);
}

bool RedisConnection::connect(std::string& error)
{
    m_attempted = false;
    if (ensureConnected())
        return true;
    error = "cannot reach Redis at " + m_host + ":" + std::to_string(m_port);
    return false;
}

void RedisConnection::drop()
{
    if (m_context != nullptr)
        redisFree(m_context);
    m_context = nullptr;
}

redisContext* RedisConnection::context()
{
    return ensureConnected() ? m_context : nullptr;
}

bool RedisConnection::ensureConnected()
{
    if (usable())
        return true;
    if (m_inHook)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (m_attempted && now - m_lastAttempt < kReconnectDelay)
        return false;
    m_attempted = true;
    m_lastAttempt = now;
    drop();
    m_context = redisConnectWithTimeout(m_host.c_str(), m_port, kConnectTimeout);
    if (m_context == nullptr || m_context->err != 0) {
        drop();
        return false;
    }
    redisSetTimeout(m_context, kReplyTimeout);
    ++m_connects;
    if (m_connects > 1)
        ServiceLog::line("reconnected to Redis at " + m_host + ":" + std::to_string(m_port));
    m_inHook = true;
    const bool ready = !m_hook || m_hook(*this);
    m_inHook = false;
    if (!ready)
        drop();
    return ready;
}

bool RedisConnection::appendRaw(const Args& args)
{
    std::vector<const char*> argv;
    std::vector<std::size_t> lengths;
    for (const std::string& arg : args) {
        argv.push_back(arg.data());
        lengths.push_back(arg.size());
    }
    return redisAppendCommandArgv(m_context, int(argv.size()), argv.data(), lengths.data()) == REDIS_OK;
}

RedisReply RedisConnection::readReply()
{
    void* raw = nullptr;
    if (redisGetReply(m_context, &raw) != REDIS_OK) {
        ServiceLog::line(ServiceLog::Priority::Warning,
                         "lost the connection to Redis: " + std::string(m_context->errstr));
        drop();
        return nullptr;
    }
    return RedisReply(static_cast<redisReply*>(raw));
}

bool RedisConnection::reconnectForRetry()
{
    std::this_thread::sleep_for(kRetryPause);
    if (!usable())
        m_attempted = false;
    return ensureConnected();
}

RedisReply RedisConnection::command(const Args& args, RetryUntil retryUntil)
{
    // The connected hook runs on a fresh connection that carries nothing queued yet.
    if (!m_inHook)
        flush();
    Entry entry;
    entry.retryUntil = retryUntil;
    bool appended = false;
    RedisReply reply = sendOnce(args, appended);
    entry.mayHaveRun = appended;
    while (!reply && worthRetrying(entry)) {
        if (reconnectForRetry())
            reply = sendOnce(args, appended);
        entry.mayHaveRun = entry.mayHaveRun || appended;
    }
    if (!reply && retryUntil && entry.mayHaveRun)
        ServiceLog::line("1 request(s) sent to Redis got no reply in their time: they may have taken effect");
    return reply;
}

bool RedisConnection::worthRetrying(const Entry& entry)
{
    if (!entry.retryUntil)
        return false;
    return Clock::now() < (entry.mayHaveRun ? entry.retryUntil->sentUntil : entry.retryUntil->unsentUntil);
}

RedisReply RedisConnection::sendOnce(const Args& args, bool& appended)
{
    appended = false;
    if (!m_inHook && !ensureConnected())
        return nullptr;
    const auto started = Clock::now();
    if (!usable() || !appendRaw(args))
        return nullptr;
    appended = true;
    RedisReply reply = readReply();
    if (reply)
        roundTripDone(started);
    return reply;
}

void RedisConnection::roundTripDone(std::chrono::steady_clock::time_point started) const
{
    if (m_roundTripHook)
        m_roundTripHook(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

void RedisConnection::append(Args args, Done done, const std::string* scriptBody, RetryUntil retryUntil)
{
    Entry entry;
    entry.sent = ensureConnected() && appendRaw(args);
    entry.mayHaveRun = entry.sent;
    entry.done = std::move(done);
    if (scriptBody != nullptr || retryUntil) {
        entry.args = std::move(args);
        entry.scriptBody = scriptBody;
        entry.retryUntil = retryUntil;
    }
    m_queue.push_back(std::move(entry));
}

void RedisConnection::after(std::function<void()> work)
{
    Entry entry;
    entry.isWork = true;
    entry.done = [work = std::move(work)](const redisReply*) { work(); };
    m_queue.push_back(std::move(entry));
}

void RedisConnection::flush()
{
    if (m_queue.empty())
        return;
    if (m_flushHook)
        m_flushHook();
    std::vector<Entry> batch = std::move(m_queue);
    m_queue.clear();
    std::vector<RedisReply> replies(batch.size());
    // hiredis writes the queued commands on the first read: one round trip up to the last reply.
    const auto started = std::chrono::steady_clock::now();
    bool anyRead = false;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (batch[i].sent && usable()) {
            replies[i] = readReply();
            anyRead = anyRead || replies[i] != nullptr;
        }
    }
    if (anyRead)
        roundTripDone(started);
    // Retries go out once every queued reply is in, so they cannot be taken for one another's.
    retryMissingScripts(batch, replies);
    resendLost(batch, replies);
    std::size_t uncertain = 0;
    for (std::size_t i = 0; i < batch.size(); ++i)
        uncertain += !replies[i] && batch[i].retryUntil && batch[i].mayHaveRun ? 1 : 0;
    if (uncertain > 0)
        ServiceLog::line(std::to_string(uncertain) +
                         " request(s) sent to Redis got no reply in their time: they may have taken effect");
    for (std::size_t i = 0; i < batch.size(); ++i)
        batch[i].done(replies[i].get());
}

void RedisConnection::retryMissingScripts(std::vector<Entry>& batch, std::vector<RedisReply>& replies)
{
    for (std::size_t i = 0; i < batch.size(); ++i) {
        Entry& entry = batch[i];
        if (entry.scriptBody != nullptr && isErrorStartingWith(replies[i].get(), "NOSCRIPT")) {
            entry.args[0] = "EVAL";
            entry.args[1] = *entry.scriptBody;
            replies[i] = command(entry.args, entry.retryUntil);
        }
    }
}

// The repeatable commands whose replies were lost go again together on a fresh connection, until
// each has its reply or its time is up.
void RedisConnection::resendLost(std::vector<Entry>& batch, std::vector<RedisReply>& replies)
{
    const auto lost = [&](std::size_t i) { return !replies[i] && worthRetrying(batch[i]); };
    for (;;) {
        std::vector<std::size_t> again;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (lost(i))
                again.push_back(i);
        }
        if (again.empty())
            return;
        if (!reconnectForRetry())
            continue;
        std::vector<std::size_t> sent;
        for (std::size_t i : again) {
            if (appendRaw(batch[i].args)) {
                batch[i].mayHaveRun = true;
                sent.push_back(i);
            }
        }
        for (std::size_t i : sent) {
            if (usable())
                replies[i] = readReply();
        }
        retryMissingScripts(batch, replies);
    }
}

} // namespace quorix::service
