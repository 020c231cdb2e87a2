// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// HomePlug 1.0 / Turbo replies become table updates: station answers and statistics, the vendor
// version reply (which tells a Turbo-capable device from a plain one), Turbo rate statistics,
// the local Turbo device's firmware text and key, and the local device's parameter block.
//
// Every handler reads only the bytes of the frame it is given: a field that lies past the end is
// refused, and a text that runs past the end is cut there.
namespace corvel {

// What the drain does with one frame.
enum class ReplyOutcome {
    handled,
    ignored,    // a 1.0 frame that was not for us or did not fit
    endsDrain,  // not a 1.0 frame (an AV frame, say): the drain stops behind it
};

// One drain takes at most this many frames (a full burst of the capture ring), so that a
// steady stream of replies cannot keep it, and the tick that runs it, going forever.
inline constexpr size_t kMaxFramesPerDrain = 64;

// Takes received frames until none is left, a frame other than HomePlug 1.0 comes or 64 were
// taken: frames already waiting one after another, and 1 ms for another to come once none is.
// Returns whether the last frame taken was handled (false when none came).
// Messages about unexpected vendor replies go to `text` when one is given.
bool processHp10Replies(std::span<char> text = {});
// Drains again and again until 100 ms have passed, 1 ms apart unless the last drain stopped with
// frames still waiting (behind a frame other than 1.0, or past the bound); returns the last
// drain's result.
bool pumpHp10Replies(std::span<char> text = {});

// One frame of the drain. Vendor replies have the reply bit of their code cleared in place, and
// statistics replies take the computed link average (see applyHp10Statistics). A frame from one
// of the host's own addresses or a group address is ignored: no device sends from one. What
// answers the local device alone gives (parameter block, statistics, read replies, Turbo rates)
// is taken only from the selected interface's local device.
ReplyOutcome handleHp10Reply(std::span<uint8_t> frame, std::span<char> text = {});
// Entry types other than vendor replies (0x02) and reads (0x12, 0x13): station answers,
// set-key confirmations, parameter and statistics replies. False for any other type.
bool handleHp10Entry(std::span<uint8_t> frame);
// A parameter reply (entry 0x19, MELEN 0x33) of the local device on interface `index`, taken
// only when its source is that device. Byte 17 says which copy the block is (1 stored, 2
// working); a block that starts with seven equal bytes is blank: it goes to the device log and
// is not taken. Any other frame changes nothing.
void acceptParams(int index, std::span<const uint8_t> frame);
// Vendor reply code 16: the version of a remote station (which becomes Turbo-capable) or of the
// local device (which makes the network Turbo).
void handleVersionReply(std::span<const uint8_t> frame);
// Vendor reply code 24: Turbo rates of the stations.
void handleTurboStats(std::span<const uint8_t> frame);

// A text given as a length byte and that many bytes, into a text field of `destination.size()`
// bytes (cut to fit, always terminated). Length 0 gives one space. Bytes missing from `text`
// read as zero: no length byte is length 0, a text running past the end is cut there.
void copyLengthText(std::span<char> destination, std::span<const uint8_t> text);

template <size_t N>
void copyLengthText(char (&destination)[N], std::span<const uint8_t> text) {
    copyLengthText(std::span<char>(destination, N), text);
}

}  // namespace corvel
