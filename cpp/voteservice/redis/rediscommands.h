#pragma once

// What the storage, the ballot box and the scripts ask of Redis, whether it is one Redis (a
// RedisConnection) or a Redis Cluster (a RedisClusterConnection, which sends each command to the
// primary of its key's slot). command() sends one command and waits for its reply; append()
// queues one whose reply is read, with all queued ones, by the next flush() (or command()); the
// callbacks queued with after() run once the replies queued before them were handed over.

#include <hiredis/hiredis.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

class RedisConnection;

struct RedisReplyDeleter
{
    void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using RedisReply = std::unique_ptr<redisReply, RedisReplyDeleter>;

class RedisCommands
{
public:
    // Gets the reply, or null when the command failed to travel (not for a Redis error reply).
    using Done = std::function<void(const redisReply* reply)>;
    using Args = std::vector<std::string>;
    // Told how long each round trip that brought replies took: one command, or one flush of queued
    // commands.
    using RoundTripHook = std::function<void(double seconds)>;
    using ConnectedHook = std::function<bool(RedisConnection&)>;
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

    virtual ~RedisCommands() = default;

    // Runs on every new connection to a Redis before anything else is sent (loading scripts).
    virtual void setConnectedHook(ConnectedHook hook) = 0;
    virtual void setRoundTripHook(RoundTripHook hook) = 0;
    // Runs when queued commands are about to be read, so that one last command can join them.
    virtual void setFlushHook(std::function<void()> hook) = 0;
    // Connects now; false with a message when Redis cannot be reached or refused the credentials.
    virtual bool connect(std::string& error) = 0;

    virtual RedisReply command(const Args& args, RetryUntil retryUntil = {}) = 0;
    // Queues args. For an EVALSHA given the script's body, a NOSCRIPT reply makes it go again as
    // EVAL of the body with the same keys and arguments (once the queue was read); done gets
    // that reply.
    virtual void append(Args args, Done done, const std::string* scriptBody = nullptr,
                        RetryUntil retryUntil = {}) = 0;
    virtual void after(std::function<void()> work) = 0;
    virtual bool pending() const = 0;
    virtual std::size_t queued() const = 0;
    virtual void flush() = 0;
};

} // namespace quorix::service
