// SPDX-License-Identifier: MIT
// The HomePlug 1.0 reply drain: unasked frames of any shape, then the answers to the local
// poll, with the station table checked afterwards.
#include <cstdint>

#include "hp10/replies.h"
#include "scan/full_scan.h"
#include "tests/fuzz/fuzz_wire.h"

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    fuzz::FuzzedWire wire(input);
    core.localIsTurbo = input.byte() & 1;
    wire.deliverUnasked(input.byte() % 16);
    char text[256] = {};
    processHp10Replies(text);
    pollLocalHp10();
    processHp10Replies();
    fuzz::checkStoredStations();
    return 0;
}
