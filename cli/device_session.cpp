// SPDX-License-Identifier: MIT
#include "cli/device_session.h"

#include <ctime>

#include "cli/session.h"
#include "scan/device_list.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "keys/derive.h"
#include "network/operation_hooks.h"
#include "platform/mac.h"
#include "platform/text.h"

namespace corvel {

DeviceSession::DeviceSession(CliContext& context, bool confirm)
    : context_(context), notifier_(context.err, confirm) {}

DeviceSession::~DeviceSession() {
    stopTimer();
    installScanTimer(nullptr);
    operationHooks() = OperationHooks{};
    viewHooks().refreshView = {};
    installNotifier(nullptr);
}

bool DeviceSession::open(const std::string& dataDir) {
    if (!openSession(dataDir, context_)) return false;
    installNotifier(&notifier_);
    installScanTimer(&timer_);
    viewHooks().refreshView = [this](int phase) {
        const MergeOutcome merged = mergeStationsIntoDevices(std::time(nullptr), &pendingAdd());
        if (merged.pendingTaken) adopted_ = true;
        if (phase == kFullScanPhase) ++fullScans_;
        if (core.localIsAv) addProgress(1);
    };
    return true;
}

void DeviceSession::showProgress(bool add) {
    auto show = [this](std::string_view text) { context_.err << text << '\n'; };
    if (add)
        operationHooks().addProgressTarget = show;
    else
        operationHooks().passwordProgressTarget = show;
}

bool DeviceSession::startPage() {
    requireCapture();
    const bool found = rescan();
    refreshView(5);
    return found;
}

bool DeviceSession::prepareLocalDevice() {
    if (!startPage()) return false;
    runCycles(1);
    return true;
}

void DeviceSession::runCycles(int cycles, const std::function<bool()>& done) {
    const int target = fullScans_ + cycles;
    if (!timer_.running()) startTimer();
    while (fullScans_ < target && timer_.running() && !(done && done())) {
        // The user asked for these scans: with autoscan off they are asked for one by one.
        if (core.scanPaused) core.scanNowRequested = 1;
        timer_.runFor(timer_.periodMs());
    }
}

bool DeviceSession::finish(WhenEmpty whenEmpty) {
    stopScan();
    return saveSession(context_, whenEmpty);
}

int listedDevice(const std::string& macText, CliContext& context) {
    const Mac mac = parseMacArgument(macText).value_or(Mac{});
    if (const int k = findDeviceByMac(mac.data()); k != 0) return k;
    context.fail(1, formatMac(mac) + " is not in the device list (corvel devices lists it)");
    return 0;
}

std::string describeDevice(int record) {
    const DeviceRecord& device = core.devices[record - 1];
    return displayText(textOf(device.name)) + " (" + formatMac(device.mac) + ")";
}

std::string networkTypeText() {
    const StationTable& table = currentStationTable();
    const std::string_view name = textOf(table.networkName);
    const bool av = table.localKind == kKindAv;
    return name == (av ? kPublicAvName : kPublicHp10Name) ? "Public" : "Private";
}

}  // namespace corvel
