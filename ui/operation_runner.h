// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

class QWidget;

// Long operations (a set-key attempt, a password check, an add that waits 30 s and more) run on
// a worker thread so that the window stays painted and answers the window system and the
// accessibility bus while they wait.
//
// The hand-off: the core tables, the clock and the capture handles belong to exactly one thread
// at a time. From the start of runOperation until the worker ends they belong to the worker; the
// GUI thread meanwhile only paints and answers the window system, with the given widget disabled
// (no user input) and the scan timer's ticks held back. When the worker needs the GUI thread (a
// message box, a view refresh, the scan timer started or stopped) it calls runOnGuiThread, which
// blocks the worker until the GUI thread has run the call: during that call the GUI thread owns
// the tables. Every hand-off goes through one std::mutex and condition variable, so the threads'
// accesses are ordered for ThreadSanitizer too; the GUI thread, waiting in its event loop, is
// woken to look at it by a queued call posted to that loop.
namespace corvel::ui {

// Runs `operation` on a worker and returns when it has ended, processing the GUI thread's events
// meanwhile. `disable` (the property sheet) is disabled for the duration. An exception thrown by
// the operation is thrown again here. Must be called on the GUI thread; while an operation runs,
// a second one runs directly on the thread that asks (the worker).
void runOperation(QWidget* disable, const std::function<void()>& operation);

// Runs `call` on the GUI thread: directly when called there, else handed to the GUI thread of
// the running operation while the caller waits. A thread the operation starts may call it too,
// and must have ended before the operation does: the hand-off lasts only as long as the worker.
void runOnGuiThread(const std::function<void()>& call);

// Whether an operation's worker currently owns the tables (GUI thread: no table access, no scan
// tick).
bool operationRunning();

}  // namespace corvel::ui
