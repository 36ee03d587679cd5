#include "trackable.h"

#include <algorithm>

namespace relay {

namespace {

std::shared_ptr<void> newLife()
{
    return std::make_shared<char>(0);
}

} // namespace

trackable::trackable() : m_life(newLife()) {}

trackable::trackable(const trackable&) : m_life(newLife()) {}

trackable& trackable::operator=(const trackable&)
{
    return *this;
}

trackable::~trackable()
{
    m_life.reset();
    std::vector<std::pair<std::weak_ptr<void>, std::function<void()>>> removals;
    removals.swap(m_removals);
    for (auto& removal : removals)
        if (!removal.first.expired())
            removal.second();
}

void trackable::addRemoval(std::weak_ptr<void> signalLife, std::function<void()> remove) const
{
    // Removals for signals that are gone are dropped, so reconnecting never piles them up.
    m_removals.erase(std::remove_if(m_removals.begin(), m_removals.end(),
                                    [](const auto& removal) { return removal.first.expired(); }),
                     m_removals.end());
    m_removals.emplace_back(std::move(signalLife), std::move(remove));
}

} // namespace relay
