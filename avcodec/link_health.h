// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "avcodec/frame.h"
#include "platform/mac.h"

// The AV vendor messages that tell how well a link works beyond its average rate: the link
// statistics (frame and block counters per direction), the tone maps (the modulation of every
// carrier), and the reset that restarts a device. All are management message version 0 with the
// vendor OUI 00:B0:52, laid out as Wireshark's HomePlug AV dissector decodes them.
//
// Encoders write a 64-byte request into the buffer and return 64, or return 0 with errno set to
// one of the codec's numbers (14 missing, 22 invalid value, 34 buffer too small). Decoders read
// nothing outside the frame they are given and either fill the whole record or refuse the frame
// with a reason; a refused frame leaves no half-filled record behind.
namespace corvel {

// Why a frame was refused: a codec error number (1 not an AV frame, 14 not ours or too short,
// 22 a value the message cannot hold, 40 another message type) and a sentence saying what was
// wrong. `error` 0 means decoded.
struct DecodeOutcome {
    int error = 0;
    std::string reason;
    explicit operator bool() const { return error == 0; }
};

// ---- Link statistics (0xA030 / 0xA031) ----

// Which counters: what the device sent to the peer, what it received from it, or both.
enum class LinkDirection : uint8_t { Tx = 0, Rx = 1, Both = 2 };

// Link ids: 0..3 name one CSMA channel access priority; these two sum over priorities.
inline constexpr uint8_t kLinkIdAllForPeer = 0xF8;  // every priority of the link to the peer
inline constexpr uint8_t kLinkIdAll = 0xFC;         // every CSMA link of the device

// Status of a link statistics confirmation.
inline constexpr uint8_t kLinkStatsInvalidControl = 0x01;
inline constexpr uint8_t kLinkStatsInvalidDirection = 0x02;
inline constexpr uint8_t kLinkStatsInvalidLinkId = 0x10;
inline constexpr uint8_t kLinkStatsInvalidPeer = 0x20;

struct LinkStatsRequest {
    // Clear the counters once they are read (control 1); otherwise only read them (control 0).
    bool clear = false;
    LinkDirection direction = LinkDirection::Both;
    uint8_t linkId = kLinkIdAllForPeer;
    // The station at the other end of the link.
    Mac peer{};
};

// Counters since the device started or they were last cleared. An MPDU is one frame on the
// powerline; a PB (physical block, 520 bytes) is the unit that is acknowledged or sent again.
struct TxLinkStats {
    uint64_t mpdusAcked = 0;
    uint64_t mpdusCollided = 0;
    uint64_t mpdusFailed = 0;
    uint64_t pbsPassed = 0;
    uint64_t pbsFailed = 0;
};

// One tone map interval of the AC line cycle: its receive rate and its own block counters.
struct RxIntervalStats {
    uint8_t phyRateMbps = 0;
    uint64_t pbsPassed = 0;
    uint64_t pbsFailed = 0;
    uint64_t turboBitErrorsPassed = 0;  // sum over the blocks received intact
    uint64_t turboBitErrorsFailed = 0;  // sum over the blocks received broken
};

struct RxLinkStats {
    uint64_t mpdusAcked = 0;
    uint64_t mpdusFailed = 0;
    uint64_t pbsPassed = 0;
    uint64_t pbsFailed = 0;
    uint64_t turboBitErrorsPassed = 0;
    uint64_t turboBitErrorsFailed = 0;
    std::vector<RxIntervalStats> intervals;
};

struct LinkStatsConfirm {
    Mac device{};  // the device that answered (the frame's source)
    uint8_t status = 0;
    uint8_t direction = 0;  // a LinkDirection value when the status is 0
    uint8_t linkId = 0;
    uint8_t tei = 0;  // the peer's terminal equipment identifier in the network
    // Present as the direction asks, and only when the status is 0.
    std::optional<TxLinkStats> tx;
    std::optional<RxLinkStats> rx;
};

size_t encodeLinkStatsRequest(std::span<uint8_t> buffer, const Mac& source, const Mac& destination,
                              const LinkStatsRequest& request);
DecodeOutcome decodeLinkStatsConfirm(std::span<const uint8_t> frame, LinkStatsConfirm& out);
// "Success", "Invalid Control", ... ; "Unknown status" for any other value.
const char* linkStatsStatusText(uint8_t status);

// ---- Tone maps (0xA070 / 0xA071 transmit, 0xA090 / 0xA091 receive) ----

// Tx: how the device modulates what it sends to the peer; Rx: how the peer's frames reach it.
enum class ToneMapDirection { Tx, Rx };

// The wire pair a link runs on. Message version 0 has no field for it: only the primary pair can
// be asked for.
enum class Coupling : uint8_t { Primary = 0, Alternate = 1 };

// Status of a tone map confirmation.
inline constexpr uint8_t kToneMapUnknownPeer = 0x01;
inline constexpr uint8_t kToneMapUnknownSlot = 0x02;

// HomePlug AV modulates 1155 carriers between 1.8 and 30 MHz; a tone map gives each a 4-bit
// modulation code, two carriers to a byte, the lower-numbered carrier in the low nibble.
inline constexpr size_t kAvCarrierCount = 1155;
inline constexpr size_t kToneMapCarrierBytes = (kAvCarrierCount + 1) / 2;
inline constexpr uint8_t kMaxModulationCode = 8;  // 4096-QAM

struct ToneMapRequest {
    Mac peer{};
    // Tone map slot: the part of the AC line cycle whose tone map is wanted (0 first).
    uint8_t slot = 0;
    Coupling coupling = Coupling::Primary;
};

struct ToneMapConfirm {
    Mac device{};
    ToneMapDirection direction = ToneMapDirection::Tx;
    uint8_t status = 0;
    uint8_t slot = 0;
    uint8_t toneMapCount = 0;   // tone maps the link uses over the line cycle
    uint16_t carrierCount = 0;  // carriers the map lists (the dissector's "active carriers")
    // One modulation code (0..8) per listed carrier, carrier 0 first; empty unless the status
    // is 0.
    std::vector<uint8_t> modulation;
    // Receive maps with carriers only: the guard interval length and the automatic gain
    // control setting the device uses for the peer's frames.
    std::optional<uint8_t> guardInterval;
    std::optional<uint8_t> agc;
};

size_t encodeToneMapRequest(std::span<uint8_t> buffer, const Mac& source, const Mac& destination,
                            ToneMapDirection direction, const ToneMapRequest& request);
DecodeOutcome decodeToneMapConfirm(std::span<const uint8_t> frame, ToneMapDirection direction,
                                   ToneMapConfirm& out);
const char* toneMapStatusText(uint8_t status);

// Bits one carrier carries per symbol under a modulation code: 0 (unmodulated), 1 BPSK, 2 QPSK,
// 3 8-QAM, 4 16-QAM, 6 64-QAM, 8 256-QAM, 10 1024-QAM, 12 4096-QAM; -1 for codes 9..15, which
// name no modulation.
int modulationBits(uint8_t code);
// "none", "BPSK", "QPSK", "8-QAM", ... "4096-QAM"; "unknown" above 8.
const char* modulationName(uint8_t code);
// Carriers with a modulation (code not 0), and the bits they carry together in one symbol.
size_t modulatedCarriers(const ToneMapConfirm& map);
unsigned bitsPerSymbol(const ToneMapConfirm& map);
// Centre frequency of tone map carrier `index` (0..1154) in MHz.
double carrierFrequencyMHz(size_t index);

// ---- Reset device (0xA01C / 0xA01D) ----

inline constexpr uint8_t kResetNoNvm = 0x01;

struct ResetDeviceConfirm {
    Mac device{};
    uint8_t status = 0;  // 0: the device restarts now
};

size_t encodeResetDeviceRequest(std::span<uint8_t> buffer, const Mac& source,
                                const Mac& destination);
DecodeOutcome decodeResetDeviceConfirm(std::span<const uint8_t> frame, ResetDeviceConfirm& out);
const char* resetStatusText(uint8_t status);

}  // namespace corvel
