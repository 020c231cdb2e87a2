// SPDX-License-Identifier: MIT
#include "hp10/requests.h"

#include "core/tables.h"
#include "hp10codec/frames.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

bool send(int index, const Hp10Frame& frame) {
    return sendFrame(index, frame.bytes.data(), uint16_t(frame.length));
}

}  // namespace

bool sendStatsRequest(int index, const Mac& source, const Mac& destination) {
    return send(index, buildStatsRequest(source, destination));
}

bool sendParamRequest(int index, const Mac& source, const Mac& destination, uint8_t value) {
    return send(index, buildParamRequest(source, destination, value));
}

bool sendLocalQueryFrame(int index, const Mac& source, const Mac& destination) {
    return send(index, buildLocalQuery(source, destination));
}

bool sendVendorRequest(const Mac& destination, uint8_t code, std::span<const uint8_t> data) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    const auto frame = buildVendorRequest(source, destination, code, data);
    return frame && send(core.currentAdapter, *frame);
}

bool sendVersionQuery() {
    return sendVendorRequest(kBroadcastMac, kHp10VersionQuery);
}

bool sendReadRequest(uint8_t subCode) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    Mac local{};
    copyLocalMac(local.data());
    return send(core.currentAdapter, buildReadRequest(source, local, subCode));
}

}  // namespace corvel
