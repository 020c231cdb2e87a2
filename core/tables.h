// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/station_kind.h"
#include "hp10codec/param_block.h"
#include "platform/mac.h"
#include "transport/interface_table.h"

// The system's one data model: fixed tables for the host interfaces, the local device behind
// each, the stations seen through it, and the user's device list. The station tables and the
// device list are written to the database file as raw memory images, so their records are
// byte-packed with little-endian integers and binary64 rates; the layouts below are a file
// format.
namespace corvel {

inline constexpr int kStationsPerTable = 32;
inline constexpr int kMaxDevices = 32;
inline constexpr int kParamBlockSize = int(kHp10ParamBlockSize);
inline constexpr int8_t kDefaultDropReset = 3;

#pragma pack(push, 1)

struct RateRecord {
    uint32_t aux1;  // second 16-bit word of the last raw rate sample
    uint32_t aux2;  // third 16-bit word of the last raw rate sample
    double currentRate;  // Mbit/s, whole number; 0 = unknown
    double minRate;
    double maxRate;
    uint8_t rateChanged;  // the last update moved currentRate by more than 0.02
};

struct StationRecord {
    int32_t present;
    uint8_t mac[6];  // all zero = free slot
    uint8_t reserved[50];
    int8_t missesTillDrop;
    StationKind stationKind;
    char vendorText[80];
    char productText[80];
    char firmwareText[186];
    int32_t seenCount;
    int32_t dropCount;
    uint8_t kindChanged;
    RateRecord rate;
    uint8_t networkKey[16];
    char networkName[40];
};

struct StationTable {
    uint8_t hostMac[6];
    int32_t localPresent;
    int32_t localKind;
    uint8_t localMac[6];
    uint8_t reserved[25];
    StationRecord stations[kStationsPerTable];
    RateRecord linkRate;
    int32_t stationCount;
    uint8_t networkKey[16];  // 16 bytes for AV (NMK), the first 8 otherwise (NEK)
    char networkName[40];
};

struct DeviceRecord {
    char name[35];
    uint8_t mac[6];
    char password[56];
    char networkName[52];
    uint8_t networkKey[16];
    uint8_t reserved[25];
    int64_t lastSeen;  // seconds since 1970-01-01 UTC
};

#pragma pack(pop)

static_assert(sizeof(RateRecord) == 33);
static_assert(offsetof(RateRecord, currentRate) == 8);
static_assert(offsetof(RateRecord, minRate) == 16);
static_assert(offsetof(RateRecord, maxRate) == 24);
static_assert(offsetof(RateRecord, rateChanged) == 32);

static_assert(sizeof(StationRecord) == 509);
static_assert(offsetof(StationRecord, mac) == 4);
static_assert(offsetof(StationRecord, reserved) == 10);
static_assert(offsetof(StationRecord, missesTillDrop) == 60);
static_assert(offsetof(StationRecord, stationKind) == 61);
static_assert(offsetof(StationRecord, vendorText) == 65);
static_assert(offsetof(StationRecord, productText) == 145);
static_assert(offsetof(StationRecord, firmwareText) == 225);
static_assert(offsetof(StationRecord, seenCount) == 411);
static_assert(offsetof(StationRecord, dropCount) == 415);
static_assert(offsetof(StationRecord, kindChanged) == 419);
static_assert(offsetof(StationRecord, rate) == 420);
static_assert(offsetof(StationRecord, networkKey) == 453);
static_assert(offsetof(StationRecord, networkName) == 469);

static_assert(sizeof(StationTable) == 16426);
static_assert(offsetof(StationTable, localPresent) == 6);
static_assert(offsetof(StationTable, localKind) == 10);
static_assert(offsetof(StationTable, localMac) == 14);
static_assert(offsetof(StationTable, reserved) == 20);
static_assert(offsetof(StationTable, stations) == 45);
static_assert(offsetof(StationTable, linkRate) == 16333);
static_assert(offsetof(StationTable, stationCount) == 16366);
static_assert(offsetof(StationTable, networkKey) == 16370);
static_assert(offsetof(StationTable, networkName) == 16386);

static_assert(sizeof(DeviceRecord) == 198);
static_assert(offsetof(DeviceRecord, mac) == 35);
static_assert(offsetof(DeviceRecord, password) == 41);
static_assert(offsetof(DeviceRecord, networkName) == 97);
static_assert(offsetof(DeviceRecord, networkKey) == 149);
static_assert(offsetof(DeviceRecord, reserved) == 165);
static_assert(offsetof(DeviceRecord, lastSeen) == 190);

// The average PHY rates an AV station's network-information entry gives, in Mbit/s as the
// device reports them: to the station (tx) and from it (rx); 0 = not measured. Runtime state
// only, never in the database. A pair belongs to the station whose address it carries, so a slot
// taken over by another station shows no rates until that station is measured.
struct PhyRatePair {
    uint8_t mac[6];
    uint8_t tx;
    uint8_t rx;
};

// What is known of the local device on one host interface; rebuilt by every run's scans.
struct AdapterRecord {
    uint8_t localMissCount;  // consecutive unanswered 1.0 poll rounds (0..3)
    int32_t localKind;       // index into the kind names
    int32_t paramsValid;
    uint8_t localMac[6];
    int32_t localPresent;
    uint8_t paramBlock[kParamBlockSize];  // last 1.0 parameter block (entry type 0x19)
    int32_t linkCounters[4];
};

// Kinds of local device, as indexes into the kind names.
enum LocalKind : int32_t {
    kKindAdapter = 0,
    kKindUsb = 1,
    kKindTurbo = 2,
    kKindHomePlug10 = 3,
    kKindAv = 4,
};

// The tables and the scalars of the current selection and of the local device.
struct CoreState {
    AdapterRecord adapters[kMaxInterfaces];
    StationTable stationTables[kMaxInterfaces];
    PhyRatePair phyRates[kMaxInterfaces][kStationsPerTable];  // by station slot
    DeviceRecord devices[kMaxDevices];
    int32_t deviceCount;

    int32_t currentAdapter;
    int32_t localIsAv;
    int32_t localIsTurbo;
    char avNetworkName[40];
    uint8_t avNetworkKey[16];
    char hp10NetworkName[40];
    uint8_t hp10NetworkKey[8];
    // Bytes 6..13: key of key select 0; 14: key select of the network key; 15..22: the NEK;
    // 23..25: the three parameter-entry bytes.
    uint8_t localParamBlock[kParamBlockSize];
    uint8_t localKeyKnown;
    char turboVendorText[80];
    char turboProductText[80];
    char turboMacVersion[65];
    char turboFirmwareText[65];
    uint8_t turboFirmwareTooOld;
    uint8_t turboLocalAnswered;
    uint8_t networkNamePending;
    uint8_t keepNameOnce;

    // Scan timing, driven by the scan cycle.
    int32_t scanPhase;
    int32_t phaseTick;
    int32_t ticksPerPhase;
    int32_t scanPaused;
    int32_t scanNowRequested;

    // What the local-device observer saw.
    int32_t localReplySeen;  // a frame with destination equal to source (not broadcast)
    int32_t lastRxAdapter;   // interface of the last frame receiveFrame returned
    int8_t dropResetValue = kDefaultDropReset;  // missesTillDrop after every answer
};

extern CoreState core;

// Zeroes every table and scalar, as at process start (dropResetValue starts at 3).
void resetCoreState();

bool macEqual(const uint8_t* a, const uint8_t* b);
bool macIsSet(const uint8_t* mac);
void copyMac(uint8_t* destination, const uint8_t* source);
// Copies a network key with the width of the local family: 16 bytes for AV, else 8.
void copyKey(uint8_t* destination, const uint8_t* source);

AdapterRecord& currentAdapterRecord();
StationTable& currentStationTable();
const char* localKindName(int interfaceIndex);
Mac requestSourceMac();
void copyLocalMac(uint8_t* destination);
void setLocalMac(const uint8_t* mac);
void clearLocalPresence();

StationRecord* findStationByMac(const uint8_t* mac);
int findDeviceByMac(const uint8_t* mac);
int findDeviceByName(std::string_view name);
int findDeviceByMacText(std::string_view macText);
// The network name of the first device record whose stored key equals `key` in its first 16 or
// its first 8 bytes (one comparison for both), for the family "AV" or "Turbo"; any other family
// word finds nothing.
std::optional<std::string> findNetworkNameByKey(const uint8_t* key, std::string_view family);

void removeStationByMac(const uint8_t* mac);
void removeDevice(int index);
void removeDeviceByMac(const uint8_t* mac);
void removeUnaddressedDevices();

std::string makeDefaultName();
// Appends a record with the MAC and name; 1-based index, or 0 when the list is full or the MAC
// is a group address.
int appendDevice(const uint8_t* mac, std::string_view name);

bool setAutoscan(bool on);
std::array<int32_t, 4> adapterCounters(int interfaceIndex);

}  // namespace corvel
