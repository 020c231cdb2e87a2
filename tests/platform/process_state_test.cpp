// SPDX-License-Identifier: MIT
#include "platform/process_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "av/av_state.h"
#include "avcodec/transfer.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "hp10codec/device_log_hook.h"
#include "network/key_state.h"
#include "network/operation_hooks.h"
#include "network/scan_now.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "scan/device_list.h"
#include "scan/scan.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/list_layout.h"
#include "store/preferences.h"
#include "store/vendor_list.h"
#include "transport/frame_io.h"
#include "transport/frame_trace.h"
#include "transport/interface_choice.h"
#include "transport/interface_table.h"
#include "transport/memory_wire.h"

// One reset for the state of every layer: each piece of state a layer keeps is changed as an
// operation or a front end would change it, and resetProcessState must put every one back.
// A layer whose state is not registered fails here by name.
namespace corvel {
namespace {

struct StateCase {
    std::string name;
    std::function<void()> change;
    std::function<bool()> asAtStart;
};

bool traced = false;

// Whether a message that only informs reaches a command line's output.
bool informationPrinted() {
    std::ostringstream out;
    StreamNotifier(out, false).notify("t", "x", Icon::Information, Buttons::Ok);
    return !out.str().empty();
}

std::vector<StateCase> stateCases() {
    return {
        {"core tables",
         [] {
             core.deviceCount = 3;
             core.dropResetValue = 9;
         },
         [] { return core.deviceCount == 0 && core.dropResetValue == kDefaultDropReset; }},
        {"view hooks", [] { viewHooks().refreshView = [](int) {}; },
         [] { return !viewHooks().refreshView; }},
        {"interface table",
         [] {
             adapterCount = 2;
             interfaceEntries[1].interfaceMac[5] = 7;
         },
         [] { return adapterCount == 0 && interfaceEntries[1].interfaceMac[5] == 0; }},
        {"open captures",
         [] {
             static MemoryWire wire;
             installCaptureBackend(&wire);
             wire.addInterface("eth0", Mac{0x02, 0, 0, 0, 0, 1});
             reopenInterfaces();
         },
         [] { return interfaceEntries[0].captureHandle < 0 && captureError().empty(); }},
        {"interface choice", [] { setInterfaceChoice({"eth9"}); },
         [] { return interfaceChoice().empty(); }},
        {"frame trace",
         [] {
             setFrameTrace(
                 [](FrameDirection, const std::string&, const uint8_t*, size_t) { traced = true; });
         },
         [] {
             traced = false;
             const uint8_t frame[1] = {};
             traceFrame(FrameDirection::Sent, 0, frame, 1);
             return !traced;
         }},
        {"information messages", [] { StreamNotifier::showInformation(false); },
         [] { return informationPrinted(); }},
        {"device log writer",
         [] { deviceLogWriter() = [](DeviceLogKind, std::span<const uint8_t>) {}; },
         [] { return !deviceLogWriter(); }},
        {"AV transfer", [] { avOperation().kind = kTransferRead; },
         [] { return avOperation().kind == 0; }},
        {"AV exchanges", [] { copyText(avExchangeState().localFirmwareText, "AV-FW"); },
         [] { return avExchangeState().localFirmwareText[0] == 0; }},
        {"preferences", [] { preferences().scanTicks = 99; },
         [] { return preferences().scanTicks == defaultPreferences().scanTicks; }},
        {"list layout",
         [] {
             listLayout().sortColumn = 4;
             listLayoutHooks().applyToList = [](const ListLayout&) {};
         },
         [] {
             return listLayout().sortColumn == defaultListLayout().sortColumn &&
                    !listLayoutHooks().applyToList;
         }},
        {"vendor list",
         [] {
             setVendorList({VendorEntry{{0x00, 0x11, 0x22}, "Acme"}});
         },
         [] { return vendorList().empty(); }},
        {"last save",
         [] {
             RecordingNotifier quiet;
             ScopedNotifier scope(quiet);
             setDataDirectory("/nonexistent/corvel-process-state");
             appendDevice(Mac{0x00, 0xB0, 0x52, 0, 0, 1}.data(), "Device 1");
             saveDatabase();
             setDataDirectory("");
         },
         [] { return !lastSave().failed; }},
        {"scan cycle",
         [] {
             static ClockScanTimer timer;
             installScanTimer(&timer);
             startTimer();
             installScanTimer(nullptr);
         },
         [] { return !scanState().timerRunning; }},
        {"pending add", [] { pendingAdd().active = true; }, [] { return !pendingAdd().active; }},
        {"membership keys", [] { membershipKeyState().savedLocalKeyValid = true; },
         [] { return !membershipKeyState().savedLocalKeyValid; }},
        {"missing-adapter message", [] { quietMissingAdapter(); },
         [] { return !missingAdapterQuiet(); }},
        {"operation hooks", [] { operationHooks().cursor = [](bool) {}; },
         [] { return !operationHooks().cursor; }},
    };
}

TEST(ProcessState, OneResetPutsBackTheStateOfEveryLayer) {
    resetProcessState();
    const std::vector<StateCase> cases = stateCases();
    for (const StateCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.asAtStart()) << "not as at start before the change";
        c.change();
        EXPECT_FALSE(c.asAtStart()) << "the change changed nothing";
    }
    resetProcessState();
    for (const StateCase& c : cases) EXPECT_TRUE(c.asAtStart()) << c.name << " was not reset";
    installCaptureBackend(nullptr);
}

}  // namespace
}  // namespace corvel
