// SPDX-License-Identifier: MIT
#include "sim/device.h"

#include <algorithm>
#include <cstring>

#include "sim/pib.h"

namespace corvel::sim {

namespace {

constexpr size_t kReceivedLogLength = 64;

}  // namespace

std::string_view familyName(Family family) {
    switch (family) {
        case Family::Av:
            return "AV";
        case Family::HomePlug10:
            return "HomePlug 1.0";
        case Family::Turbo:
            return "Turbo";
    }
    return "AV";
}

std::string defaultPassword(const Mac& mac) {
    std::string text;
    for (size_t i = 0; i < 16; ++i) {
        if (i > 0 && i % 4 == 0) text += '-';
        text += char('A' + (mac[i % 6] * 7 + i * 11 + (i / 6) * 5) % 26);
    }
    return text;
}

Device::Device(const DeviceConfig& config)
    : profile(config.profile),
      family_(config.family),
      mac_(config.mac),
      password_(config.password),
      nmk_(config.nmk),
      nek_(config.nek),
      keySelect_(config.keySelect) {
    if (family_ == Family::Av) {
        dak_ = deriveDAK(password_);
        pib_ = buildPib(mac_, nmk_, config.pibMajor, config.pibMinor);
    } else {
        dek_ = deriveHP10Key(password_);
        selectZeroKey_ = dek_;
    }
    stored_ = config.storedParams.value_or(ParamBlock{});
    working_ = config.workingParams.value_or(stored_);
    if (!config.storedParams) std::memcpy(stored_.data(), mac_.data(), mac_.size());
    if (!config.workingParams && !config.storedParams)
        std::memcpy(working_.data(), mac_.data(), mac_.size());
    writeKeysInto(stored_);
    writeKeysInto(working_);
    firmware.inLoader = config.inLoader;
}

uint8_t Device::kind() const {
    if (profile.kind != 0) return profile.kind;
    // Kind names: 1 a USB adapter, 2 Turbo, 3 an Ethernet HomePlug 1.0 adapter.
    return family_ == Family::Turbo ? 2 : 3;
}

void Device::installPib(std::vector<uint8_t> pib) {
    pib_ = std::move(pib);
    if (pib_.size() >= kPibNmkOffset + nmk_.size())
        std::copy_n(pib_.begin() + kPibNmkOffset, nmk_.size(), nmk_.begin());
    // From version 1.4 on the PIB carries the device's own address, which the device answers
    // under after it restarts; a group or empty address there leaves the one it had.
    if (pib_.size() < kPibMacOffset + mac_.size() || pib_[0] < 1 || (pib_[0] == 1 && pib_[1] < 4))
        return;
    Mac mac{};
    std::copy_n(pib_.begin() + kPibMacOffset, mac.size(), mac.begin());
    if ((mac[0] & 0x01) == 0 && mac != Mac{}) mac_ = mac;
}

void Device::setNmk(const Key16& nmk) {
    nmk_ = nmk;
    storePibNmk(pib_, nmk_);
}

void Device::writeKeysInto(ParamBlock& block) const {
    std::memcpy(&block[kParamSelectZeroKeyOffset], selectZeroKey_.data(), selectZeroKey_.size());
    block[kParamKeySelectOffset] = keySelect_;
    std::memcpy(&block[kParamNekOffset], nek_.data(), nek_.size());
}

void Device::setNek(uint8_t keySelect, const Key8& nek) {
    keySelect_ = keySelect;
    nek_ = nek;
    writeKeysInto(stored_);
    writeKeysInto(working_);
}

void Device::setSelectZeroKey(const Key8& key) {
    selectZeroKey_ = key;
    writeKeysInto(stored_);
    writeKeysInto(working_);
}

void Device::setLocalParameters(uint8_t p1, uint8_t p2, uint8_t p3) {
    for (ParamBlock* block : {&stored_, &working_}) {
        (*block)[kParamLocalOffset] = p1;
        (*block)[kParamLocalOffset + 1] = p2;
        (*block)[kParamLocalOffset + 2] = p3;
    }
}

bool Device::forwardsUnderSelectZero() const {
    return (working_[kParamLocalOffset + 1] & kParamForwardUnderSelectZero) != 0;
}

bool Device::sharesNetworkWith(const Device& other) const {
    if (family_ == Family::Av || other.family_ == Family::Av)
        return family_ == other.family_ && nmk_ == other.nmk_;
    return nek_ == other.nek_;
}

bool Device::isAvailable(uint64_t nowMs) const {
    const uint32_t leaveAfter = profile.link.leaveAfterMs;
    const uint32_t returnAfter = profile.link.returnAfterMs;
    const bool left = leaveAfter != 0 && nowMs >= epochMs_ + leaveAfter;
    const bool back = returnAfter != 0 && nowMs >= epochMs_ + returnAfter;
    if (left && !back) return false;
    return !profile.faults.offline && nowMs >= awayUntilMs_;
}

void Device::logReceived(int port, const uint8_t* frame, size_t length, uint64_t atMs) {
    if (received_.size() == kReceivedLogLength) received_.pop_front();
    received_.push_back({port, std::vector<uint8_t>(frame, frame + length), atMs});
}

}  // namespace corvel::sim
