#pragma once

// Counted reference to a host object: a copy adds a reference, destruction releases it.

#include "iunk.h"

#include <utility>

template <class T> class comptr
{
public:
    comptr() = default;
    comptr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit comptr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->addRef();
    }
    comptr(const comptr& other) : comptr(other.m_p) {}
    comptr(comptr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    template <class U> comptr(const comptr<U>& other) : comptr(static_cast<T*>(other.get())) {}
    ~comptr() { reset(); }

    comptr& operator=(const comptr& other)
    {
        comptr(other).swap(*this);
        return *this;
    }
    comptr& operator=(comptr&& other) noexcept
    {
        comptr(std::move(other)).swap(*this);
        return *this;
    }
    comptr& operator=(std::nullptr_t)
    {
        reset();
        return *this;
    }

    // Adopts a reference the caller already owns (an out-pointer filled by the host).
    static comptr adopt(T* p)
    {
        comptr c;
        c.m_p = p;
        return c;
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(m_p, nullptr); }

    void reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->release();
    }
    void swap(comptr& other) noexcept { std::swap(m_p, other.m_p); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    bool operator==(const comptr& other) const { return m_p == other.m_p; }
    bool operator!=(const comptr& other) const { return m_p != other.m_p; }

private:
    T* m_p = nullptr;
};

// Asks `object` for interface T; null when it does not answer it.
template <class T, class U> comptr<T> queryInterface(U* object)
{
    if (object == nullptr)
        return nullptr;
    void* out = nullptr;
    if (!object->queryInterface(T::iid(), &out) || out == nullptr)
        return nullptr;
    return comptr<T>::adopt(static_cast<T*>(out));
}

template <class T, class U> comptr<T> queryInterface(const comptr<U>& object)
{
    return queryInterface<T>(object.get());
}
