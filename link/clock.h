// Every protocol pause goes through a clock, so tests run on virtual time.
#pragma once

#include <chrono>
#include <cstdint>

namespace zarnix {

using Micros = std::chrono::microseconds;

class CClock {
public:
    virtual ~CClock() = default;
    // Time since the clock's own origin; used to stamp bus traces.
    virtual Micros Now() const = 0;
    // A protocol pause: never shorter than `ms` milliseconds.
    virtual void Pause(unsigned ms) = 0;
};

// Sleeps on the monotonic clock. A pause may run long (the scheduler decides)
// but never short: an interrupted sleep resumes towards the same deadline.
class CRealClock final : public CClock {
public:
    CRealClock();
    Micros Now() const override;
    void Pause(unsigned ms) override;

private:
    std::chrono::steady_clock::time_point m_origin;
};

// Time stands still until someone pauses; a pause only moves time on.
class CVirtualClock final : public CClock {
public:
    Micros Now() const override { return m_now; }
    void Pause(unsigned ms) override { m_now += std::chrono::milliseconds(ms); }

private:
    Micros m_now{0};
};

} // namespace zarnix
