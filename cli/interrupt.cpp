// SPDX-License-Identifier: MIT
#include "cli/interrupt.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>

namespace corvel {

namespace {

constexpr std::array kStopSignals = {SIGINT, SIGTERM};

// What the handler reads: set before the handlers go in, never changed while they are. Only
// async-signal-safe calls happen in the handler: write(2) and lock-free atomics.
std::atomic<CancelRequest*> target{nullptr};
std::atomic<int> count{0};
std::atomic<int> stoppedBy{0};
std::atomic<bool> tooLate{false};
bool stopsAtOnce = false;
std::string warningText;
std::string againText;
std::string lateText;
std::array<struct sigaction, kStopSignals.size()> previous{};

void say(const std::string& text) {
    if (text.empty()) return;
    const ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
    (void)ignored;
}

extern "C" void onStopSignal(int number) {
    if (tooLate.load()) {
        say(lateText);
        return;
    }
    const int n = count.fetch_add(1) + 1;
    const bool asks = stopsAtOnce || number == SIGTERM || n >= 2;
    if (n == 1) {
        say(warningText);
        if (!asks) say(againText);
    }
    if (!asks) return;
    int none = 0;
    if (!stoppedBy.compare_exchange_strong(none, number)) return;
    if (CancelRequest* request = target.load()) request->requestCancel();
}

}  // namespace

InterruptGuard::InterruptGuard(CancelRequest& request, bool stopAtOnce, std::string warning,
                               std::string again, std::string late) {
    count = 0;
    stoppedBy = 0;
    tooLate = false;
    stopsAtOnce = stopAtOnce;
    warningText = std::move(warning);
    againText = std::move(again);
    lateText = std::move(late);
    target = &request;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kStopSignals) sigaddset(&action.sa_mask, number);
    // A signal that lands in a write to the terminal (a progress bar, blocked while the terminal
    // drains) must not fail it: a failed write leaves std::cerr silent for good, the message
    // that tells how the stop went included.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &action, &previous[i]);
}

InterruptGuard::~InterruptGuard() {
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
    target = nullptr;
    tooLate = false;
}

void InterruptGuard::pastStopping() {
    tooLate = true;
}

int InterruptGuard::stopSignal() const {
    return stoppedBy.load();
}

int InterruptGuard::exitStatus() const {
    const int number = stopSignal();
    return 128 + (number != 0 ? number : SIGINT);
}

}  // namespace corvel
