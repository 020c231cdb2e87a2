// SPDX-License-Identifier: MIT
#include "hp10codec/param_block.h"

#include "platform/bytes.h"

namespace corvel {

std::optional<Hp10ParamReply> readParamReply(std::span<const uint8_t> frame) {
    if (frame.size() < kParamReplyBlockOffset + kHp10ParamBlockSize ||
        get16be(&frame[kHp10EthertypeOffset]) != kHp10Ethertype ||
        frame[kHp10EntryTypeOffset] != kHp10Params ||
        frame[kHp10EntryLengthOffset] != kParamReplyLength)
        return std::nullopt;
    return Hp10ParamReply{frame[kParamReplyCopyOffset],
                          frame.subspan<kParamReplyBlockOffset, kHp10ParamBlockSize>()};
}

Hp10ParamBytes hostParamBytes(std::span<const uint8_t, kHp10ParamBlockSize> block,
                              bool forwardUnderSelectZero, uint8_t third) {
    const uint8_t p2 = block[kBlockParams + 1];
    return {uint8_t(block[kBlockParams] | kP1HostBit),
            uint8_t(forwardUnderSelectZero ? p2 | kP2ForwardUnderSelectZero : p2), third};
}

Hp10Frame buildKeyOperationFrame(const Mac& source, const Mac& destination, uint8_t keySelect,
                                 const Hp10Key& key, const std::optional<Hp10ParamBytes>& params) {
    if (!params)
        return buildSetKey(source, destination, keySelect, key, SetKeyLength::keyOperation);
    return buildSetKeyWithParams(source, destination, keySelect, key, params->p1, params->p2,
                                 params->p3);
}

}  // namespace corvel
