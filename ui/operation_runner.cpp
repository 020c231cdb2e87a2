// SPDX-License-Identifier: MIT
#include "ui/operation_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace corvel::ui {
namespace {

// What the worker hands to the GUI thread, under `mutex`.
struct HandOff {
    std::mutex mutex;
    std::condition_variable changed;
    const std::function<void()>* call = nullptr;  // a call waiting for the GUI thread
    std::exception_ptr callFailure;
    bool workerDone = false;
    QEventLoop* loop = nullptr;  // GUI thread only
};

HandOff* running = nullptr;  // set and cleared on the GUI thread only

bool onGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// Posted to the GUI thread to make it look at the hand-off: the posted event carries no data,
// so nothing is shared through Qt's own queue.
void wake(QEventLoop* loop) {
    QMetaObject::invokeMethod(loop, [loop] { loop->exit(0); }, Qt::QueuedConnection);
}

// GUI thread: runs a waiting call, if any. True once the worker has ended.
bool serve(HandOff& handOff) {
    std::unique_lock lock(handOff.mutex);
    if (handOff.call != nullptr) {
        const std::function<void()>* call = handOff.call;
        lock.unlock();
        std::exception_ptr failure;
        try {
            (*call)();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        handOff.call = nullptr;
        handOff.callFailure = failure;
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
    QEventLoop loop;
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
        wake(&loop);
    });
    // Only paint, window-system and accessibility events reach the widgets: user input goes to
    // a disabled window, and the scan timer holds its ticks while operationRunning().
    while (!serve(handOff)) loop.exec();
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
    std::unique_lock lock(handOff.mutex);
    handOff.call = &call;
    wake(handOff.loop);
    handOff.changed.wait(lock, [&] { return handOff.call == nullptr; });
    if (std::exception_ptr failure = std::exchange(handOff.callFailure, nullptr))
        std::rethrow_exception(failure);
}

bool operationRunning() {
    return running != nullptr;
}

}  // namespace corvel::ui
