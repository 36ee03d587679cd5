#include "redisconnection.h"

#include "servicelog.h"

#include <cstring>

namespace quorix::service {

namespace {
constexpr std::chrono::milliseconds kReconnectDelay(500);
constexpr timeval kConnectTimeout{1, 0};
// A Redis that stops answering must not stop the service for good.
constexpr timeval kReplyTimeout{2, 0};

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
        ServiceLog::line("lost the connection to Redis: " + std::string(m_context->errstr));
        drop();
        return nullptr;
    }
    return RedisReply(static_cast<redisReply*>(raw));
}

RedisReply RedisConnection::command(const Args& args)
{
    // The connected hook runs on a fresh connection that carries nothing queued yet.
    if (!m_inHook) {
        flush();
        if (!ensureConnected())
            return nullptr;
    }
    const auto started = std::chrono::steady_clock::now();
    if (!usable() || !appendRaw(args))
        return nullptr;
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

void RedisConnection::append(Args args, Done done, const std::string* scriptBody)
{
    Entry entry;
    entry.sent = ensureConnected() && appendRaw(args);
    entry.done = std::move(done);
    if (scriptBody != nullptr) {
        entry.args = std::move(args);
        entry.scriptBody = scriptBody;
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
    for (std::size_t i = 0; i < batch.size(); ++i) {
        Entry& entry = batch[i];
        if (entry.scriptBody != nullptr && isErrorStartingWith(replies[i].get(), "NOSCRIPT")) {
            entry.args[0] = "EVAL";
            entry.args[1] = *entry.scriptBody;
            replies[i] = command(entry.args);
        }
    }
    for (std::size_t i = 0; i < batch.size(); ++i)
        batch[i].done(replies[i].get());
}

} // namespace quorix::service
