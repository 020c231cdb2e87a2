// SPDX-License-Identifier: MIT
#include "sim/link_profile.h"

#include <algorithm>

namespace corvel::sim {

namespace {

// HomePlug AV modulates 1155 carriers, 75 MHz / 3072 = 24.414 kHz apart; the tone map's first is
// OFDM carrier 74, at 1.807 MHz.
constexpr size_t kCarriers = 1155;
constexpr size_t kFirstOfdmCarrier = 74;
constexpr double kCarrierSpacingKHz = 75000.0 / 3072.0;

// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

RateSchedule RateSchedule::list(std::vector<uint8_t> values) {
    RateSchedule s;
    s.values_ = std::move(values);
    return s;
}

RateSchedule RateSchedule::walk(uint8_t start, uint8_t min, uint8_t max, uint8_t step,
                                uint64_t seed) {
    RateSchedule s;
    s.min_ = std::min(min, max);
    s.max_ = std::max(min, max);
    s.start_ = std::clamp(start, s.min_, s.max_);
    s.step_ = step;
    s.seed_ = seed;
    return s;
}

uint8_t RateSchedule::at(uint64_t moves) const {
    if (!values_.empty()) return values_[moves % values_.size()];
    if (!cached_ || moves < cachedMoves_) {
        cached_ = true;
        cachedMoves_ = 0;
        cachedValue_ = start_;
        cachedState_ = seed_;
    }
    int value = cachedValue_;
    for (; cachedMoves_ < moves; ++cachedMoves_) {
        const int move = int(nextRandom(cachedState_) % (2u * step_ + 1)) - step_;
        value = std::clamp(value + move, int(min_), int(max_));
    }
    cachedValue_ = uint8_t(value);
    return cachedValue_;
}

std::vector<uint8_t> toneMapCodes(const ToneMapShape& shape, uint8_t slot) {
    std::vector<uint8_t> codes(kCarriers);
    constexpr size_t last = kCarriers - 1;
    for (size_t i = 0; i < kCarriers; ++i) {
        const double kHz = double(kFirstOfdmCarrier + i) * kCarrierSpacingKHz;
        const bool notched =
            std::any_of(shape.notches.begin(), shape.notches.end(),
                        [kHz](const Notch& n) { return kHz >= n.fromKHz && kHz <= n.toKHz; });
        // The straight line from the low code to the high one, rounded to the nearest code.
        const int base = int((shape.lowCode * (last - i) + shape.highCode * i + last / 2) / last);
        if (notched || base == 0) continue;
        codes[i] = uint8_t(std::max(1, base - int(slot)));
    }
    return codes;
}

DirectionCounters countersAfter(uint64_t ms, uint32_t mpdusPerSecond, uint16_t errorPermille) {
    DirectionCounters c;
    c.mpdusAcked = ms * mpdusPerSecond / 1000;
    c.mpdusCollided = c.mpdusAcked * errorPermille / 1000;
    c.mpdusFailed = c.mpdusCollided / 4;
    c.pbsPassed = 3 * c.mpdusAcked;
    c.pbsFailed = c.pbsPassed * errorPermille / 1000;
    // A block that arrives intact needed a few corrections; a broken one many.
    c.turboBitErrorsPassed = 2 * c.pbsPassed;
    c.turboBitErrorsFailed = 64 * c.pbsFailed;
    return c;
}

}  // namespace corvel::sim
