// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The fuzzer's bytes read as a small script: single bytes that choose, and frames that follow
// each other as a 16-bit big-endian length and that many bytes (cut at the end of the input).
namespace corvel::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : bytes_(data, size) {}

    bool empty() const { return at_ >= bytes_.size(); }
    uint8_t byte() { return empty() ? 0 : bytes_[at_++]; }
    std::vector<uint8_t> frame() {
        const size_t length = (size_t(byte()) << 8) | byte();
        const size_t take = std::min(length, bytes_.size() - at_);
        std::vector<uint8_t> out(bytes_.begin() + at_, bytes_.begin() + at_ + take);
        at_ += take;
        return out;
    }
    std::span<const uint8_t> rest() {
        const auto out = bytes_.subspan(at_);
        at_ = bytes_.size();
        return out;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

}  // namespace corvel::fuzz
