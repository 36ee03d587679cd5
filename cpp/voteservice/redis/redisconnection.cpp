#include "voteservice/redis/redisconnection.h"

#include "voteservice/core/servicelog.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

namespace quorix::service {

namespace {
constexpr std::chrono::milliseconds kReconnectDelay(500);
constexpr int kConnectTimeoutMs = 1000;
// A Redis that stops answering must not stop the service for good.
constexpr int kReplyTimeoutMs = 2000;
// Between tries of a command whose reply was lost.
constexpr std::chrono::milliseconds kRetryPause(50);
// A reply larger than this is not one the service asked for: the connection is dropped.
constexpr std::size_t kMaxReplyBytes = 64u << 20;
constexpr std::size_t kReadChunk = 16384;
// OOM replies closer together than this belong to one burst, logged once.
constexpr std::chrono::seconds kOutOfMemoryQuiet(10);
// Errors saying this Redis cannot serve now, though another (or this one, soon) can.
constexpr const char* kUnavailablePrefixes[] = {"READONLY", "MASTERDOWN", "CLUSTERDOWN", "TRYAGAIN",
                                                "LOADING"};

// hiredis 0.14 allocates the slots of an array reply as soon as it reads their count: a count
// beyond any reply the service asks for is refused before that (the reader fails, the connection
// is dropped).
constexpr int kMaxReplyElements = 1 << 20;
void* (*g_createArray)(const redisReadTask*, int) = nullptr;
// Set when the reader failed on such a count, for the log line.
thread_local bool g_arrayTooLong = false;

void* createBoundedArray(const redisReadTask* task, int elements)
{
    g_arrayTooLong = elements > kMaxReplyElements;
    return g_arrayTooLong ? nullptr : g_createArray(task, elements);
}

std::string readerFailure(const redisReader* reader)
{
    const bool tooLong = g_arrayTooLong;
    g_arrayTooLong = false;
    return tooLong ? "an array reply of more than " + std::to_string(kMaxReplyElements) + " elements"
                   : "not a Redis reply: " + std::string(reader->errstr);
}

redisReader* createBoundedReader()
{
    redisReader* reader = redisReaderCreate();
    if (reader == nullptr)
        throw std::bad_alloc();
    static redisReplyObjectFunctions bounded = [reader] {
        redisReplyObjectFunctions functions = *reader->fn;
        g_createArray = functions.createArray;
        functions.createArray = createBoundedArray;
        return functions;
    }();
    reader->fn = &bounded;
    return reader;
}

bool isErrorStartingWith(const redisReply* reply, const std::string& prefix)
{
    return reply != nullptr && reply->type == REDIS_REPLY_ERROR &&
           std::strncmp(reply->str, prefix.c_str(), prefix.size()) == 0 &&
           (reply->str[prefix.size()] == ' ' || reply->str[prefix.size()] == '\0');
}

} // namespace

std::string RedisConnection::errorText(const redisReply* reply)
{
    std::string text(reply->str, std::min<std::size_t>(reply->len, 200));
    for (char& c : text)
        c = (c >= 0x20 && c < 0x7f) ? c : '?';
    return text;
}

RedisConnection::RedisConnection(RedisAddress address) : m_address(std::move(address)) {}

RedisConnection::~RedisConnection() = default;

bool RedisConnection::connect(std::string& error)
{
    m_attempted = false;
    if (ensureConnected())
        return true;
    error = m_lastError.empty() ? "cannot reach Redis at " + m_address.describe() : m_lastError;
    return false;
}

void RedisConnection::drop()
{
    m_transport.reset();
    m_reader.reset();
    m_output.clear();
    m_unparsedBytes = 0;
}

void RedisConnection::lose(const std::string& why)
{
    ServiceLog::line(ServiceLog::Priority::Warning, "lost the connection to Redis: " + why);
    m_lastLoss = why;
    drop();
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
    std::string why;
    m_transport = RedisTransport::open(m_address, kConnectTimeoutMs, why);
    if (!m_transport) {
        m_lastError = "cannot reach Redis at " + m_address.describe() + ": " + why;
        return false;
    }
    m_reader.reset(createBoundedReader());
    if (!authenticate()) {
        drop();
        return false;
    }
    m_lastError.clear();
    ++m_connects;
    if (m_connects > 1)
        ServiceLog::line("reconnected to Redis at " + m_address.describe());
    m_inHook = true;
    const bool ready = !m_hook || m_hook(*this);
    m_inHook = false;
    if (!ready)
        drop();
    return ready;
}

bool RedisConnection::authenticate()
{
    m_credentialsRefused = false;
    if (m_address.password.empty())
        return true;
    Args auth{"AUTH"};
    if (!m_address.user.empty())
        auth.push_back(m_address.user);
    auth.push_back(m_address.password);
    const RedisReply reply = appendRaw(auth) ? readReply() : nullptr;
    if (reply && reply->type != REDIS_REPLY_ERROR)
        return true;
    if (!reply) {
        m_lastError =
            "cannot reach Redis at " + m_address.describe() + ": no answer to AUTH (" + m_lastLoss + ")";
        return false;
    }
    m_credentialsRefused = true;
    m_lastError = "Redis refused the credentials" +
                  (m_address.user.empty() ? std::string() : " of user " + m_address.user) + " at " +
                  m_address.describe() + ": " + errorText(reply.get());
    return false;
}

bool RedisConnection::appendRaw(const Args& args)
{
    if (!usable())
        return false;
    std::vector<const char*> argv;
    std::vector<std::size_t> lengths;
    for (const std::string& arg : args) {
        argv.push_back(arg.data());
        lengths.push_back(arg.size());
    }
    char* encoded = nullptr;
    const long long size = redisFormatCommandArgv(&encoded, int(argv.size()), argv.data(), lengths.data());
    if (size < 0)
        return false;
    m_output.append(encoded, std::size_t(size));
    redisFreeCommand(encoded);
    return true;
}

bool RedisConnection::takeParsed(RedisReply& reply)
{
    void* raw = nullptr;
    if (redisReaderGetReply(m_reader.get(), &raw) != REDIS_OK)
        return false;
    reply.reset(static_cast<redisReply*>(raw));
    if (reply)
        m_unparsedBytes = 0;
    return true;
}

bool RedisConnection::readMore(int timeoutMs, bool& gotBytes)
{
    char buffer[kReadChunk];
    const long got = m_transport->readSome(buffer, sizeof buffer, timeoutMs);
    gotBytes = got > 0;
    if (got < 0)
        return false;
    m_unparsedBytes += std::size_t(got);
    return got == 0 || redisReaderFeed(m_reader.get(), buffer, std::size_t(got)) == REDIS_OK;
}

void RedisConnection::sendQueued()
{
    if (!usable() || m_output.empty())
        return;
    const bool written = m_transport->writeAll(m_output.data(), m_output.size(), kReplyTimeoutMs);
    m_output.clear();
    if (!written)
        lose(m_transport->error());
}

RedisReply RedisConnection::readReply()
{
    sendQueued();
    if (!usable())
        return nullptr;
    RedisReply reply;
    for (;;) {
        if (!takeParsed(reply)) {
            lose(readerFailure(m_reader.get()));
            return nullptr;
        }
        if (reply)
            return screened(std::move(reply));
        if (m_unparsedBytes > kMaxReplyBytes) {
            lose("a reply longer than " + std::to_string(kMaxReplyBytes) + " bytes");
            return nullptr;
        }
        bool gotBytes = false;
        if (!readMore(kReplyTimeoutMs, gotBytes)) {
            lose(m_transport->error());
            return nullptr;
        }
        if (!gotBytes) {
            lose("no reply within " + std::to_string(kReplyTimeoutMs / 1000) + " s");
            return nullptr;
        }
    }
}

RedisReply RedisConnection::replyIfReady()
{
    if (!usable())
        return nullptr;
    RedisReply reply;
    bool gotBytes = false;
    if (!takeParsed(reply)) {
        lose(readerFailure(m_reader.get()));
        return nullptr;
    }
    if (!reply) {
        if (!readMore(0, gotBytes)) {
            lose(m_transport->error());
            return nullptr;
        }
        if (!gotBytes)
            return nullptr;
        if (!takeParsed(reply) || (!reply && m_unparsedBytes > kMaxReplyBytes)) {
            lose(m_unparsedBytes > kMaxReplyBytes
                     ? "a reply longer than " + std::to_string(kMaxReplyBytes) + " bytes"
                     : readerFailure(m_reader.get()));
            return nullptr;
        }
    }
    return reply ? screened(std::move(reply)) : nullptr;
}

RedisReply RedisConnection::screened(RedisReply reply)
{
    if (reply->type != REDIS_REPLY_ERROR)
        return reply;
    for (const char* prefix : kUnavailablePrefixes) {
        if (isErrorStartingWith(reply.get(), prefix)) {
            lose("Redis cannot serve now (" + errorText(reply.get()) + ")");
            return nullptr;
        }
    }
    if (isErrorStartingWith(reply.get(), "OOM")) {
        const auto now = Clock::now();
        if (!m_lastOutOfMemory || now - *m_lastOutOfMemory > kOutOfMemoryQuiet)
            ServiceLog::line(ServiceLog::Priority::Error,
                             "Redis at " + m_address.describe() +
                                 " is out of memory and refuses writes: votes are not stored (" +
                                 errorText(reply.get()) + ")");
        m_lastOutOfMemory = now;
    }
    return reply;
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
    if (!appendRaw(args))
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
