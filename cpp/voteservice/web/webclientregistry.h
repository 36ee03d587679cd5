#pragma once

// The web face's open connections (plain HTTP, WebSocket and SSE): counted against the connection
// limit, drained and then shut down when the service stops. A client is registered for as long as it holds
// its Slot; the registry may end before its clients do.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace quorix::service {

class WebClient
{
public:
    virtual ~WebClient() = default;
    // Ends the connection and its core session now; called on the io_context's thread.
    virtual void shutdown() = 0;
    // The service drains: no new request is taken; the one in flight is still answered.
    virtual void drain() = 0;
};

class WebClientRegistry
{
    struct State
    {
        std::unordered_map<std::uint64_t, std::weak_ptr<WebClient>> clients;
        std::uint64_t lastId = 0;
    };

public:
    class Slot
    {
    public:
        Slot() = default;
        Slot(std::shared_ptr<State> state, std::uint64_t id) : m_state(std::move(state)), m_id(id) {}
        Slot(Slot&& other) noexcept = default;
        Slot& operator=(Slot&& other) noexcept;
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        ~Slot() { release(); }

    private:
        void release();
        std::shared_ptr<State> m_state;
        std::uint64_t m_id = 0;
    };

    Slot add(std::weak_ptr<WebClient> client);
    std::size_t size() const { return m_state->clients.size(); }
    void shutdownAll();
    void drainAll();

private:
    // Those still there, held while they are told something that may end them.
    std::vector<std::shared_ptr<WebClient>> alive() const;

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace quorix::service
