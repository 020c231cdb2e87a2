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

namespace corvel {

namespace {
StreamNotifier& sessionNotifier() {
    static StreamNotifier notifier(std::cerr, false);
    return notifier;
}
}  // namespace

bool openSession(const std::string& dataDirOverride, CliContext& context) {
    installNotifier(&sessionNotifier());
    loadPreferences();
    loadVendorList();
    if (dataDirOverride.empty()) {
        prepareDataPaths();
        chooseDataDirectory();
    } else {
        if (::mkdir(dataDirOverride.c_str(), 0777) != 0 && errno != EEXIST) {
            context.fail(1, dataDirOverride + ": cannot create the data directory");
            return false;
        }
        setDataDirectory(dataDirOverride);
    }
    loadDatabase();
    installDeviceLog();
    viewHooks().refreshView = [](int) {
        mergeStationsIntoDevices(std::time(nullptr), &pendingAdd());
    };
    return true;
}

bool saveSession(CliContext& context) {
    if (saveDatabase()) return true;  // a failure has told the user why
    context.status = 1;
    return false;
}

}  // namespace corvel
