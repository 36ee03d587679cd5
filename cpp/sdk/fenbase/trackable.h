#pragma once

// Slot holder for relay signals. An object that connects its member functions to a relay signal
// derives from trackable (as a second base beside QObject). When it is destroyed, every slot it
// connected is taken out of its signal at once, so a signal owned by someone else (the host)
// keeps nothing of it: not even code of a library that is unloaded afterwards.
// Copies get a life of their own; connections are never copied.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace relay {

class trackable
{
public:
    trackable();
    trackable(const trackable&);
    trackable& operator=(const trackable&);
    virtual ~trackable();

    // Weak view of this object's life: expires when the object's destruction begins.
    std::weak_ptr<void> lifeToken() const { return m_life; }

    // Used by signals: `remove` takes one of this object's slots out of the signal whose life is
    // `signalLife`; it runs at this object's destruction while that signal still exists.
    void addRemoval(std::weak_ptr<void> signalLife, std::function<void()> remove) const;

private:
    std::shared_ptr<void> m_life;
    mutable std::vector<std::pair<std::weak_ptr<void>, std::function<void()>>> m_removals;
};

} // namespace relay
