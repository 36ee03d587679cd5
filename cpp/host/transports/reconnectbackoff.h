#pragma once

// Delays between reconnect attempts: a step of 0.5 s doubling up to 30 s, each delay jittered
// by a quarter of its step either way (and kept within 0.5 s to 30 s) so that many hosts
// dropped together do not return in lock-step. reset() after a successful connection starts again from the
// first step.

#include <functional>

class ReconnectBackoff
{
public:
    static constexpr int kFirstDelayMs = 500;
    static constexpr int kMaxDelayMs = 30000;

    // `unit` returns a number in [0, 1); the default draws from QRandomGenerator.
    explicit ReconnectBackoff(std::function<double()> unit = {});

    int nextDelayMs();
    void reset();
    int attempts() const { return m_attempts; }

private:
    std::function<double()> m_unit;
    int m_stepMs = kFirstDelayMs;
    int m_attempts = 0;
};
