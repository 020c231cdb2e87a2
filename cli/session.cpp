// SPDX-License-Identifier: MIT
#include "cli/session.h"

#include <sys/stat.h>

#include <ctime>

#include "scan/device_list.h"
#include "scan/logs.h"
#include "core/view_hooks.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"
#include "store/vendor_list.h"
#include "transport/frame_io.h"

namespace corvel {

bool openSession(const std::string& dataDirOverride, CliContext& context, LoadMode mode,
                 DatabaseLoad* load) {
    // First of all: a refused directory is refused before any file is read or written.
    if (!dataDirOverride.empty()) {
        struct stat info {};
        if (::stat(dataDirOverride.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
            context.fail(1, "--data-dir " + dataDirOverride + " is not a directory");
            return false;
        }
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
    const DatabaseLoad loaded = loadDatabase(mode);
    if (load != nullptr) *load = loaded;
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
