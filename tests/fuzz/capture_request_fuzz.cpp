// SPDX-License-Identifier: MIT
// corvel-capture's request parser and service, which stand between an unprivileged caller and
// capture capabilities: the fuzzer's bytes are a caller's requests, each a 16-bit length and
// its bytes, and the frames the wire hands back. Whatever comes, every request gets one
// well-formed reply to its id, nothing but a powerline frame reaches the wire, in the name of
// the interface it goes out on (or, HomePlug 1.0 frames only, of a unicast device address the
// captures learned), and nothing but a powerline frame is relayed back.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <vector>

#include "capture/capture_service.h"
#include "tests/fuzz/fuzz_input.h"
#include "transport/capture_protocol.h"
#include "transport/memory_wire.h"

using namespace corvel;

namespace {

// A wire whose captures hand out whatever the input says, unfiltered.
class RawWire : public MemoryWire {
public:
    std::deque<std::vector<uint8_t>> raw;
    PollResult takeRaw(int, std::vector<uint8_t>& frame) override {
        if (raw.empty()) return PollResult::None;
        frame = std::move(raw.front());
        raw.pop_front();
        return PollResult::Frame;
    }
};

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    RawWire wire;
    const Mac interfaces[] = {{2, 0, 0, 0, 0, 1}, {2, 0, 0, 0, 0, 2}};
    wire.addInterface("eth0", interfaces[0]);
    wire.addInterface("eth1", interfaces[1]);
    wire.setReceiver([&](int port, const std::vector<uint8_t>& frame) {
        require(capture::isRelayedFrame(frame.data(), frame.size()));
        const bool own = std::equal(frame.begin() + 6, frame.begin() + 12,
                                    interfaces[port].begin());
        const bool hp10 = frame[12] == 0x88 && frame[13] == 0x7B;
        require(own || (hp10 && (frame[6] & 0x01) == 0));
        for (int n = input.byte() % 4; n > 0 && !input.empty(); --n) wire.raw.push_back(input.frame());
    });
    capture::CaptureService service(wire);
    for (int requests = 0; requests < 64 && !input.empty(); ++requests) {
        const std::vector<uint8_t> request = input.frame();
        const std::vector<uint8_t> reply = service.answer(request.data(), request.size());
        capture::HelperMessage message;
        require(capture::parseHelperMessage(reply.data(), reply.size(), message));
        require(message.kind == capture::HelperMessage::Kind::Reply);
        if (request.size() >= capture::kRequestHeaderLength)
            require(message.id == (request[1] | request[2] << 8 | request[3] << 16 |
                                   uint32_t(request[4]) << 24));
        for (int handle : service.openHandles()) {
            std::vector<uint8_t> relayed;
            while (service.nextFrame(handle, relayed)) {
                require(capture::parseHelperMessage(relayed.data(), relayed.size(), message));
                require(message.kind == capture::HelperMessage::Kind::Frame &&
                        message.handle == handle);
            }
        }
        wire.raw.clear();
    }
    return 0;
}
