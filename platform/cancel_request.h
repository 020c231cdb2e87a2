// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>

// A request that a long operation stop at its next safe point, made from another thread (the
// window's Cancel) or a signal handler (Ctrl-C) while the operation runs. The operation only
// reads it between its steps; it never ends anything by itself.
namespace corvel {

class CancelRequest {
public:
    // Safe from any thread and from a signal handler: one lock-free store.
    void requestCancel() noexcept { requested_.store(true, std::memory_order_relaxed); }
    bool cancelRequested() const noexcept { return requested_.load(std::memory_order_relaxed); }

private:
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::atomic<bool> requested_{false};
};

}  // namespace corvel
