#include "voteservice/web/webclientregistry.h"

#include <vector>

namespace quorix::service {

WebClientRegistry::Slot& WebClientRegistry::Slot::operator=(Slot&& other) noexcept
{
    if (this != &other) {
        release();
        m_state = std::move(other.m_state);
        m_id = other.m_id;
    }
    return *this;
}

void WebClientRegistry::Slot::release()
{
    if (m_state)
        m_state->clients.erase(m_id);
    m_state.reset();
}

WebClientRegistry::Slot WebClientRegistry::add(std::weak_ptr<WebClient> client)
{
    const std::uint64_t id = ++m_state->lastId;
    m_state->clients.emplace(id, std::move(client));
    return Slot(m_state, id);
}

std::vector<std::shared_ptr<WebClient>> WebClientRegistry::alive() const
{
    std::vector<std::shared_ptr<WebClient>> alive;
    for (const auto& [id, client] : m_state->clients) {
        if (auto strong = client.lock())
            alive.push_back(std::move(strong));
    }
    return alive;
}

void WebClientRegistry::shutdownAll()
{
    for (const auto& client : alive())
        client->shutdown();
}

void WebClientRegistry::drainAll()
{
    for (const auto& client : alive())
        client->drain();
}

} // namespace quorix::service
