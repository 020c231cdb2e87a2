// SPDX-License-Identifier: MIT
// The AV local-device queries against hostile answers: the version texts and the walk of the
// network-information confirmation that fills the station table.
#include <cstdint>

#include "av/local_device.h"
#include "tests/fuzz/fuzz_wire.h"

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    fuzz::FuzzedWire wire(input);
    core.localIsAv = 1;
    if (probeLocalAv()) readLocalVersion();
    readNetworkStations(Mac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x20});
    fuzz::checkStoredStations();
    return 0;
}
