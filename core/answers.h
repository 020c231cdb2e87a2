// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "avcodec/frame.h"
#include "platform/mac.h"

// Which received frames may be a device's answer. Every host on the segment can send management
// frames with any source address: a frame is believed only as far as its source shows it comes
// from the device that was asked.
namespace corvel {

// Whether `mac` is the address of one of the host's own interfaces (any of them, not only the
// one a frame came in on). No device answers from it: a frame that carries it as its source is
// the host's own request seen again, or forged.
bool isHostAddress(const uint8_t* mac);

// Whether a device could send from `mac`: an individual address, not all zero, not the
// local-management address (which devices answer to, never from) and not one of the host's own.
bool couldBeDevice(const uint8_t* mac);

// Whether a frame from `source` can answer a request sent to `destination`. A request to one
// device is answered by that device alone. A request to a group address (broadcast) or to the
// local-management address may be answered by any device; the caller takes the one that answers
// as the device it deals with from then on.
bool answersRequestTo(const uint8_t* source, const uint8_t* destination);
inline bool answersRequestTo(const uint8_t* source, const Mac& destination) {
    return answersRequestTo(source, destination.data());
}

}  // namespace corvel
