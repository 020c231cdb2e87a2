// SPDX-License-Identifier: MIT
#include "cli/session.h"

#include <sys/stat.h>

#include <cerrno>
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
    loadPreferences();
    loadVendorList();
    if (dataDirOverride.empty()) {
        prepareDataPaths();
        chooseDataDirectory();
    } else {
        if (::mkdir(dataDirOverride.c_str(), 0770) != 0 && errno != EEXIST) {
            context.fail(1, dataDirOverride + ": cannot create the data directory");
            return false;
        }
        setDataDirectory(dataDirOverride);
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
