// SPDX-License-Identifier: MIT
#include "monitor/stop_signal.h"

namespace corvel {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void noteStopSignal(int number) {
    stopSignal = number;
}

}  // namespace

StopSignals::StopSignals() {
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on: every wait of the scan is bounded and short anyway.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previousTerm_);
    ::sigaction(SIGINT, &action, &previousInt_);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    ::sigaction(SIGINT, &previousInt_, nullptr);
}

bool StopSignals::requested() {
    return stopSignal != 0;
}

int StopSignals::signal() {
    return stopSignal;
}

}  // namespace corvel
