// SPDX-License-Identifier: MIT
#include "ui/operation_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <condition_variable>
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
    QEventLoop* loop = nullptr;  // the GUI thread's loop while it waits; lives on the GUI thread
};

HandOff* running = nullptr;  // set and cleared on the GUI thread only

bool onGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// Makes the GUI thread look at the hand-off: a queued call of the waiting loop's quit, which Qt
// posts to the GUI thread's event queue. It carries no data; the state it announces is read
// under the mutex. Invoked by name, so that the event is made and run inside Qt alone. A call
// that arrives while the GUI thread is inside a served call's own event loop (a message box)
// quits nothing, which loses nothing: serve reads the state again when the call returns.
void wake(QEventLoop* loop) {
    QMetaObject::invokeMethod(loop, "quit", Qt::QueuedConnection);
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
    QEventLoop loop;
    HandOff handOff;
    handOff.loop = &loop;
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
        wake(handOff.loop);
    });
    // Only paint, window-system and accessibility events reach the widgets: user input goes to
    // a disabled window, and the scan timer holds its ticks while operationRunning().
    while (!serve(handOff)) loop.exec();
    // A wake-up still queued for the loop is dropped with it.
    worker.join();

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
    wake(handOff.loop);
    handOff.changed.wait(lock, [&] { return pending.done; });
    if (pending.failure) std::rethrow_exception(pending.failure);
}

bool operationRunning() {
    return running != nullptr;
}

}  // namespace corvel::ui
