// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// How a simulated station's link with its local device behaves over time: the rates it reports
// in both directions, the counters that grow with its traffic, its tone map, how long it stays
// away after a reset, and when it leaves the wiring. Times count from the network's start
// (Network::elapsedMs).
namespace corvel::sim {

// A rate byte that moves with time. A list plays its values in turn, one per move, round and
// round. A walk starts at `start` and moves by at most `step` up or down, kept within
// [min, max]; the same seed always plays the same walk, whenever it is asked.
class RateSchedule {
public:
    static RateSchedule list(std::vector<uint8_t> values);
    static RateSchedule walk(uint8_t start, uint8_t min, uint8_t max, uint8_t step, uint64_t seed);

    // The value after `moves` moves (0: the first value, or the walk's start).
    uint8_t at(uint64_t moves) const;

private:
    std::vector<uint8_t> values_;  // a list; empty for a walk
    uint8_t start_ = 0, min_ = 0, max_ = 255, step_ = 0;
    uint64_t seed_ = 0;
    // Where the walk was last asked, so that time going on costs only the moves since.
    mutable uint64_t cachedMoves_ = 0;
    mutable uint8_t cachedValue_ = 0;
    mutable uint64_t cachedState_ = 0;
    mutable bool cached_ = false;
};

// A stretch of spectrum the device leaves unmodulated (for instance an amateur radio band).
struct Notch {
    uint32_t fromKHz = 0;
    uint32_t toKHz = 0;
};

// The modulation code (0 none .. 8 4096-QAM) of every carrier: `lowCode` at the lowest carrier
// rising or falling evenly to `highCode` at the highest (equal codes: a flat map), 0 inside the
// notches. Slot s of the line cycle is s codes lower (never below 1 outside a notch).
struct ToneMapShape {
    uint8_t lowCode = 7;
    uint8_t highCode = 7;
    std::vector<Notch> notches;
    uint8_t slots = 1;
};

// The most tone map intervals a link statistics confirmation has room for.
inline constexpr uint8_t kMaxToneMapSlots = 6;

// The 1155 carrier codes of one slot, lowest carrier first.
std::vector<uint8_t> toneMapCodes(const ToneMapShape& shape, uint8_t slot);

// The counters of one direction of a link after `ms` milliseconds of traffic: `mpdusPerSecond`
// frames, of which `errorPermille` per thousand collide and a quarter as many fail; three
// physical blocks a frame, `errorPermille` per thousand of them broken.
struct DirectionCounters {
    uint64_t mpdusAcked = 0;
    uint64_t mpdusCollided = 0;
    uint64_t mpdusFailed = 0;
    uint64_t pbsPassed = 0;
    uint64_t pbsFailed = 0;
    uint64_t turboBitErrorsPassed = 0;
    uint64_t turboBitErrorsFailed = 0;
};
DirectionCounters countersAfter(uint64_t ms, uint32_t mpdusPerSecond, uint16_t errorPermille);

struct LinkProfile {
    // The average PHY rate bytes of the AV network information entry: to the station (byte 13)
    // and from it (byte 14). Absent: the fixed LinkRates values.
    std::optional<RateSchedule> tx;
    std::optional<RateSchedule> rx;
    uint32_t everyMs = 1000;  // how long each scheduled value holds
    // Traffic from the local device to the station; the station sends half as many frames.
    uint32_t mpdusPerSecond = 100;
    uint16_t errorPermille = 10;
    ToneMapShape toneMap;
    // How long a device stays silent after confirming a reset.
    uint32_t resetSilenceMs = 5000;
    // Non-zero: the device leaves the wiring this long after the network starts, for good
    // unless returnAfterMs (later still) brings it back, restarted, to stay.
    uint32_t leaveAfterMs = 0;
    uint32_t returnAfterMs = 0;

    // State: the network time each direction's counters count from (the start, the last
    // clearing read, or the end of a restart). "Down" is from the local device to the station.
    uint64_t downFromMs = 0;
    uint64_t upFromMs = 0;
};

}  // namespace corvel::sim
