// SPDX-License-Identifier: MIT
#include "cli/device_session.h"

#include <ctime>

#include "cli/session.h"
#include "scan/device_list.h"
#include "scan/station_texts.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "keys/derive.h"
#include "keys/rules.h"
#include "network/operation_hooks.h"
#include "scan/select_adapter.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"

namespace corvel {

DeviceSession::DeviceSession(CliContext& context, bool confirm) : context_(context) {
    context_.yes = confirm;
}

DeviceSession::~DeviceSession() {
    stopTimer();
    installScanTimer(nullptr);
    operationHooks() = OperationHooks{};
    viewHooks().refreshView = {};
}

bool DeviceSession::open(const std::string& dataDir) {
    if (!openSession(dataDir, context_)) return false;
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
    auto show = [this](std::string_view text) {
        if (!context_.quiet) context_.err << text << '\n';
    };
    if (add)
        operationHooks().addProgressTarget = show;
    else
        operationHooks().passwordProgressTarget = show;
}

bool DeviceSession::startPage() {
    requireCapture();
    const int32_t before = core.currentAdapter;
    bool found = rescan();
    // The local list shows the devices found, its first row selected: the page works on that
    // interface, wherever the first device was found. A full scan then reads that device's
    // family and network as the selected one's.
    if (found && selectAdapter(0) != before) found = rescan();
    refreshView(5);
    return found;
}

bool DeviceSession::prepareLocalDevice() {
    if (!startPage()) return false;
    runCycles(1);
    return true;
}

std::string noAdapterCause() {
    std::string cause;
    if (adapterCount == 0)
        cause = "no Ethernet interface to scan" +
                (captureError().empty() ? std::string() : " (" + captureError() + ")");
    else if (!captureError().empty())
        cause = "no powerline adapter answered (" + captureError() + ")";
    else
        cause = "no powerline adapter answered on " +
                (adapterCount != 1 ? "any of the " + std::to_string(adapterCount) + " interfaces"
                 : interfaceByIndex(0) != nullptr
                     ? std::string("the interface ") + interfaceByIndex(0)->name
                     : std::string("the one interface")) +
                "; check that one is cabled to this computer and powered";
    return cause;
}

bool DeviceSession::requireLocalDevice(const std::string& consequence) {
    if (prepareLocalDevice()) return true;
    // Said before the scan stops: stopping it closes the interfaces and forgets their names.
    const std::string cause = noAdapterCause();
    finish();
    context_.fail(1, cause + "; " + consequence);
    return false;
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

bool deviceNameAccepted(const std::string& name, CliContext& context) {
    if (!name.empty() && name.find_first_not_of(' ') == std::string::npos) {
        context.fail(1, "the device name holds only spaces; give 1 to " +
                            std::to_string(kDeviceNameMaxLength) + " characters that show");
        return false;
    }
    if (checkNewDeviceName(name, findDeviceByName(name) != 0)) return true;
    context.status = 1;
    return false;
}

std::string networkTypeText() {
    const StationTable& table = currentStationTable();
    return std::string(networkTypeText(textOf(table.networkName), table.localKind == kKindAv));
}

}  // namespace corvel
