#pragma once

// Slot holder for relay signals. An object that connects its member functions to a relay signal
// derives from trackable (as a second base beside QObject). Its connections end when it is
// destroyed: signals hold only a weak view of the object's life token and skip dead slots.
// Copies get a life of their own; connections are never copied.

#include <memory>

namespace relay {

class trackable
{
public:
    trackable();
    trackable(const trackable&);
    trackable& operator=(const trackable&);
    virtual ~trackable();

    // Weak view of this object's life: expires when the object is destroyed.
    std::weak_ptr<void> lifeToken() const { return m_life; }

private:
    std::shared_ptr<void> m_life;
};

} // namespace relay
