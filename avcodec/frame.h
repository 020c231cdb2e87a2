// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/ethertypes.h"
#include "platform/mac.h"

// The HomePlug AV vendor management frame: 14-byte Ethernet header, then MMV, MMTYPE and the
// vendor OUI, then the payload of the message type. Payload fields are little-endian; only the
// Ethertype is in network order.
namespace corvel {

inline constexpr uint8_t kAvMmv = 0x00;
inline constexpr std::array<uint8_t, 3> kAvOui{0x00, 0xB0, 0x52};

// A request sent to the local-management address is answered by the AV device cabled to the
// interface it goes out on, whatever that device's own address.
inline constexpr Mac kLocalManagementMac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01};

inline constexpr size_t kEthernetHeaderLength = 14;
inline constexpr size_t kAvHeaderLength = 20;
// Every frame the codec builds is padded to 64 bytes, not to the Ethernet minimum of 60.
inline constexpr size_t kAvMinFrameLength = 64;

inline constexpr size_t kOffsetEthertype = 12;
inline constexpr size_t kOffsetMmv = 14;
inline constexpr size_t kOffsetMmtype = 15;
inline constexpr size_t kOffsetOui = 17;

// Error numbers of the codec, stored in errno and, where a decode says so, in AvConfirm.error.
// They are a fixed contract with the callers and are not the host's <cerrno> names: 40, for
// one, is ELOOP on Linux.
inline constexpr int kAvErrNotAvFrame = 1;
inline constexpr int kAvErrMissingOrShort = 14;
inline constexpr int kAvErrInvalidValue = 22;
inline constexpr int kAvErrBufferTooSmall = 34;
inline constexpr int kAvErrUnknownType = 40;

// Requests end in binary 00, their confirmations are request + 1; an indication ends in 10 and
// its response in 11.
inline constexpr uint16_t kMmVersionRequest = 0xA000;
inline constexpr uint16_t kMmVersionConfirm = 0xA001;
inline constexpr uint16_t kMmMemoryWriteRequest = 0xA004;
inline constexpr uint16_t kMmMemoryWriteConfirm = 0xA005;
inline constexpr uint16_t kMmStartRequest = 0xA00C;
inline constexpr uint16_t kMmStartConfirm = 0xA00D;
inline constexpr uint16_t kMmResetDeviceRequest = 0xA01C;
inline constexpr uint16_t kMmResetConfirm = 0xA01D;
inline constexpr uint16_t kMmModuleWriteRequest = 0xA020;
inline constexpr uint16_t kMmModuleWriteConfirm = 0xA021;
inline constexpr uint16_t kMmModuleReadRequest = 0xA024;
inline constexpr uint16_t kMmModuleReadConfirm = 0xA025;
inline constexpr uint16_t kMmModuleCommitRequest = 0xA028;
inline constexpr uint16_t kMmModuleCommitConfirm = 0xA029;
inline constexpr uint16_t kMmLinkStatsRequest = 0xA030;
inline constexpr uint16_t kMmLinkStatsConfirm = 0xA031;
inline constexpr uint16_t kMmSnifferConfirm = 0xA035;
inline constexpr uint16_t kMmSnifferIndication = 0xA036;
inline constexpr uint16_t kMmNetworkInfoRequest = 0xA038;
inline constexpr uint16_t kMmNetworkInfoConfirm = 0xA039;
inline constexpr uint16_t kMmSetKeyRequest = 0xA050;
inline constexpr uint16_t kMmSetKeyConfirm = 0xA051;
inline constexpr uint16_t kMmMfgStringConfirm = 0xA055;  // the manufacturer string
inline constexpr uint16_t kMmConfigBlockRequest = 0xA058;
inline constexpr uint16_t kMmConfigBlockConfirm = 0xA059;
inline constexpr uint16_t kMmSdramConfirm = 0xA05D;  // the SDRAM configuration
inline constexpr uint16_t kMmHostActionIndication = 0xA062;
inline constexpr uint16_t kMmHostActionResponse = 0xA063;
inline constexpr uint16_t kMmEthernetPhyConfirm = 0xA06D;  // the Ethernet PHY settings
inline constexpr uint16_t kMmTxToneMapRequest = 0xA070;
inline constexpr uint16_t kMmTxToneMapConfirm = 0xA071;
inline constexpr uint16_t kMmRxToneMapRequest = 0xA090;
inline constexpr uint16_t kMmRxToneMapConfirm = 0xA091;
// Two status-only confirmations of requests the system never sends. Neither the published
// documentation nor the dissector names them, so they go by their numbers. 0xA07D ends a
// transfer in progress, as the reset confirmation does.
inline constexpr uint16_t kMmUnlistedA07DConfirm = 0xA07D;
inline constexpr uint16_t kMmUnlistedA095Confirm = 0xA095;

// Writes the Ethernet and management headers (20 bytes) and returns 20. On failure returns 0
// with errno set: 14 for a missing buffer or address, 34 when the capacity cannot hold the
// header (the part of the buffer that the capacity covers is zeroed).
size_t writeAvHeader(uint8_t* buffer, size_t capacity, const uint8_t* destination,
                     const uint8_t* source, uint16_t mmtype);

}  // namespace corvel
