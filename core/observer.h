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
// `windowMs`. Frames already waiting are looked at one after another; the 1 ms pause between
// polls comes only after a poll that found none.
bool waitLocalReply(int index, uint32_t windowMs);
// Asks the local device on `index` for its parameter block: three tries, 50, 54 and 58 ms.
void pollLocalParams(int index);
// The next powerline frame from the lowest interface that has one, copied into `frame`;
// `lastRxAdapter` tells which interface it came from. False when every interface was idle.
bool receiveFrame(MmeFrame& frame);
// The frame after one a wait has just looked at and passed over: a frame already waiting is taken
// at once, so that a burst queued ahead of an answer costs no time of its own; only when none is
// waiting does the wait pause `pauseMs` and then receive as receiveFrame does. False, taking
// nothing, once the tick count has reached `untilMs` (before the pause or after it).
bool receiveNextFrame(MmeFrame& frame, uint32_t pauseMs, uint64_t untilMs = UINT64_MAX);

}  // namespace corvel
