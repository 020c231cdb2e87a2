// SPDX-License-Identifier: MIT
#include "ui/operation_runner.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace corvel::ui {
namespace {

// One call waiting for the GUI thread, on the stack of the thread that asks.
struct PendingCall {
    const std::function<void()>& call;
    std::exception_ptr failure;
    bool done = false;
};

// What the worker hands to the GUI thread, under `mutex`.
struct HandOff {
    std::mutex mutex;
    std::condition_variable changed;
    PendingCall* pending = nullptr;
    bool workerDone = false;
    int wakeFd = -1;  // eventfd the GUI thread watches
};

HandOff* running = nullptr;  // set and cleared on the GUI thread only

bool onGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// Makes the GUI thread look at the hand-off. The wake-up is a write to an eventfd that the GUI
// thread's event loop watches: it carries no data and no Qt object crosses the threads.
void wake(int fd) {
    const uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void drain(int fd) {
    uint64_t count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

// GUI thread: runs a waiting call, if any. True once the worker has ended.
bool serve(HandOff& handOff) {
    std::unique_lock lock(handOff.mutex);
    if (handOff.pending != nullptr) {
        PendingCall& pending = *handOff.pending;
        lock.unlock();
        std::exception_ptr failure;
        try {
            pending.call();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        pending.failure = failure;
        pending.done = true;
        handOff.pending = nullptr;
        handOff.changed.notify_all();
    }
    return handOff.workerDone;
}

}  // namespace

void runOperation(QWidget* disable, const std::function<void()>& operation) {
    if (!onGuiThread() || running != nullptr) {
        operation();
        return;
    }
    HandOff handOff;
    handOff.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (handOff.wakeFd < 0) {  // no way to wait answering: the operation blocks the window
        operation();
        return;
    }
    QEventLoop loop;
    QSocketNotifier woken(handOff.wakeFd, QSocketNotifier::Read);
    QObject::connect(&woken, &QSocketNotifier::activated, &loop, [&] {
        drain(handOff.wakeFd);
        loop.exit(0);
    });
    QPointer<QWidget> disabled = disable;
    const bool wasEnabled = disable != nullptr && disable->isEnabled();
    if (disable != nullptr) disable->setEnabled(false);
    running = &handOff;

    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            operation();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(handOff.mutex);
        handOff.workerDone = true;
        wake(handOff.wakeFd);
    });
    // Only paint, window-system and accessibility events reach the widgets: user input goes to
    // a disabled window, and the scan timer holds its ticks while operationRunning().
    while (!serve(handOff)) loop.exec();
    worker.join();
    woken.setEnabled(false);
    ::close(handOff.wakeFd);

    running = nullptr;
    if (disabled != nullptr) disabled->setEnabled(wasEnabled);
    if (failure) std::rethrow_exception(failure);
}

void runOnGuiThread(const std::function<void()>& call) {
    if (onGuiThread() || running == nullptr) {
        call();
        return;
    }
    HandOff& handOff = *running;
    PendingCall pending{.call = call, .failure = nullptr, .done = false};
    std::unique_lock lock(handOff.mutex);
    // A thread the operation started may ask at the same time as the worker: one call at a time.
    handOff.changed.wait(lock, [&] { return handOff.pending == nullptr; });
    handOff.pending = &pending;
    wake(handOff.wakeFd);
    handOff.changed.wait(lock, [&] { return pending.done; });
    if (pending.failure) std::rethrow_exception(pending.failure);
}

bool operationRunning() {
    return running != nullptr;
}

}  // namespace corvel::ui
