// SPDX-License-Identifier: MIT
// The link-health decoders: each fuzzed frame is read as a link statistics, transmit and
// receive tone map and reset confirmation. A frame either decodes into a record that keeps the
// message's limits or is refused with a reason; it is never read past its end.
#include <cstdint>
#include <cstdlib>

#include "avcodec/link_health.h"
#include "tests/fuzz/fuzz_input.h"

using namespace corvel;

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

void checkOutcome(const DecodeOutcome& outcome) {
    check(outcome.error == 0 ? outcome.reason.empty() : !outcome.reason.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    for (int frames = 0; frames < 16 && !input.empty(); ++frames) {
        const std::vector<uint8_t> frame = input.frame();

        LinkStatsConfirm stats;
        const DecodeOutcome statsOutcome = decodeLinkStatsConfirm(frame, stats);
        checkOutcome(statsOutcome);
        if (statsOutcome && stats.rx) check(stats.rx->intervals.size() <= 255);
        if (statsOutcome && stats.status != 0) check(!stats.tx && !stats.rx);

        for (ToneMapDirection direction : {ToneMapDirection::Tx, ToneMapDirection::Rx}) {
            ToneMapConfirm map;
            const DecodeOutcome mapOutcome = decodeToneMapConfirm(frame, direction, map);
            checkOutcome(mapOutcome);
            if (!mapOutcome || map.status != 0) continue;
            check(map.modulation.size() == map.carrierCount);
            check(map.carrierCount <= kAvCarrierCount);
            for (uint8_t code : map.modulation) check(modulationBits(code) >= 0);
            check(bitsPerSymbol(map) <= 12 * kAvCarrierCount);
        }

        ResetDeviceConfirm reset;
        checkOutcome(decodeResetDeviceConfirm(frame, reset));
    }
    return 0;
}
