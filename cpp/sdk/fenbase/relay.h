#pragma once

// Host signals. `relay::signal<Args...>` carries any number of arguments; `signal0`, `signal1<A>`
// and `signal2<A, B>` name the three shapes the host uses.
//
//   relay::signal1<unsigned> switched;
//   switched.connect(bridge, &Bridge::onSwitched);   // Bridge derives from relay::trackable
//   switched.fire(7);                                // or switched(7)
//
// A connection ends when its trackable object is destroyed (its slots are then removed from the
// signal at once), when connection::disconnect() is called, or when the signal is destroyed. Emitting is safe
// while a slot disconnects any slot, connects new ones (they are called from the next emission on), destroys
// a connected object (its later slots are skipped) or destroys the signal itself (the emission then stops).
// Arguments are passed to every slot as the same lvalues, never moved. Single-threaded.

#include "trackable.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace relay {

namespace detail {

struct slot_state
{
    bool connected = true;
};

} // namespace detail

// Handle to one connection; copies refer to the same connection. An empty handle is not connected.
class connection
{
public:
    connection() = default;
    explicit connection(std::weak_ptr<detail::slot_state> state) : m_state(std::move(state)) {}

    void disconnect()
    {
        if (auto state = m_state.lock())
            state->connected = false;
    }
    bool connected() const
    {
        auto state = m_state.lock();
        return state && state->connected;
    }

private:
    std::weak_ptr<detail::slot_state> m_state;
};

template <class... Args> class signal
{
public:
    signal() : m_alive(std::make_shared<char>(0)) {}
    signal(const signal&) = delete;
    signal& operator=(const signal&) = delete;
    ~signal()
    {
        for (auto& slot : m_slots)
            slot->state->connected = false;
    }

    // Connects a member function of `object`, whose class derives from relay::trackable. The
    // member's parameters need only be constructible from the signal's arguments.
    template <class T, class C, class... P> connection connect(T* object, void (C::*member)(P...))
    {
        const trackable* holder = object;
        return add(holder, [object, member](Args... args) { (static_cast<C*>(object)->*member)(args...); });
    }

    // Connects a callable whose life is bound to `owner`.
    connection connect(const trackable* owner, std::function<void(Args...)> function)
    {
        return add(owner, std::move(function));
    }

    // Ends every connection of `owner`.
    void disconnect(const trackable* owner)
    {
        if (owner == nullptr)
            return;
        for (auto& slot : m_slots)
            if (slot->owner == owner)
                slot->state->connected = false;
        purge();
    }

    void disconnectAll()
    {
        for (auto& slot : m_slots)
            slot->state->connected = false;
        purge();
    }

    // Number of connections whose object is alive and which are not disconnected.
    int slotCount() const
    {
        int n = 0;
        for (const auto& slot : m_slots)
            n += slot->live() ? 1 : 0;
        return n;
    }

    void fire(Args... args)
    {
        const std::weak_ptr<void> signalAlive = m_alive;
        const std::vector<std::shared_ptr<slot>> snapshot = m_slots;
        for (const auto& s : snapshot) {
            if (signalAlive.expired())
                return;
            if (!s->state->connected)
                continue;
            const std::shared_ptr<void> ownerLife = s->life.lock();
            if (!ownerLife)
                continue;
            s->function(args...);
        }
    }

    void operator()(Args... args) { fire(args...); }

private:
    struct slot
    {
        const trackable* owner = nullptr;
        std::weak_ptr<void> life;
        std::function<void(Args...)> function;
        std::shared_ptr<detail::slot_state> state = std::make_shared<detail::slot_state>();

        bool live() const { return state->connected && !life.expired(); }
    };

    connection add(const trackable* owner, std::function<void(Args...)> function)
    {
        if (owner == nullptr || !function)
            return connection();
        purge();
        auto s = std::make_shared<slot>();
        s->owner = owner;
        s->life = owner->lifeToken();
        s->function = std::move(function);
        m_slots.push_back(s);
        owner->addRemoval(m_alive, [this, raw = s.get()] { remove(raw); });
        return connection(s->state);
    }

    // Takes one slot out; an emission in progress still holds it until the emission ends.
    void remove(const slot* target)
    {
        for (auto it = m_slots.begin(); it != m_slots.end(); ++it) {
            if (it->get() == target) {
                (*it)->state->connected = false;
                m_slots.erase(it);
                return;
            }
        }
    }

    void purge()
    {
        std::vector<std::shared_ptr<slot>> kept;
        for (auto& s : m_slots) {
            if (s->live())
                kept.push_back(s);
            else
                s->state->connected = false;
        }
        m_slots.swap(kept);
    }

    std::shared_ptr<char> m_alive;
    std::vector<std::shared_ptr<slot>> m_slots;
};

using signal0 = signal<>;
template <class A> using signal1 = signal<A>;
template <class A, class B> using signal2 = signal<A, B>;

} // namespace relay
