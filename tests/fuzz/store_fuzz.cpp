// SPDX-License-Identifier: MIT
// The loaders of the files that persist or adapt the product: the device database, the
// preferences and the vendor list, each read from a file holding the fuzzer's bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/tables.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"
#include "store/product_files.h"
#include "store/vendor_list.h"
#include "tests/fuzz/fuzz_wire.h"

using namespace corvel;

namespace {

std::string scratchDirectory() {
    static const std::string directory = [] {
        char name[] = "/tmp/corvel-store-fuzz-XXXXXX";
        if (::mkdtemp(name) == nullptr) std::abort();
        return std::string(name);
    }();
    return directory;
}

void writeFile(const std::string& name, const uint8_t* data, size_t size) {
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string directory = scratchDirectory();
    fuzz::QuietNotifier quiet;
    installNotifier(&quiet);
    MemoryWire noInterfaces;
    installCaptureBackend(&noInterfaces);
    // The product files are read from the scratch directory (the working directory, looked at
    // first, holds none of them where the fuzzer runs).
    setProductDataFolders({directory});
    switch (data[0] % 3) {
        case 0: {
            resetProcessState();
            setDataDirectory(directory);
            writeFile(databasePath(), data + 1, size - 1);
            loadDatabase(LoadMode::ReadOnly);
            if (core.deviceCount < 0 || core.deviceCount > kMaxDevices) std::abort();
            if (core.currentAdapter < 0 || core.currentAdapter >= kMaxInterfaces) std::abort();
            break;
        }
        case 1:
            writeFile(directory + "/" + kPreferencesFileName, data + 1, size - 1);
            loadPreferences();
            // Whatever the file says, no scan phase waits 10 s, and the database has a name.
            if (core.ticksPerPhase < 1 || core.ticksPerPhase > kMaxTicksPerPhase) std::abort();
            if (databaseFileName(textOf(preferences().productTitle)) == ".data") std::abort();
            break;
        case 2: {
            writeFile(directory + "/" + kVendorListFileName, data + 1, size - 1);
            loadVendorList();
            const uint8_t mac[6] = {data[0], size > 1 ? data[1] : uint8_t(0), 0x52, 0, 0, 1};
            vendorName(mac);
            break;
        }
    }
    installCaptureBackend(nullptr);
    installNotifier(nullptr);
    return 0;
}
