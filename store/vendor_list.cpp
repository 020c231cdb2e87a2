// SPDX-License-Identifier: MIT
#include "store/vendor_list.h"

#include <algorithm>
#include <cstring>

#include "platform/process_state.h"
#include "platform/text.h"
#include "store/preferences.h"
#include "store/product_files.h"

namespace corvel {

namespace {

std::vector<VendorEntry>& entries() {
    static std::vector<VendorEntry> list;
    return list;
}

const RegisteredReset vendorListReset{[] { entries().clear(); }};

uint32_t keyOf(const uint8_t* oui) {
    return (uint32_t(oui[0]) << 16) | (uint32_t(oui[1]) << 8) | uint32_t(oui[2]);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// One line: six hex digits, blanks, the name; anything after the name's word is ignored.
bool parseLine(std::string_view line, VendorEntry& entry) {
    if (line.size() < 6) return false;
    for (int i = 0; i < 3; ++i) {
        const int high = hexValue(line[size_t(2 * i)]);
        const int low = hexValue(line[size_t(2 * i + 1)]);
        if (high < 0 || low < 0) return false;
        entry.oui[i] = uint8_t(high * 16 + low);
    }
    size_t at = 6;
    if (at >= line.size() || !isBlank(line[at])) return false;
    while (at < line.size() && isBlank(line[at])) ++at;
    size_t end = at;
    while (end < line.size() && !isBlank(line[end])) ++end;
    if (end == at) return false;
    std::string name(line.substr(at, std::min(end - at, kVendorNameLength)));
    underscoreToSpace(name);
    copyText(entry.name, name);
    return true;
}

}  // namespace

void underscoreToSpace(std::string& text) {
    std::replace(text.begin(), text.end(), '_', ' ');
}

VendorListText parseVendorList(std::string_view text) {
    VendorListText result;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (std::all_of(line.begin(), line.end(), isBlank)) continue;
        VendorEntry entry{};
        if (parseLine(line, entry))
            result.entries.push_back(entry);
        else
            ++result.malformedLines;
    }
    std::stable_sort(
        result.entries.begin(), result.entries.end(),
        [](const VendorEntry& a, const VendorEntry& b) { return keyOf(a.oui) < keyOf(b.oui); });
    return result;
}

size_t loadVendorList() {
    std::vector<uint8_t> bytes;
    std::string path;
    if (!readProductFile(kVendorListFileName, bytes, path, kMaxVendorListFileSize)) {
        entries().clear();
        return 0;
    }
    VendorListText list = parseVendorList(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    entries() = std::move(list.entries);
    return list.malformedLines;
}

const std::vector<VendorEntry>& vendorList() {
    return entries();
}

void setVendorList(std::vector<VendorEntry> list) {
    entries() = std::move(list);
}

std::string vendorName(const uint8_t* mac) {
    const Preferences& p = preferences();
    if (std::memcmp(mac, p.ownOui, 3) == 0) return stringOf(p.ownVendorName);

    // Every entry can be found, the first included; with equal OUIs the first line wins.
    const uint32_t key = keyOf(mac);
    const auto& list = entries();
    const auto found = std::lower_bound(
        list.begin(), list.end(), key,
        [](const VendorEntry& entry, uint32_t wanted) { return keyOf(entry.oui) < wanted; });
    if (found != list.end() && keyOf(found->oui) == key) return stringOf(found->name);
    return kUnknownVendor;
}

}  // namespace corvel
