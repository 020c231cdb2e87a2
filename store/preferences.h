// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The preferences record "OEMPrefs.dat": product title, the maker's notice and web address, scan
// speed, which pages and columns show. Read once at start-up; the system never writes it.
namespace corvel {

#pragma pack(push, 1)

struct Preferences {
    int32_t scanTicks;       // ticks per scan phase; only its low 16 bits are used
    int16_t qualityStyle;    // how the Quality column shows link quality, 0..6
    int32_t listTextColour;  // 1..4 fixed colours, above 4 a 0x00BBGGRR colour, else black
    int16_t iconSize;        // pixel size of the local-device icons
    // 0 hides the Diagnostics page; above 1 adds detail; 20 or more also writes the scan log.
    int16_t diagnosticsLevel;
    int16_t reserved14;
    int16_t autoScan;  // 1: periodic scanning on at start
    int16_t reserved18;
    int16_t reserved20;
    int16_t reserved22;
    int16_t reserved24;
    int16_t showRateColumn;
    int16_t showQualityColumn;
    int16_t twelveHourClock;    // "Last Seen" with AM/PM
    int16_t showUpgradeButton;  // the main page shows Upgrade Firmware at start
    char webAddress[64];
    char productTitle[64];  // sheet caption, About title, report line, database file name
    uint8_t ownOui[3];      // first three MAC bytes of the product line's own devices
    char ownVendorName[24];
    char noticeText[100];

    // The scan cycle's ticks per phase: the low 16 bits of scanTicks, at least 1 and at most
    // kMaxTicksPerPhase.
    int16_t ticksPerPhase() const;
};

#pragma pack(pop)

inline constexpr size_t kPreferencesSize = 289;

static_assert(sizeof(Preferences) == kPreferencesSize);
static_assert(offsetof(Preferences, qualityStyle) == 4);
static_assert(offsetof(Preferences, listTextColour) == 6);
static_assert(offsetof(Preferences, iconSize) == 10);
static_assert(offsetof(Preferences, diagnosticsLevel) == 12);
static_assert(offsetof(Preferences, reserved14) == 14);
static_assert(offsetof(Preferences, autoScan) == 16);
static_assert(offsetof(Preferences, reserved18) == 18);
static_assert(offsetof(Preferences, reserved20) == 20);
static_assert(offsetof(Preferences, reserved22) == 22);
static_assert(offsetof(Preferences, reserved24) == 24);
static_assert(offsetof(Preferences, showRateColumn) == 26);
static_assert(offsetof(Preferences, showQualityColumn) == 28);
static_assert(offsetof(Preferences, twelveHourClock) == 30);
static_assert(offsetof(Preferences, showUpgradeButton) == 32);
static_assert(offsetof(Preferences, webAddress) == 34);
static_assert(offsetof(Preferences, productTitle) == 98);
static_assert(offsetof(Preferences, ownOui) == 162);
static_assert(offsetof(Preferences, ownVendorName) == 165);
static_assert(offsetof(Preferences, noticeText) == 189);

// A waiting phase of the scan cycle lasts ticksPerPhase ticks of ticksPerPhase x 10 / 7 ms, so
// the time grows with the square of scanTicks: 300 would keep a phase waiting over two minutes,
// 32767 for seventeen days. The file comes from the working directory, which the user running
// the program need not control; whatever it says, a phase stays under 10 s.
inline constexpr int64_t kMaxScanPhaseMs = 10000;
constexpr int64_t scanPhaseMs(int32_t ticksPerPhase) {
    return int64_t(ticksPerPhase) * (int64_t(ticksPerPhase) * 10 / 7);
}
// 83 ticks of 118 ms wait 9.8 s; 84 ticks of 120 ms would wait 10.08 s.
inline constexpr int16_t kMaxTicksPerPhase = 83;
static_assert(scanPhaseMs(kMaxTicksPerPhase) < kMaxScanPhaseMs &&
              scanPhaseMs(kMaxTicksPerPhase + 1) >= kMaxScanPhaseMs);

inline constexpr char kPreferencesFileName[] = "OEMPrefs.dat";
// The product title as the stem of a file name (the database, the device log): a title that
// could lead out of the directory ("/" inside, or "." or ".."), one that holds a control
// character (which would reach every terminal that lists the directory), or one that names
// nothing (empty, all NUL, or only spaces, which would make the database a hidden ".data" that
// silently looks empty), is refused and the default title stands in for it.
std::string fileStemOfTitle(std::string_view productTitle);

// The record is 289 bytes; a file many times that size is not a preferences file.
inline constexpr size_t kMaxPreferencesFileSize = 64 * 1024;

// The preferences in force.
Preferences& preferences();

// The product's own values; the shipped "OEMPrefs.dat" is written from them.
Preferences defaultPreferences();

// The record as a file holds it. A short input fills the fields it reaches and leaves the rest
// zero; bytes past the record are ignored.
Preferences decodePreferences(const uint8_t* bytes, size_t length);
std::array<uint8_t, kPreferencesSize> encodePreferences(const Preferences& preferences);

// Reads "OEMPrefs.dat" from the working directory, else from the product data folders; with no
// file anywhere the defaults hold. Then starts the sort state at column 1, flag 1, sets the scan
// cycle's ticks per phase and switches autoscan as the preferences say. A scanTicks whose ticks
// per phase exceed kMaxTicksPerPhase is capped there and the cap is said (an "Attention!"
// warning naming the field, the value read and the value used). Returns the path read, empty
// when the defaults were used.
std::string loadPreferences();

}  // namespace corvel
