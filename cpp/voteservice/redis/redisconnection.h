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

#include <hiredis/hiredis.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

struct RedisReplyDeleter
{
    void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using RedisReply = std::unique_ptr<redisReply, RedisReplyDeleter>;

class RedisConnection
{
public:
    // Gets the reply, or null when the command failed to travel (not for a Redis error reply).
    using Done = std::function<void(const redisReply* reply)>;
    using Args = std::vector<std::string>;
    // Told how long each round trip that brought replies took: one command, or one flush of queued
    // commands.
    using RoundTripHook = std::function<void(double seconds)>;
    using Clock = std::chrono::steady_clock;
    // How long a repeatable command goes again after its reply was lost.
    struct RetryWindow
    {
        // Until when a command that never left this process is tried again.
        Clock::time_point unsentUntil;
        // Until when one that may have reached Redis is sent again to learn what became of it.
        Clock::time_point sentUntil;
    };
    // None: not repeated.
    using RetryUntil = std::optional<RetryWindow>;

    RedisConnection(std::string host, std::uint16_t port);
    ~RedisConnection();
    RedisConnection(const RedisConnection&) = delete;
    RedisConnection& operator=(const RedisConnection&) = delete;

    // Runs on every new connection before anything else is sent (loading scripts, subscribing).
    void setConnectedHook(std::function<bool(RedisConnection&)> hook) { m_hook = std::move(hook); }
    void setRoundTripHook(RoundTripHook hook) { m_roundTripHook = std::move(hook); }
    // Runs when queued commands are about to be read, so that one last command can join them.
    void setFlushHook(std::function<void()> hook) { m_flushHook = std::move(hook); }
    // Connects now; false with a message when Redis cannot be reached.
    bool connect(std::string& error);

    RedisReply command(const Args& args, RetryUntil retryUntil = {});
    // Queues args. For an EVALSHA given the script's body, a NOSCRIPT reply makes it go again as
    // EVAL of the body with the same keys and arguments (once the queue was read); done gets
    // that reply.
    void append(Args args, Done done, const std::string* scriptBody = nullptr, RetryUntil retryUntil = {});
    void after(std::function<void()> work);
    bool pending() const { return !m_queue.empty(); }
    std::size_t queued() const { return m_queue.size(); }
    void flush();

    // The connection itself, for a subscriber reading pushed messages; null when not connected.
    redisContext* context();
    bool usable() const { return m_context != nullptr && m_context->err == 0; }
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

    bool ensureConnected();
    // Waits a moment and connects again at once, whatever the reconnect delay.
    bool reconnectForRetry();
    // appended tells whether args went into the connection's output.
    RedisReply sendOnce(const Args& args, bool& appended);
    void resendLost(std::vector<Entry>& batch, std::vector<RedisReply>& replies);
    void retryMissingScripts(std::vector<Entry>& batch, std::vector<RedisReply>& replies);
    bool appendRaw(const Args& args);
    RedisReply readReply();
    void roundTripDone(std::chrono::steady_clock::time_point started) const;

    std::string m_host;
    std::uint16_t m_port;
    redisContext* m_context = nullptr;
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
