// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/mac.h"
#include "sim/network.h"

// Requests built byte by byte from the frame layouts, as the host sends them, and a network
// whose answers are collected instead of sent.
namespace corvel::sim::test {

inline const Mac kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
// The AV local device of the tests' networks, and the address every AV local device answers to.
inline const Mac kLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};
inline const Mac kLocalManagement{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01};

using Frame = std::vector<uint8_t>;

// Byte strings glued together: cat({0x88, 0xE1}, mac(kHost), text("abc"), zeros(4)).
inline Frame cat(std::initializer_list<Frame> parts) {
    Frame out;
    for (const Frame& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
inline Frame mac(const Mac& m) {
    return Frame(m.begin(), m.end());
}
inline Frame zeros(size_t n) {
    return Frame(n, 0);
}
inline Frame text(const std::string& s) {
    return Frame(s.begin(), s.end());
}
template <size_t N>
inline Frame key(const std::array<uint8_t, N>& k) {
    return Frame(k.begin(), k.end());
}
inline Frame padded(Frame f, size_t length) {
    if (f.size() < length) f.resize(length, 0);
    return f;
}

// An AV request: header, payload, zero-padded to 64 bytes as the host's encoder does.
inline Frame avRequest(const Mac& to, const Mac& from, uint16_t mmtype, const Frame& payload = {}) {
    return padded(cat({mac(to),
                       mac(from),
                       {0x88, 0xE1, 0x00, uint8_t(mmtype), uint8_t(mmtype >> 8), 0x00, 0xB0, 0x52},
                       payload}),
                  64);
}

// A HomePlug 1.0 request: header, then the bytes from offset 14, zero-padded to `length` (the
// host pads short frames to 60 on the wire).
inline Frame hp10Request(const Mac& to, const Mac& from, const Frame& body, size_t length = 60) {
    return padded(cat({mac(to), mac(from), {0x88, 0x7B}, body}), length);
}

struct Emitted {
    int port;
    Frame frame;
    uint32_t delayMs;
};

// A network under test: answers are collected, time is a number the test sets.
struct Harness {
    Network net;
    std::vector<Emitted> out;
    uint64_t nowMs = 1000;

    Harness() { reset(); }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    // An empty network again, its answers still collected here.
    void reset() {
        net = Network{};
        out.clear();
        net.setEmitter([this](int port, Frame frame, uint32_t delayMs) {
            out.push_back({port, std::move(frame), delayMs});
        });
        net.setTimeSource([this] { return nowMs; });
    }
    // Sends one frame from the host and returns what came back.
    std::vector<Emitted> exchange(int port, const Frame& frame) {
        out.clear();
        net.onHostFrame(port, frame);
        return std::exchange(out, {});
    }
};

inline Mac sourceOf(const Frame& f) {
    Mac m{};
    std::memcpy(m.data(), &f[6], 6);
    return m;
}
inline Mac destinationOf(const Frame& f) {
    Mac m{};
    std::memcpy(m.data(), &f[0], 6);
    return m;
}

inline DeviceConfig device(Family family, const Mac& m, const std::string& password) {
    DeviceConfig c;
    c.family = family;
    c.mac = m;
    c.password = password;
    return c;
}

}  // namespace corvel::sim::test
