#include "trackable.h"

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

trackable::~trackable() = default;

} // namespace relay
