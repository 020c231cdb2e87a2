// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "transport/frame_io.h"
#include "transport/mme_frame.h"

// Every frame taken from a host interface passes the local-device observer, which keeps that
// interface's adapter record current: which device is cabled to it, whether it answers, its
// parameter block.
namespace corvel {

// One frame from interface `index` through the observer, or nullptr.
const MmeFrame* observeFrame(int index, PollWait wait = PollWait::ReadTimeout);
// Whether the local device answered to itself (a frame with destination equal to source) within
// `windowMs`.
bool waitLocalReply(int index, uint32_t windowMs);
// Asks the local device on `index` for its parameter block: three tries, 50, 54 and 58 ms.
void pollLocalParams(int index);
// The next powerline frame from the lowest interface that has one, copied into `frame`;
// `lastRxAdapter` tells which interface it came from. False when every interface was idle.
bool receiveFrame(MmeFrame& frame);

}  // namespace corvel
