// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

#include "av/set_key.h"
#include "platform/mac.h"

// The queries the scan, the upgrade and the membership operations put to the local AV device:
// whether one answers, its chip and firmware, the stations of its network, its configuration
// block and its network key. Each blocks the calling thread for its confirmation windows.
namespace corvel {

// Whether an AV device answers a version request to the local-management address on the
// selected interface within 100 ms.
bool probeLocalAv();

// Asks the local device on the selected interface for its version again: the answering
// interface's localMac, the chip name and the normalised firmware text. False without an answer.
bool readLocalVersion();

// Probes every host interface; each one that answers gets an AV local device in its adapter
// record, and the local device's address, chip name and firmware text are read again. The
// selected interface stays selected; localIsAv is set only when the selected one answered.
bool discoverLocalAv();

// Asks `localDevice` for its network's stations, then each station (other than the local
// device) for its firmware text; a station that answers gets its text and the rate the list
// gave it. Always true.
bool readNetworkStations(const Mac& localDevice);

// Reads the local device's configuration block and from its status sets upgradeCommits:
// status 0 sets it, 2 clears it, others leave it. False when no block came, when its status is
// 1, or when the request could not be encoded (the user is told).
bool readFirmwareType();

// readFirmwareType with the configuration-block request built by `encode`, which takes
// (source, destination, capacity, buffer) and returns the frame length or 0.
using AvRequestEncoder = int (*)(const uint8_t*, const uint8_t*, size_t, uint8_t*);
bool readFirmwareTypeWith(AvRequestEncoder encode);

// The PIB read back from a device is kept in a buffer of this size; a longer PIB is cut.
inline constexpr size_t kPibReadBufferSize = 12088;
// A PIB's 16-bit length field asks for at most 64 chunks of 1024 bytes.
inline constexpr int kMaxPibReadRounds = 64;

// Reads the PIB module of `device` and copies its NMK into `nmk`. 1 when the read completed,
// also when the PIB turned out unusable (then `nmk` is not written); -1 when the source address
// is all zero or a chunk did not come.
int readLocalNmk(const Mac& device, NetworkKey& nmk);

}  // namespace corvel
