// SPDX-License-Identifier: MIT
// A full scan and the station refresh of the scan cycle on the in-memory wire, every request
// answered by fuzzed frames: whatever comes, no station or device address that no device can
// have is stored, and every stored text can be shown and printed as JSON without a control
// character.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "cli/json_output.h"
#include "core/view_hooks.h"
#include "platform/text.h"
#include "scan/device_list.h"
#include "scan/scan.h"
#include "store/data_directory.h"
#include "tests/fuzz/fuzz_wire.h"
#include "tests/platform/terminal_text.h"

using namespace corvel;

namespace {

void checkPrintable() {
    nlohmann::ordered_json texts = nlohmann::ordered_json::array();
    for (const StationTable& table : core.stationTables) {
        texts.push_back(stringOf(table.networkName));
        for (const StationRecord& s : table.stations) {
            texts.push_back(stringOf(s.firmwareText));
            texts.push_back(stringOf(s.vendorText));
            texts.push_back(stringOf(s.productText));
            texts.push_back(stringOf(s.networkName));
        }
    }
    for (int i = 0; i < core.deviceCount; ++i) {
        texts.push_back(stringOf(core.devices[i].name));
        texts.push_back(stringOf(core.devices[i].networkName));
    }
    texts.push_back(stringOf(core.turboFirmwareText));
    texts.push_back(stringOf(core.turboVendorText));
    // As shown to a person, every text is valid UTF-8 without a control character; as JSON, the
    // line holds no control byte and parses (the parser throws, and so aborts the run, on a text
    // that is not UTF-8).
    for (const nlohmann::ordered_json& text : texts) {
        const std::string shown = displayText(text.get_ref<const std::string&>());
        if (test::terminalControlAt(shown) != std::string::npos || !test::isValidUtf8(shown))
            std::abort();
    }
    const std::string line = jsonLine(texts);
    if (test::terminalControlAt(line) != std::string::npos) std::abort();
    (void)nlohmann::ordered_json::parse(line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The scan saves the device list: into a scratch directory, never the working directory.
    static const bool scratch = [] {
        char name[] = "/tmp/corvel-scan-fuzz-XXXXXX";
        if (::mkdtemp(name) == nullptr) return false;
        setDataDirectory(name);
        return true;
    }();
    if (!scratch) return 0;
    fuzz::FuzzInput input(data, size);
    fuzz::FuzzedWire wire(input);
    viewHooks().refreshView = [](int) { mergeStationsIntoDevices(std::time_t(1700000000)); };
    rescan();
    for (int tick = 0; tick < 70 && !input.empty(); ++tick) onTimerTick();
    stopScan();
    viewHooks().refreshView = {};
    fuzz::checkStoredStations();
    checkPrintable();
    return 0;
}
