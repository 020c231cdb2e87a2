// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>

// Every wait of the system goes through the installed Clock: the product runs on the real
// steady clock, tests install a VirtualClock so that a 25-second exchange takes milliseconds.
namespace corvel {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; only differences are meaningful.
    virtual uint64_t tickCount() = 0;
    virtual void sleepMs(uint32_t ms) = 0;
};

// The steady clock. A sleep lasts what was asked, to within a few microseconds, not the tens the
// kernel adds on its own: the protocol's waits are many 1 ms sleeps.
class RealClock : public Clock {
public:
    uint64_t tickCount() override;
    void sleepMs(uint32_t ms) override;
};

// Time stands still until someone sleeps. A sleep advances time to its end, running on its way
// every scheduled callback that falls due, in time order (equal times in scheduling order), with
// the clock reading the callback's due time while it runs. Callbacks may schedule more.
class VirtualClock : public Clock {
public:
    using Callback = std::function<void()>;

    uint64_t tickCount() override { return now_; }
    void sleepMs(uint32_t ms) override { advanceTo(now_ + ms); }

    void scheduleAt(uint64_t dueMs, Callback callback);
    void scheduleAfter(uint64_t delayMs, Callback callback) {
        scheduleAt(now_ + delayMs, std::move(callback));
    }
    void advanceTo(uint64_t targetMs);
    // Total of all sleeps so far, for tests that check how long an operation waited.
    uint64_t sleptMs() const { return now_ - start_; }
    size_t pendingCallbacks() const { return due_.size(); }

private:
    uint64_t start_ = 1000;
    uint64_t now_ = start_;
    uint64_t sequence_ = 0;
    std::map<std::pair<uint64_t, uint64_t>, Callback> due_;
};

// The clock every wait uses. Installing nullptr restores the real clock.
Clock& systemClock();
void installClock(Clock* clock);

// Installs a clock for the lifetime of a scope (tests).
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) { installClock(&clock); }
    ~ScopedClock() { installClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace corvel
