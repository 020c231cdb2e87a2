// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "av/set_key.h"
#include "hp10codec/frames.h"
#include "hp10codec/param_block.h"
#include "platform/mac.h"

// Sending the HomePlug 1.0 set-key frame of the key operations (hp10codec/param_block.h builds
// it): a key for one key select (EKS), sent to the local device by broadcast or to a remote
// device through it, optionally followed by the entry of the local device's three parameter
// bytes P1..P3, and, when the local device itself took a network key, the read-back of its
// parameter block. The local copy of that block (localParamBlock) follows what was sent.
namespace corvel {

// The 8 bytes of localParamBlock at `offset` (kBlockSelectZeroKey or kBlockNek).
Hp10Key localBlockKey(size_t offset);

// A 1.0 / Turbo key is the first 8 bytes of a 16-byte key buffer; the rest is zero.
Hp10Key hp10KeyOf(const NetworkKey& key);
NetworkKey keyBufferOf(const Hp10Key& key);

// Sends a 1.0 frame on the selected interface.
bool sendHp10Frame(const Hp10Frame& frame);

struct Hp10KeyFrame {
    Mac destination = kBroadcastMac;
    uint8_t keySelect = 1;
    Hp10Key key{};
    // Adds the parameter entry P1 | 0x40, P2, thirdParam.
    bool withParams = false;
    uint8_t thirdParam = 0;
    // Sets bit 0 of P2 in the entry for this frame only: the parameters are not remembered.
    bool mark = false;
};

struct Hp10KeyOutcome {
    bool sent = false;
    // The local device's parameter block read back as expected.
    bool readBackMatched = false;
};

// Sends the frame with the host's source address and updates localParamBlock: P1..P3 unless
// marking, the key and key select when the broadcast gave the local device a network key. A key
// for key select 0 by broadcast is lent to remote work (lentSelectZeroKey) unless it is the
// device's own, which ends the loan. Then, when the interface's parameters are valid, the local
// device took a network key and the frame is not marked, waits 100 ms and asks up to 3 times for
// the block (500 ms each); a block that differs goes to the device log and listening goes on.
// The block expected is localParamBlock with the lent key, if any, under key select 0.
//
// Nothing is sent with a Turbo local device or without a source address. The parameter entry
// carries bytes of the device's own block, so while that block was never received (localKeyKnown
// clear) the entry is left out, and so is the read-back, which would have nothing to compare
// with: the device's parameters are never overwritten with bytes nobody read. A frame that could
// not be sent changes nothing.
Hp10KeyOutcome sendHp10KeyFrame(const Hp10KeyFrame& request);

// The parameter entry alone (20 bytes): P1 | 0x40, P2 | 0x01, `thirdParam`, not remembered.
// False when it did not go out (also while the block is unknown, as above).
bool sendMarkedParamEntry(const Mac& destination, uint8_t thirdParam);

}  // namespace corvel
