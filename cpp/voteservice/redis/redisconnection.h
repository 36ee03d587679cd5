#pragma once

// One connection to Redis from the service's single thread. command() sends one command and waits
// for its reply; append() queues a command whose reply is read, with all queued ones, by the next
// flush() (or command()), so that many commands share one round trip. Replies reach their
// callbacks in the order the commands were queued, as do the callbacks queued with after().
//
// A broken connection is not fatal: queued callbacks get a null reply, and the next use
// reconnects (at most every reconnectDelayMs), calling the connected hook first. A command given a
// time to retry until (one that is safe to repeat, such as a script run once per ballot) is sent
// again on a fresh connection after its reply was lost, until a reply arrives or the time is up.
//
// The bytes travel on a RedisTransport of the address (TCP, TLS or a Unix socket); hiredis only
// encodes the commands and parses the replies. Every new connection sends AUTH first when the
// address has a password. An error reply saying this Redis cannot serve now (READONLY, MASTERDOWN,
// CLUSTERDOWN, TRYAGAIN, LOADING) drops the connection and counts as a lost reply, so that a
// repeatable command goes again on a fresh connection (to the new primary after a failover); OOM
// is logged as an error once per burst and handed over as the error reply it is.

#include "voteservice/redis/redisaddress.h"
#include "voteservice/redis/rediscommands.h"
#include "voteservice/redis/redistransport.h"

#include <hiredis/hiredis.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

class RedisConnection : public RedisCommands
{
public:
    explicit RedisConnection(RedisAddress address);
    ~RedisConnection();
    RedisConnection(const RedisConnection&) = delete;
    RedisConnection& operator=(const RedisConnection&) = delete;

    // Also for subscribing.
    void setConnectedHook(ConnectedHook hook) override { m_hook = std::move(hook); }
    void setRoundTripHook(RoundTripHook hook) override { m_roundTripHook = std::move(hook); }
    void setFlushHook(std::function<void()> hook) override { m_flushHook = std::move(hook); }
    bool connect(std::string& error) override;
    // Whether the last connection attempt failed because Redis refused the user or password.
    bool credentialsRefused() const { return m_credentialsRefused; }
    const RedisAddress& address() const { return m_address; }
    // An error reply's text for a log line: printable bytes only, at most 200 of them.
    static std::string errorText(const redisReply* reply);

    RedisReply command(const Args& args, RetryUntil retryUntil = {}) override;
    void append(Args args, Done done, const std::string* scriptBody = nullptr,
                RetryUntil retryUntil = {}) override;
    void after(std::function<void()> work) override;
    bool pending() const override { return !m_queue.empty(); }
    std::size_t queued() const override { return m_queue.size(); }
    void flush() override;
    // Writes the commands queued so far without waiting for their replies (flush() reads them), so
    // that this Redis works on them while the caller writes to others.
    void sendQueued();

    // Connects when needed (at most every reconnect delay); false when not connected.
    bool ready() { return ensureConnected(); }
    // For a subscriber reading pushed messages: a reply already read, or one whose bytes are
    // there now; null without waiting when none is (or the connection broke).
    RedisReply replyIfReady();
    bool usable() const { return m_transport != nullptr; }
    std::uint64_t connects() const { return m_connects; }
    void drop();

private:
    struct Entry
    {
        bool sent = false;
        bool isWork = false;
        Done done;
        Args args;
        const std::string* scriptBody = nullptr;
        RetryUntil retryUntil;
        bool mayHaveRun = false;
    };

    static bool worthRetrying(const Entry& entry);

    struct ReaderDeleter
    {
        void operator()(redisReader* reader) const { redisReaderFree(reader); }
    };

    bool ensureConnected();
    bool authenticate();
    // Waits a moment and connects again at once, whatever the reconnect delay.
    bool reconnectForRetry();
    // appended tells whether args went into the connection's output.
    RedisReply sendOnce(const Args& args, bool& appended);
    void resendLost(std::vector<Entry>& batch, std::vector<RedisReply>& replies);
    void retryMissingScripts(std::vector<Entry>& batch, std::vector<RedisReply>& replies);
    bool appendRaw(const Args& args);
    RedisReply readReply();
    // A reply parsed from what was read so far; false when the bytes are not a reply.
    bool takeParsed(RedisReply& reply);
    // Reads once within timeoutMs and feeds the parser; false when the connection broke.
    bool readMore(int timeoutMs, bool& gotBytes);
    // A reply that means this Redis cannot serve now is taken as a lost one (null).
    RedisReply screened(RedisReply reply);
    void lose(const std::string& why);
    void roundTripDone(std::chrono::steady_clock::time_point started) const;

    RedisAddress m_address;
    std::unique_ptr<RedisTransport> m_transport;
    std::unique_ptr<redisReader, ReaderDeleter> m_reader;
    // Encoded commands not written yet: they go out with the next read, as one write.
    std::string m_output;
    // Bytes fed to the parser since its last complete reply, bounded by kMaxReplyBytes.
    std::size_t m_unparsedBytes = 0;
    std::string m_lastError;
    // Why the connection was last dropped, for the message of a failed AUTH.
    std::string m_lastLoss;
    bool m_credentialsRefused = false;
    // When the last OOM reply came: a burst is logged once, at its first.
    std::optional<Clock::time_point> m_lastOutOfMemory;
    std::function<bool(RedisConnection&)> m_hook;
    RoundTripHook m_roundTripHook;
    std::function<void()> m_flushHook;
    std::vector<Entry> m_queue;
    std::chrono::steady_clock::time_point m_lastAttempt{};
    bool m_attempted = false;
    bool m_inHook = false;
    std::uint64_t m_connects = 0;
};

} // namespace quorix::service
