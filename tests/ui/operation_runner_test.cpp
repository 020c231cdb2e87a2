// SPDX-License-Identifier: MIT
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/process_state.h"
#include "tests/ui/ui_sim_fixture.h"
#include "ui/operation_runner.h"
#include "ui/qt_scan_timer.h"

using namespace corvel;
using namespace corvel::test;
using corvel::ui::operationRunning;
using corvel::ui::runOnGuiThread;
using corvel::ui::runOperation;

// Operations on a worker while the window stays answering: which thread runs what, the window
// disabled meanwhile, the scan timer held back, failures carried back, and the tables handed
// between the threads (this binary also runs under ThreadSanitizer).
class OperationRunnerTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

private Q_SLOTS:
    void runsOnAWorkerWithTheWindowDisabled() {
        QWidget window;
        QPushButton button(&window);
        QThread* worker = nullptr;
        bool enabledDuring = true;
        bool runningDuring = false;
        runOperation(&window, [&] {
            worker = QThread::currentThread();
            runOnGuiThread([&] {
                enabledDuring = button.isEnabled();
                runningDuring = operationRunning();
            });
        });
        QVERIFY(worker != QThread::currentThread());
        QVERIFY(!enabledDuring);
        QVERIFY(runningDuring);
        QVERIFY(window.isEnabled());
        QVERIFY(!operationRunning());
    }

    // A window that was disabled before stays disabled after.
    void keepsADisabledWindowDisabled() {
        QWidget window;
        window.setEnabled(false);
        runOperation(&window, [] {});
        QVERIFY(!window.isEnabled());
    }

    void callsFromTheWorkerRunOnTheGuiThread() {
        QThread* gui = QThread::currentThread();
        std::vector<QThread*> seen;
        runOperation(nullptr, [&] {
            for (int i = 0; i < 3; ++i) runOnGuiThread([&] { seen.push_back(QThread::currentThread()); });
        });
        QCOMPARE(seen.size(), size_t(3));
        for (QThread* t : seen) QCOMPARE(t, gui);
    }

    // A failure of the operation, or of a call it handed over, comes back to its caller.
    void failuresComeBack() {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 runOperation(nullptr, [] { throw std::runtime_error("worker"); }));
        bool caught = false;
        runOperation(nullptr, [&] {
            try {
                runOnGuiThread([] { throw std::runtime_error("gui"); });
            } catch (const std::runtime_error&) {
                caught = true;
            }
        });
        QVERIFY(caught);
        QVERIFY(!operationRunning());
    }

    // A thread the operation starts may hand calls over at the same time as the worker: each
    // caller gets its own call run and its own outcome back.
    void twoThreadsHandOverAtOnce() {
        QThread* gui = QThread::currentThread();
        int ran = 0;
        std::atomic<int> failuresSeen = 0;
        auto ask = [&](bool failing) {
            for (int i = 0; i < 50; ++i) {
                try {
                    runOnGuiThread([&] {
                        QCOMPARE(QThread::currentThread(), gui);
                        ++ran;
                        if (failing) throw std::runtime_error("refused");
                    });
                } catch (const std::runtime_error&) {
                    ++failuresSeen;
                }
            }
        };
        runOperation(nullptr, [&] {
            std::thread helper(ask, true);
            ask(false);
            helper.join();
        });
        QCOMPARE(ran, 100);
        QCOMPARE(failuresSeen.load(), 50);
    }

    // The GUI thread keeps answering while the worker waits: its timers and events are served.
    void theWindowKeepsAnsweringDuringALongWait() {
        std::atomic<bool> answered = false;
        QTimer::singleShot(10, [&] { answered = true; });
        runOperation(nullptr, [&] {
            for (int i = 0; i < 2000 && !answered; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        QVERIFY(answered);
    }

    // The scan timer does not tick while the worker owns the tables, and the cycle may start and
    // stop it from the worker.
    void scanTimerHeldWhileAnOperationRuns() {
        resetProcessState();
        setDataDirectory(scratch.path().toStdString());
        ui::QtScanTimer timer;
        installScanTimer(&timer);
        core.ticksPerPhase = 1;
        runOperation(nullptr, [&] {
            corvel::startTimer();
            const int before = core.phaseTick;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            runOnGuiThread([&] { QCOMPARE(core.phaseTick, before); });
        });
        QVERIFY(timer.active());
        QTRY_VERIFY(core.phaseTick > 0 || core.scanPhase > 1);
        runOperation(nullptr, [] { corvel::stopTimer(); });
        QVERIFY(!timer.active());
        installScanTimer(nullptr);
    }

    // The scan of the simulated network on the worker, its view refresh on the GUI thread:
    // the tables pass from one thread to the other and back.
    void scanOnTheWorkerRefreshOnTheGui() {
        UiSim sim(scratch.path());
        QThread* refreshedOn = nullptr;
        int refreshes = 0;
        viewHooks().refreshView = [&](int) {
            runOnGuiThread([&] {
                refreshedOn = QThread::currentThread();
                refreshes += currentStationTable().stationCount >= 0;
            });
        };
        bool found = false;
        runOperation(nullptr, [&] {
            found = rescan();
            sim.timer.runFor(3000);
        });
        QVERIFY(found);
        QVERIFY(refreshes > 0);
        QCOMPARE(refreshedOn, QThread::currentThread());
        QVERIFY(currentStationTable().stationCount == 2);
    }
};

QTEST_MAIN(OperationRunnerTest)
#include "operation_runner_test.moc"
