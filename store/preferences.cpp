// SPDX-License-Identifier: MIT
#include "store/preferences.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "core/tables.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/list_layout.h"
#include "store/product_files.h"

namespace corvel {

// The record is copied to and from the file as it lies in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

// The low 16 bits of scanTicks, at least 1. A value such as 65536 passes the file's check on 32
// bits but leaves 0 in the low 16; a phase of 0 or fewer ticks would stall the scan cycle.
int16_t uncappedTicks(int32_t scanTicks) {
    const auto ticks = int16_t(uint16_t(uint32_t(scanTicks) & 0xFFFF));
    return ticks > 0 ? ticks : 1;
}

// A title of nothing but spaces and control characters names no file anyone could find.
bool namesNothing(std::string_view title) {
    return std::all_of(title.begin(), title.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

// A control character in a file name reaches every terminal and log that lists the directory:
// C0 and DEL bytes, and the C1 controls as UTF-8 writes them (C2 80 to C2 9F).
bool holdsControlCharacter(std::string_view title) {
    for (size_t i = 0; i < title.size(); ++i) {
        const auto byte = static_cast<unsigned char>(title[i]);
        if (byte < 0x20 || byte == 0x7F) return true;
        const bool c1 = byte == 0xC2 && i + 1 < title.size() &&
                        (static_cast<unsigned char>(title[i + 1]) & 0xE0) == 0x80;
        if (c1) return true;
    }
    return false;
}

}  // namespace

int16_t Preferences::ticksPerPhase() const {
    return std::min(uncappedTicks(scanTicks), kMaxTicksPerPhase);
}

Preferences& preferences() {
    static Preferences current = defaultPreferences();
    return current;
}

namespace {
const RegisteredReset preferencesReset{[] { preferences() = defaultPreferences(); }};
}  // namespace

Preferences defaultPreferences() {
    Preferences p{};
    p.scanTicks = 30;
    p.qualityStyle = 0;
    p.listTextColour = 0;
    p.iconSize = 24;
    p.diagnosticsLevel = 1;
    p.reserved14 = 1;
    p.autoScan = 1;
    p.reserved18 = 10;
    p.reserved20 = 310;
    p.reserved22 = 80;
    p.reserved24 = 25;
    p.showRateColumn = 1;
    p.showQualityColumn = 1;
    p.twelveHourClock = 1;
    p.showUpgradeButton = 0;
    copyText(p.webAddress, "https://corvel-utility.example.org");
    copyText(p.productTitle, "Corvel Utility");
    copyText(p.noticeText,
             "Corvel Utility - free software for HomePlug powerline adapters, MIT licence.");
    return p;
}

std::string fileStemOfTitle(std::string_view productTitle) {
    const bool leadsOut = productTitle.find('/') != std::string_view::npos ||
                          productTitle == "." || productTitle == "..";
    const bool unusable = leadsOut || namesNothing(productTitle) ||
                          holdsControlCharacter(productTitle);
    return std::string(unusable ? textOf(defaultPreferences().productTitle) : productTitle);
}

Preferences decodePreferences(const uint8_t* bytes, size_t length) {
    Preferences p{};
    if (length > 0) std::memcpy(&p, bytes, length < sizeof p ? length : sizeof p);
    return p;
}

std::array<uint8_t, kPreferencesSize> encodePreferences(const Preferences& p) {
    std::array<uint8_t, kPreferencesSize> bytes{};
    std::memcpy(bytes.data(), &p, sizeof p);
    return bytes;
}

std::string loadPreferences() {
    std::vector<uint8_t> bytes;
    std::string path;
    Preferences& p = preferences();
    if (readProductFile(kPreferencesFileName, bytes, path, kMaxPreferencesFileSize))
        p = decodePreferences(bytes.data(), bytes.size());
    else
        p = defaultPreferences();

    listLayout().sortFlag = 1;
    listLayout().sortColumn = 1;
    if (p.scanTicks <= 0) p.scanTicks = 1;
    const int16_t ticks = p.ticksPerPhase();
    if (ticks < uncappedTicks(p.scanTicks)) {
        notifier().notify("Attention!",
                          path + ": scanTicks " + std::to_string(p.scanTicks) + " read, " +
                              std::to_string(ticks) +
                              " used: more ticks per scan phase would keep a phase waiting 10 s "
                              "or longer.",
                          Icon::Warning, Buttons::Ok);
        p.scanTicks = ticks;
    }
    core.ticksPerPhase = ticks;
    setAutoscan(p.autoScan != 0);
    return path;
}

}  // namespace corvel
