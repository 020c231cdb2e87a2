// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "avcodec/codec.h"
#include "core/answers.h"
#include "platform/mac.h"
#include "transport/mme_frame.h"

// One AV request out on the selected interface, and the wait for its confirmation among the
// frames that come in on every interface. Everything blocks the calling thread.
namespace corvel {

// Requests are built in a 1536-byte buffer of which the encoders are told 1528 bytes.
inline constexpr size_t kAvRequestBufferSize = 1536;
inline constexpr size_t kAvRequestCapacity = 1528;
using AvRequestBuffer = std::array<uint8_t, kAvRequestBufferSize>;

inline constexpr int kAvAddressBroadcast = 0;
inline constexpr int kAvAddressLocal = 1;

// The confirmation windows.
inline constexpr uint32_t kAvAwaitWindowMs = 100;
inline constexpr uint32_t kAvRejectedFrameMs = 20;
inline constexpr uint32_t kAvPollSleepMs = 1;
// A frame that is not the answer and comes alone costs a 20 ms pause, which can lengthen a wait,
// but never past this many times its window: a steady stream of other traffic must not hold the
// caller forever. Frames already queued behind it are looked at without a pause each.
inline constexpr uint32_t kAvWaitCapFactor = 2;

// What a wait takes as the answer to its request.
enum class AvAnswer {
    // The request's own confirmation, or a module-commit confirmation, which ends whatever
    // exchange is waiting.
    confirmOrCommit,
    // The request's own confirmation only: a key is set only when its own confirmation says so.
    ownConfirm,
    // As confirmOrCommit, and a version confirmation cut short of its full layout too: the local
    // device that sent it is there, and its texts are read as far as they came.
    shortVersionToo,
    // The request's own confirmation whatever its status and however much of it the codec's
    // record holds: for the messages whose callers decode the frame in full themselves.
    ownWhateverStatus,
};

// Kind 0: the broadcast address; kind 1: the local-management address; any other kind leaves
// `out` as it was.
Mac& avAddress(int kind, Mac& out);

// Sends a version (0xA000) or network-information (0xA038) request from requestSourceMac to
// `destination` without waiting. 0xA050 is accepted and sends nothing (the set-key requests
// have their own operations); any other type, or a failed encode, writes the diagnostic line.
// Nothing at all happens while the source address is all zero.
void sendAvRequest(const Mac& destination, uint16_t mmtype);

// The waits below take a confirmation only from `from`, the address the request went to: a
// request to one device is answered by that device alone; one to the broadcast or the
// local-management address by any device (answersRequestTo), never from one of the host's own
// addresses. A frame from anywhere else is not the answer and is not decoded, so it cannot move
// a transfer in progress either.

// Looks through the frames already received for the confirmation of `mmtype` from `from`:
// accepted when the record holds decoded data or a zero status, and it is an answer of the kind
// `answer` names. Other frames waiting are passed over one after another; after the last of
// them, 20 ms for another to come. The look ends once twice the usual 100 ms window has passed
// however many frames keep coming. On acceptance sets avConfirmSeen and, when `frameLength` is
// given, stores how long the accepted frame was. False once no interface has a frame waiting.
bool pollAvConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record,
                   size_t* frameLength = nullptr, AvAnswer answer = AvAnswer::confirmOrCommit);

// pollAvConfirm at once and then 1 ms apart for up to `windowMs`. The window is checked between
// polls only, so unrelated frames that come one at a time lengthen the wait by 20 ms each, up to
// twice the window; a burst of them queued ahead of the answer costs nothing.
bool waitAvConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record, uint32_t windowMs,
                   size_t* frameLength = nullptr, AvAnswer answer = AvAnswer::confirmOrCommit);

// 1 ms, then polls as waitAvConfirm does until the usual 100 ms window, counted from the call,
// is over.
bool awaitAvConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record,
                    size_t* frameLength = nullptr, AvAnswer answer = AvAnswer::confirmOrCommit);

// awaitAvConfirm for a request to the local-management address, which the device cabled to the
// selected interface answers: only frames that come in on that interface count. Another
// interface's late or forged answers, still waiting to be read, are not this device's.
bool awaitCabledConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record,
                        size_t* frameLength = nullptr, AvAnswer answer = AvAnswer::confirmOrCommit);

// awaitAvConfirm for the confirmation of `mmtype` from `from` whatever its status
// (AvAnswer::ownWhateverStatus); the accepted frame is copied into `frame` as it came.
bool awaitAvConfirmFrame(uint16_t mmtype, const Mac& from, MmeFrame& frame);

// Sends a frame the caller encoded on the selected interface.
bool sendAvFrame(const AvRequestBuffer& frame, int length);

// The line every failed encode leaves on standard output.
void reportEncodeFailure();

}  // namespace corvel
