// SPDX-License-Identifier: MIT
#include "platform/clock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>

namespace corvel {

uint64_t RealClock::tickCount() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

using std::chrono::nanoseconds;
using std::chrono::steady_clock;

// The kernel wakes a sleeper some tens of microseconds after the time it asked for: the thread's
// timer slack (50 us by default) and then the wake-up itself. On a 1 ms polling sleep that is a
// tenth of the wait again, taken a thousand times a second. Each thread learns how late it is
// woken (a running average, bounded so that one long stall cannot teach it much) and asks to be
// woken that much earlier.
constexpr nanoseconds kMaxWakeLead{200'000};
thread_local nanoseconds wakeLead{0};

timespec timespecOf(steady_clock::time_point at) {
    const auto ns = std::chrono::duration_cast<nanoseconds>(at.time_since_epoch()).count();
    return timespec{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

}  // namespace

void RealClock::sleepMs(uint32_t ms) {
    const steady_clock::time_point deadline = steady_clock::now() + std::chrono::milliseconds(ms);
    const steady_clock::time_point wake = deadline - wakeLead;
    // steady_clock is CLOCK_MONOTONIC; an absolute wake time survives interruptions unchanged.
    const timespec at = timespecOf(wake);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
    const nanoseconds late = std::clamp(
        std::chrono::duration_cast<nanoseconds>(steady_clock::now() - wake), nanoseconds{0},
        kMaxWakeLead);
    wakeLead += (late - wakeLead) / 8;
    // Woken early, the sleep still lasts what was asked: the few microseconds left are waited
    // out here rather than given back to the kernel, which would wake the thread late again.
    while (steady_clock::now() < deadline) {
    }
}

void VirtualClock::scheduleAt(uint64_t dueMs, Callback callback) {
    if (dueMs < now_) dueMs = now_;
    due_.emplace(std::make_pair(dueMs, sequence_++), std::move(callback));
}

void VirtualClock::advanceTo(uint64_t targetMs) {
    while (!due_.empty() && due_.begin()->first.first <= targetMs) {
        auto node = due_.extract(due_.begin());
        now_ = node.key().first;
        node.mapped()();
    }
    if (targetMs > now_) now_ = targetMs;
}

namespace {
RealClock realClock;
Clock* installedClock = &realClock;
}  // namespace

Clock& systemClock() { return *installedClock; }
void installClock(Clock* clock) { installedClock = clock ? clock : &realClock; }

}  // namespace corvel
