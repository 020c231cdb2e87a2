// SPDX-License-Identifier: MIT
#include "network/scan_now.h"

#include <exception>

#include "scan/scan.h"
#include "core/tables.h"
#include "network/operation_hooks.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {
bool quiet = false;
}  // namespace

bool scanNow() {
    try {
        core.scanNowRequested = 1;
        const bool found = rescan();
        if (!found && !quiet) {
            notifier().show({MessageId::AdapterNotDetected, "HomePlug Adapter NOT DETECTED",
                             "The HomePlug Adapter was not detected.\nPlease check your "
                             "computer cables.",
                             Icon::Error, Buttons::Ok});
            closeAllInterfaces();
        }
        if (operationHooks().localListRebuilt) operationHooks().localListRebuilt(found);
        clearStations();
        return found;
    } catch (const std::exception&) {
        notifier().show({MessageId::UnexpectedFailure, "SCAN NETWORK", "Unknown Error occurred.",
                         Icon::None, Buttons::Ok, {"the scan"}});
        return false;
    }
}

void quietMissingAdapter() {
    quiet = true;
}

bool missingAdapterQuiet() {
    return quiet;
}

void resetScanNow() {
    quiet = false;
}

namespace {
const RegisteredReset scanNowReset{resetScanNow};
}  // namespace

}  // namespace corvel
