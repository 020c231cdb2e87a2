// SPDX-License-Identifier: MIT
#include "platform/clock.h"

#include <cerrno>
#include <chrono>
#include <ctime>

namespace corvel {

uint64_t RealClock::tickCount() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void RealClock::sleepMs(uint32_t ms) {
    timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
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
