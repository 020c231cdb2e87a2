// SPDX-License-Identifier: MIT
#include "network/operation_stop.h"

#include "platform/clock.h"

namespace corvel {

namespace {

CancelRequest* installed = nullptr;
int puttingBack = 0;
StopReport report;

}  // namespace

void installStopRequest(CancelRequest* request) {
    installed = request;
}

CancelRequest* stopRequest() {
    return installed;
}

bool stopRequested() {
    return installed != nullptr && installed->cancelRequested();
}

OperationStopScope::OperationStopScope(CancelRequest& request) {
    report = StopReport{};
    puttingBack = 0;
    installStopRequest(&request);
}

OperationStopScope::~OperationStopScope() {
    installStopRequest(nullptr);
    report = StopReport{};
}

StopReport& lastStop() {
    return report;
}

bool operationStopped() {
    return installed != nullptr && report.stopped;
}

void stopPoint() {
    if (puttingBack == 0 && stopRequested()) throw OperationStopped{};
}

void pauseOrStop(uint32_t ms) {
    Clock& clock = systemClock();
    const uint64_t end = clock.tickCount() + ms;
    stopPoint();
    while (clock.tickCount() < end) {
        clock.sleepMs(1);
        stopPoint();
    }
}

PuttingBack::PuttingBack() {
    ++puttingBack;
}

PuttingBack::~PuttingBack() {
    --puttingBack;
}

}  // namespace corvel
