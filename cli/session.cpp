// SPDX-License-Identifier: MIT
#include "cli/session.h"

#include <ctime>
#include <iostream>

#include "scan/device_list.h"
#include "scan/logs.h"
#include "core/view_hooks.h"
#include "platform/notifier.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"
#include "store/vendor_list.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {
StreamNotifier& sessionNotifier() {
    static StreamNotifier notifier(std::cerr, false);
    return notifier;
}
}  // namespace

bool openSession(const std::string& dataDirOverride, CliContext& context, LoadMode mode) {
    installNotifier(&sessionNotifier());
    // First of all: a refused directory is refused before any file is read or written.
    if (!dataDirOverride.empty()) {
        std::string error;
        if (useDataDirectory(dataDirOverride, error) != DirectoryUse::Used) {
            context.fail(1, error);
            return false;
        }
    }
    loadPreferences();
    loadVendorList();
    if (dataDirOverride.empty()) {
        prepareDataPaths();
        chooseDataDirectory();
    }
    loadDatabase(mode);
    installDeviceLog();
    viewHooks().refreshView = [](int) {
        mergeStationsIntoDevices(std::time(nullptr), &pendingAdd());
    };
    return true;
}

bool saveSession(CliContext& context, WhenEmpty whenEmpty) {
    saveDatabase(nullptr, whenEmpty);
    if (!lastSave().failed) return true;
    context.fail(1, "the device list was not saved: " + lastSave().reason);
    return false;
}

void requireCapture() {
    reopenInterfaces();
    refuseUnpermittedCapture();
}

void refuseUnpermittedCapture() {
    if (!captureNotPermitted()) return;
    throw CaptureNotPermitted(
        "capture was not permitted (" + captureError() +
        "). Run corvel as root, or as a member of group corvel (adduser USER corvel, then log "
        "in again); members capture through the helper corvel-capture installed beside corvel, "
        "which must carry the capabilities (setcap cap_net_raw,cap_net_admin=ep on it).");
}

}  // namespace corvel
