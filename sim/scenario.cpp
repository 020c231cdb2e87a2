// SPDX-License-Identifier: MIT
#include "sim/scenario.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <vector>

#include "keys/derive.h"
#include "platform/files.h"

namespace corvel::sim {

namespace {

using nlohmann::json;

constexpr size_t kMaxPorts = 8;
constexpr size_t kMaxStations = 200;
constexpr uint64_t kMaxMs = 3600000;
// A scenario nests five levels deep; far deeper nesting is no scenario, and walking it would
// cost stack in every recursive reader of the document.
constexpr int kMaxNesting = 32;
// The largest scenario (8 ports of 200 stations) is well under a megabyte.
constexpr size_t kMaxScenarioBytes = 4 * 1024 * 1024;

[[noreturn]] void fail(const std::string& path, const std::string& problem) {
    throw ScenarioError(path + ": " + problem);
}

std::string childPath(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string itemPath(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

// The offending value as it stood in the file, cut short when long.
std::string shown(const json& value) {
    std::string text = value.dump();
    return text.size() > 40 ? text.substr(0, 37) + "..." : text;
}

std::optional<std::vector<uint8_t>> parseHex(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char* first = text.data() + 2 * i;
        auto [end, error] = std::from_chars(first, first + 2, bytes[i], 16);
        if (error != std::errc() || end != first + 2) return std::nullopt;
    }
    return bytes;
}

// Decimal, or (when allowed) hexadecimal after 0x.
std::optional<uint32_t> parseNumber(std::string_view text, bool allowHex = true) {
    int base = 10;
    if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A JSON object read field by field. Every field must be read before finish(): one that is not
// is a field the format does not have, most likely a misspelt one.
class Object {
public:
    Object(const json& value, std::string path) : value_(value), path_(std::move(path)) {
        if (!value_.is_object())
            fail(path_.empty() ? "scenario" : path_, "expected an object, got " + shown(value_));
    }

    const std::string& path() const { return path_; }
    std::string pathOf(std::string_view key) const { return childPath(path_, key); }

    bool isExplicitNull(std::string_view key) {
        read_.insert(std::string(key));
        auto it = value_.find(std::string(key));
        return it != value_.end() && it->is_null();
    }

    // The field, or nullptr when it is absent or null (null asks for the default).
    const json* find(std::string_view key) {
        read_.insert(std::string(key));
        auto it = value_.find(std::string(key));
        return it == value_.end() || it->is_null() ? nullptr : &*it;
    }

    bool flag(std::string_view key, bool fallback) {
        const json* v = find(key);
        if (v == nullptr) return fallback;
        if (!v->is_boolean()) fail(pathOf(key), "expected true or false, got " + shown(*v));
        return v->get<bool>();
    }

    uint64_t number(std::string_view key, uint64_t fallback, uint64_t min, uint64_t max) {
        const json* v = find(key);
        if (v == nullptr) return fallback;
        const bool whole =
            v->is_number_unsigned() || (v->is_number_integer() && v->get<int64_t>() >= 0);
        if (!whole || v->get<uint64_t>() < min || v->get<uint64_t>() > max)
            fail(pathOf(key), "expected a whole number from " + std::to_string(min) + " to " +
                                  std::to_string(max) + ", got " + shown(*v));
        return v->get<uint64_t>();
    }

    uint8_t byte(std::string_view key, uint8_t fallback, uint8_t min = 0, uint8_t max = 255) {
        return uint8_t(number(key, fallback, min, max));
    }

    std::string text(std::string_view key, const std::string& fallback, size_t minLength,
                     size_t maxLength) {
        const json* v = find(key);
        if (v == nullptr) return fallback;
        if (!v->is_string()) fail(pathOf(key), "expected a text, got " + shown(*v));
        const std::string s = v->get<std::string>();
        if (s.size() < minLength || s.size() > maxLength)
            fail(pathOf(key), "expected a text of " + std::to_string(minLength) + " to " +
                                  std::to_string(maxLength) + " characters, got " + shown(*v));
        return s;
    }

    std::optional<std::vector<uint8_t>> hex(std::string_view key, size_t minBytes,
                                            size_t maxBytes) {
        const json* v = find(key);
        if (v == nullptr) return std::nullopt;
        const std::string what = minBytes == maxBytes
                                     ? std::to_string(minBytes) + " bytes in hex (" +
                                           std::to_string(2 * minBytes) + " hex digits)"
                                     : "up to " + std::to_string(maxBytes) + " bytes in hex";
        if (!v->is_string()) fail(pathOf(key), "expected " + what + ", got " + shown(*v));
        auto bytes = parseHex(v->get<std::string>());
        if (!bytes || bytes->size() < minBytes || bytes->size() > maxBytes)
            fail(pathOf(key), "expected " + what + ", got " + shown(*v));
        return bytes;
    }

    const json* array(std::string_view key, size_t maxItems) {
        const json* v = find(key);
        if (v == nullptr) return nullptr;
        if (!v->is_array()) fail(pathOf(key), "expected an array, got " + shown(*v));
        if (v->size() > maxItems)
            fail(pathOf(key), "at most " + std::to_string(maxItems) + " entries, got " +
                                  std::to_string(v->size()));
        return v;
    }

    void finish() const {
        for (auto it = value_.begin(); it != value_.end(); ++it)
            if (read_.count(it.key()) == 0) fail(pathOf(it.key()), "unknown field");
    }

private:
    const json& value_;
    std::string path_;
    std::set<std::string> read_;
};

UnrelatedFrame parseUnrelated(const json& v, const std::string& path) {
    const std::string expected =
        "expected \"ipv4\", \"av\", \"av:0xMMMM\", \"hp10\" or \"hp10:0xTT\", got " + shown(v);
    if (!v.is_string()) fail(path, expected);
    const std::string text = v.get<std::string>();
    const size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    std::optional<uint32_t> type;
    if (colon != std::string::npos) {
        type = parseNumber(std::string_view(text).substr(colon + 1));
        if (!type) fail(path, expected);
    }
    if (kind == "ipv4" && !type) return {UnrelatedFrame::Kind::Ipv4, 0};
    if (kind == "av" && (!type || *type <= 0xFFFF))
        return {UnrelatedFrame::Kind::Av, uint16_t(type.value_or(kDefaultUnrelatedMmtype))};
    if (kind == "hp10" && (!type || *type <= 0xFF))
        return {UnrelatedFrame::Kind::Hp10, uint16_t(type.value_or(kDefaultUnrelatedEntryType))};
    fail(path, expected);
}

// {"0xA025": 5, ...}: extra milliseconds before the answers of each message type.
std::map<uint16_t, uint32_t> parseLatencyByType(Object& parent) {
    std::map<uint16_t, uint32_t> latencies;
    const json* v = parent.find("latencyByType");
    if (v == nullptr) return latencies;
    Object o(*v, parent.pathOf("latencyByType"));
    for (auto it = v->begin(); it != v->end(); ++it) {
        const auto type = parseNumber(it.key());
        if (!type || *type > 0xFFFF)
            fail(o.pathOf(it.key()), "expected a message type like \"0xA025\" or \"0x13\"");
        latencies[uint16_t(*type)] = uint32_t(o.number(it.key(), 0, 0, kMaxMs));
    }
    return latencies;
}

NoiseStream parseNoise(Object& parent) {
    NoiseStream noise;
    const json* v = parent.find("noise");
    if (v == nullptr) return noise;
    Object o(*v, parent.pathOf("noise"));
    noise.everyMs = uint32_t(o.number("everyMs", 0, 1, kMaxMs));
    if (const json* frame = o.find("frame")) noise.frame = parseUnrelated(*frame, o.pathOf("frame"));
    o.finish();
    return noise;
}

Faults::Burst parseBurst(Object& parent) {
    Faults::Burst burst;
    const json* v = parent.find("burst");
    if (v == nullptr) return burst;
    Object o(*v, parent.pathOf("burst"));
    burst.count = uint32_t(o.number("count", 0, 0, 1000));
    if (const json* frame = o.find("frame")) burst.frame = parseUnrelated(*frame, o.pathOf("frame"));
    o.finish();
    return burst;
}

Faults parseFaults(Object& parent, std::string_view key) {
    Faults faults;
    const json* v = parent.find(key);
    if (v == nullptr) return faults;
    Object o(*v, parent.pathOf(key));
    faults.offline = o.flag("offline", false);
    faults.silent = o.flag("silent", false);
    faults.latencyMs = uint32_t(o.number("latencyMs", 0, 0, kMaxMs));
    faults.latencyByType = parseLatencyByType(o);
    faults.avStatus = o.byte("avStatus", 0);
    if (const json* list = o.array("unrelated", 100))
        for (size_t i = 0; i < list->size(); ++i)
            faults.unrelated.push_back(
                parseUnrelated((*list)[i], itemPath(o.pathOf("unrelated"), i)));
    faults.burst = parseBurst(o);
    faults.indications = uint32_t(o.number("indications", 0, 0, 1000));
    faults.truncateTo = size_t(o.number("truncate", 0, 0, 65535));
    faults.failChunk = uint32_t(o.number("failChunk", 0, 0, UINT32_MAX));
    faults.failStatus = o.byte("failStatus", faults.failStatus, 1, 255);
    faults.silentAfterChunk = uint32_t(o.number("silentAfterChunk", 0, 0, UINT32_MAX));
    faults.wrongChecksum = o.flag("wrongChecksum", false);
    faults.spoofNetworkInfo = o.flag("spoofNetworkInfo", false);
    faults.forgeVersion = o.flag("forgeVersion", false);
    if (const json* from = o.find("spoofFrom")) {
        std::optional<Mac> mac;
        if (from->is_string()) mac = parseMac(from->get<std::string>());
        if (!mac || ((*mac)[0] & 0x01) != 0 || *mac == Mac{})
            fail(o.pathOf("spoofFrom"),
                 "expected an individual MAC address like 02:00:00:00:66:66, got " + shown(*from));
        faults.spoofFrom = *mac;
    }
    faults.hostSourceBurst = uint32_t(o.number("hostSourceBurst", 0, 0, 1000));
    o.finish();
    return faults;
}

LinkRates parseRates(Object& parent) {
    LinkRates rates;
    const json* v = parent.find("rates");
    if (v == nullptr) return rates;
    Object o(*v, parent.pathOf("rates"));
    rates.avTx = o.byte("avTx", rates.avTx);
    rates.avRx = o.byte("avRx", rates.avRx);
    rates.hp10Raw = uint16_t(o.number("hp10", rates.hp10Raw, 0, 0xFFFF));
    rates.hp10Aux1 = uint16_t(o.number("hp10Aux1", rates.hp10Aux1, 0, 0xFFFF));
    rates.hp10Aux2 = uint16_t(o.number("hp10Aux2", rates.hp10Aux2, 0, 0xFFFF));
    rates.turboRaw = uint16_t(o.number("turbo", rates.turboRaw, 0, 0xFFFF));
    o.finish();
    return rates;
}

// ---- Link health: moving rates, counters, tone map, reset silence, departure ----

// [v, v, ...] played in turn, or {"start", "min", "max", "step", "seed"}: a seeded random walk.
std::optional<RateSchedule> parseRateSchedule(Object& parent, std::string_view key, uint8_t fixed) {
    const json* v = parent.find(key);
    if (v == nullptr) return std::nullopt;
    const std::string path = parent.pathOf(key);
    if (v->is_array()) {
        if (v->empty() || v->size() > 1000)
            fail(path, "expected 1 to 1000 rate values, got " + std::to_string(v->size()));
        std::vector<uint8_t> values;
        for (size_t i = 0; i < v->size(); ++i) {
            const json& item = (*v)[i];
            if (!item.is_number_unsigned() || item.get<uint64_t>() > 255)
                fail(itemPath(path, i), "expected a rate byte 0..255, got " + shown(item));
            values.push_back(item.get<uint8_t>());
        }
        return RateSchedule::list(std::move(values));
    }
    if (!v->is_object())
        fail(path,
             "expected a list of rate bytes or a walk {\"start\", \"min\", \"max\", "
             "\"step\", \"seed\"}, got " +
                 shown(*v));
    Object walk(*v, path);
    const uint8_t min = walk.byte("min", 0);
    const uint8_t max = walk.byte("max", 255);
    if (min > max) fail(walk.pathOf("min"), "min is above max");
    const uint8_t start = walk.byte("start", std::clamp(fixed, min, max), min, max);
    const uint8_t step = walk.byte("step", 4);
    const uint64_t seed = walk.number("seed", 1, 0, UINT32_MAX);
    walk.finish();
    return RateSchedule::walk(start, min, max, step, seed);
}

ToneMapShape parseToneMap(Object& parent) {
    ToneMapShape shape;
    const json* v = parent.find("toneMap");
    if (v == nullptr) return shape;
    Object o(*v, parent.pathOf("toneMap"));
    shape.lowCode = o.byte("from", shape.lowCode, 0, 8);
    shape.highCode = o.byte("to", shape.lowCode, 0, 8);
    shape.slots = o.byte("slots", shape.slots, 1, kMaxToneMapSlots);
    if (const json* list = o.array("notches", 32))
        for (size_t i = 0; i < list->size(); ++i) {
            Object notch((*list)[i], itemPath(o.pathOf("notches"), i));
            if (notch.find("fromKHz") == nullptr || notch.find("toKHz") == nullptr)
                fail(notch.path(), "a notch needs fromKHz and toKHz");
            Notch n;
            n.fromKHz = uint32_t(notch.number("fromKHz", 0, 1800, 30000));
            n.toKHz = uint32_t(notch.number("toKHz", 0, n.fromKHz, 30000));
            notch.finish();
            shape.notches.push_back(n);
        }
    o.finish();
    return shape;
}

LinkProfile parseLink(Object& parent, const LinkRates& rates) {
    LinkProfile link;
    const json* v = parent.find("link");
    if (v == nullptr) return link;
    Object o(*v, parent.pathOf("link"));
    link.tx = parseRateSchedule(o, "tx", rates.avTx);
    link.rx = parseRateSchedule(o, "rx", rates.avRx);
    link.everyMs = uint32_t(o.number("everyMs", link.everyMs, 10, kMaxMs));
    link.mpdusPerSecond = uint32_t(o.number("mpdusPerSecond", link.mpdusPerSecond, 0, 1000000));
    link.errorPermille = uint16_t(o.number("errorPermille", link.errorPermille, 0, 1000));
    link.toneMap = parseToneMap(o);
    link.resetSilenceMs = uint32_t(o.number("resetSilenceMs", link.resetSilenceMs, 0, kMaxMs));
    link.leaveAfterMs = uint32_t(o.number("leaveAfterMs", 0, 0, kMaxMs));
    if (o.find("returnAfterMs") != nullptr) {
        if (link.leaveAfterMs == 0) fail(o.pathOf("returnAfterMs"), "needs leaveAfterMs");
        link.returnAfterMs =
            uint32_t(o.number("returnAfterMs", 0, link.leaveAfterMs + 1, kMaxMs));
    }
    o.finish();
    return link;
}

Family parseFamily(Object& o, Family fallback) {
    const std::string name = o.text("family", "", 0, 16);
    if (name.empty() && o.find("family") == nullptr) return fallback;
    if (name == "av") return Family::Av;
    if (name == "hp10") return Family::HomePlug10;
    if (name == "turbo") return Family::Turbo;
    fail(o.pathOf("family"), "expected \"av\", \"hp10\" or \"turbo\", got \"" + name + "\"");
}

Mac parseDeviceMac(Object& o, const Mac& fallback, std::map<Mac, std::string>& seen) {
    const std::string path = o.pathOf("mac");
    Mac mac = fallback;
    if (const json* v = o.find("mac")) {
        std::optional<Mac> parsed;
        if (v->is_string()) parsed = parseMac(v->get<std::string>());
        if (!parsed) fail(path, "expected a MAC address like 00:B0:52:00:00:10, got " + shown(*v));
        mac = *parsed;
    }
    if ((mac[0] & 0x01) != 0) fail(path, formatMac(mac) + " is a group address, not a device's");
    if (mac == Mac{}) fail(path, "00:00:00:00:00:00 is not a device address");
    if (mac == Mac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01})
        fail(path, "00:B0:52:00:00:01 is the local-management address, not a device's");
    auto [it, added] = seen.emplace(mac, o.path());
    if (!added) fail(path, formatMac(mac) + " is already the MAC of " + it->second);
    return mac;
}

std::optional<ParamBlock> parseParams(Object& o, std::string_view key) {
    auto bytes = o.hex(key, kParamBlockLength, kParamBlockLength);
    if (!bytes) return std::nullopt;
    ParamBlock block{};
    std::copy(bytes->begin(), bytes->end(), block.begin());
    return block;
}

DeviceConfig parseDevice(const json& value, const std::string& path, Family fallbackFamily,
                         const Mac& fallbackMac, std::map<Mac, std::string>& seen) {
    Object o(value, path);
    o.text("comment", "", 0, 1000);
    DeviceConfig c;
    c.family = parseFamily(o, fallbackFamily);
    c.mac = parseDeviceMac(o, fallbackMac, seen);
    c.password = o.text("password", defaultPassword(c.mac), 1, 64);

    const bool av = c.family == Family::Av;
    const bool named = o.find("networkName") != nullptr;
    if (auto key = o.hex("key", av ? 16 : 8, av ? 16 : 8)) {
        if (named) fail(o.pathOf("key"), "give networkName or key, not both");
        if (av)
            std::copy(key->begin(), key->end(), c.nmk.begin());
        else
            std::copy(key->begin(), key->end(), c.nek.begin());
    } else {
        const std::string publicName(av ? kPublicAvName : kPublicHp10Name);
        const std::string name = o.text("networkName", publicName, 1, 64);
        if (av)
            c.nmk = deriveNMK(name);
        else
            c.nek = deriveHP10Key(name);
    }
    c.keySelect = o.byte("keySelect", 1, 1, 255);

    DeviceProfile& p = c.profile;
    p.kind = o.byte("kind", 0, 1, 127);
    p.chipGeneration = o.byte("chipGeneration", p.chipGeneration);
    p.firmware = o.text("firmware", p.firmware, 0, 64);
    p.vendor = o.text("vendor", p.vendor, 0, 120);
    p.product = o.text("product", p.product, 0, 120);
    if (const json* v = o.find("version")) {
        Object version(*v, o.pathOf("version"));
        p.versionForm = version.byte("form", p.versionForm);
        p.versionMajor = version.byte("major", p.versionMajor);
        p.versionMinor = version.byte("minor", p.versionMinor);
        version.finish();
    }
    p.turboFirmware = o.text("turboFirmware", p.turboFirmware, 0, 200);

    const std::string pibVersion = o.text("pibVersion", "3.3", 3, 7);
    const size_t dot = pibVersion.find('.');
    const auto major = parseNumber(pibVersion.substr(0, dot), false);
    const auto minor =
        dot == std::string::npos ? std::nullopt : parseNumber(pibVersion.substr(dot + 1), false);
    if (!major || !minor || *major > 255 || *minor > 255)
        fail(o.pathOf("pibVersion"),
             "expected \"major.minor\" like \"3.3\", got \"" + pibVersion + "\"");
    c.pibMajor = uint8_t(*major);
    c.pibMinor = uint8_t(*minor);

    p.configStatus = o.byte("configStatus", p.configStatus);
    p.configBlock = o.hex("configBlock", 0, 255).value_or(std::vector<uint8_t>{});
    c.storedParams = parseParams(o, "storedParams");
    c.workingParams = parseParams(o, "workingParams");
    p.rates = parseRates(o);
    p.link = parseLink(o, p.rates);
    p.rebootMs = uint32_t(o.number("rebootMs", 0, 0, kMaxMs));
    p.upgradeRebootMs = uint32_t(o.number("upgradeRebootMs", 0, 0, kMaxMs));
    p.upgradedFirmware = o.text("upgradedFirmware", "", 0, 64);
    p.loaderAnswersOwnAddress = o.flag("loaderAnswersOwnAddress", true);
    c.inLoader = o.flag("inLoader", false);
    if (c.inLoader && av)
        fail(o.pathOf("inLoader"), "an AV device has no secondary loader; only hp10 and turbo do");
    p.faults = parseFaults(o, "faults");
    o.finish();
    return c;
}

struct PortPlan {
    std::string interfaceName;
    std::optional<DeviceConfig> local;
    std::vector<DeviceConfig> stations;
    Faults faults;
    NoiseStream noise;
};

PortPlan parsePort(const json& value, const std::string& path, int index,
                   std::map<Mac, std::string>& seen) {
    Object o(value, path);
    o.text("comment", "", 0, 1000);
    PortPlan plan;
    plan.interfaceName = o.text("interface", "plc" + std::to_string(index), 1, 64);
    if (plan.interfaceName.find_first_of(" \t\n=") != std::string::npos)
        fail(o.pathOf("interface"), "an interface name has no blanks and no '='");
    plan.faults = parseFaults(o, "faults");
    plan.noise = parseNoise(o);
    if (!o.isExplicitNull("local")) {
        const json* v = o.find("local");
        plan.local = parseDevice(v != nullptr ? *v : json::object(), o.pathOf("local"), Family::Av,
                                 defaultDeviceMac(index, 0), seen);
    }
    const Family stationFamily = plan.local ? plan.local->family : Family::Av;
    if (const json* list = o.array("stations", kMaxStations))
        for (size_t i = 0; i < list->size(); ++i) {
            const std::string stationPath = itemPath(o.pathOf("stations"), i);
            plan.stations.push_back(parseDevice((*list)[i], stationPath, stationFamily,
                                                defaultDeviceMac(index, int(i + 1)), seen));
            if (plan.stations.back().inLoader)
                fail(childPath(stationPath, "inLoader"),
                     "only the local device is upgraded through its loader");
        }
    o.finish();
    return plan;
}

// nlohmann's messages start with "[json.exception.parse_error.101] ": the rest is the reader's.
std::string withoutExceptionTag(const std::string& message) {
    const size_t end = message.find("] ");
    return message.rfind("[json.exception.", 0) == 0 && end != std::string::npos
               ? message.substr(end + 2)
               : message;
}

}  // namespace

Mac defaultDeviceMac(int port, int index) {
    return Mac{0x00, 0xB0, 0x52, 0x5E, uint8_t(port), uint8_t(index)};
}

namespace {

// The deepest nesting of arrays and objects, brackets inside strings not counted; stops
// counting past `limit`.
int nestingDepth(std::string_view text, int limit) {
    int depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') deepest = std::max(deepest, ++depth);
        else if (c == ']' || c == '}') --depth;
        if (deepest > limit) break;
    }
    return deepest;
}

Network buildNetwork(const json& doc);

}  // namespace

Network parseScenario(std::string_view text) {
    if (text.size() > kMaxScenarioBytes)
        throw ScenarioError("larger than " + std::to_string(kMaxScenarioBytes) + " bytes");
    if (nestingDepth(text, kMaxNesting) > kMaxNesting)
        throw ScenarioError("nested more than " + std::to_string(kMaxNesting) + " levels deep");
    try {
        return buildNetwork(json::parse(text.begin(), text.end()));
    } catch (const json::exception& e) {
        // A parse error, or a value of another type than a reader asked for.
        throw ScenarioError(withoutExceptionTag(e.what()));
    }
}

namespace {

Network buildNetwork(const json& doc) {
    Object top(doc, "");
    top.text("comment", "", 0, 1000);
    const json* ports = top.array("ports", kMaxPorts);
    if (ports == nullptr || ports->empty()) fail("ports", "expected at least one port");
    std::map<Mac, std::string> seen;
    std::vector<PortPlan> plans;
    for (size_t i = 0; i < ports->size(); ++i) {
        plans.push_back(parsePort((*ports)[i], itemPath("ports", i), int(i), seen));
        for (size_t j = 0; j + 1 < plans.size(); ++j)
            if (plans[j].interfaceName == plans.back().interfaceName)
                fail(itemPath("ports", i) + ".interface", plans.back().interfaceName +
                                                              " is already the interface of " +
                                                              itemPath("ports", j));
    }
    top.finish();

    Network network;
    for (const PortPlan& plan : plans) {
        const int port = network.addPort(plan.interfaceName);
        network.port(port).faults = plan.faults;
        network.port(port).noise = plan.noise;
        if (plan.local) network.setLocal(port, *plan.local);
        for (const DeviceConfig& station : plan.stations) network.addStation(port, station);
    }
    return network;
}

}  // namespace

Network loadScenario(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    // Read without waiting on a FIFO and with a bound; a link the user names is followed.
    if (!readWholeFile(path, bytes, error, ReadRules{kMaxScenarioBytes, true})) {
        const std::string prefix = path + ": ";
        throw ScenarioError(prefix + "cannot be read (" +
                            (error.starts_with(prefix) ? error.substr(prefix.size()) : error) + ")");
    }
    try {
        return parseScenario(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const ScenarioError& e) {
        throw ScenarioError(path + ": " + e.what());
    }
}

std::string scenarioFormatHelp() {
    return R"(SCENARIO FILE (JSON)
  Describes the powerline network behind each host interface. Only "ports" is required,
  every other field has the default shown, and a field not listed here is an error. The
  smallest file, {"ports": [{}]}, is one AV local device on plc0 on the public network.

Top level
  ports           array of 1 to 8 ports
  comment         text, ignored (also allowed in ports and devices)

Port: one host interface and the wiring behind it
  interface       text, default "plc<index>": the interface the local device is cabled
                  to (plcsim --interface can override it)
  local           device, or null for nothing cabled; default {} (an AV device)
  stations        array of up to 200 devices, default []: the adapters on the same wiring.
                  The local device bridges only to those with its network key (AV NMK or
                  1.0/Turbo NEK); a device's password reaches it across networks.
  faults          faults, default {}: for everything answered on this port
  noise           {"everyMs": 1..3600000, "frame": one "unrelated" entry, default "hp10"},
                  default none: a frame nobody asked for reaches the host every everyMs,
                  from the local device to broadcast

Device
  family          "av", "hp10" (plain HomePlug 1.0) or "turbo"; default "av" for a local
                  device, the local device's family for a station
  mac             "XX:XX:XX:XX:XX:XX", unicast and unique; default 00:B0:52:5E:<port>:<n>,
                  n = 0 for the local device and 1, 2, ... for the stations
  password        text, default sixteen letters made from the MAC (plcsim --show lists
                  them): the printed device password, hashed as given into the DAK (AV)
                  or DEK (1.0/Turbo)
  networkName     text, default "HomePlugAV" (AV) or "HomePlug" (1.0/Turbo): the
                  network key derives from it
  key             hex text, instead of networkName: 32 digits (AV NMK) or 16 (1.0/Turbo NEK)
  keySelect       1..255, default 1: the key select of the 1.0/Turbo network key
  kind            1..127, default 3 (hp10) or 2 (turbo): the kind a 1.0 local answer reports
  chipGeneration  0..255, default 2: AV version confirmation
  firmware        text of up to 64, default "QRB1000-AV-3.3.1.2090-01-20240117-FINAL":
                  AV version text
  vendor          text of up to 120, default "Veltrix": Turbo version reply
  product         text of up to 120, default "Powerline Turbo Adapter": Turbo version reply
  version         {"form", "major", "minor"}, each 0..255, default {2, 1, 4}: Turbo version
                  reply (form 1: fixed texts, minor 0x15 meaning 1.2)
  turboFirmware   text of up to 200, default "TURBO-MAC-4-0-1-7-0012": Turbo read 0x20
  pibVersion      "major.minor", default "3.3": version of the AV PIB (7992 bytes, MAC at
                  12, NMK at 100)
  configStatus    0..255, default 0: AV configuration block status (0 the upgrade ends
                  with a module commit, 2 with a start request)
  configBlock     hex text of up to 255 bytes, default "": AV configuration block
  storedParams    hex text of 50 bytes: 1.0 parameter copy 1; default: the MAC at 0..5,
                  zero local parameters at 23..25. Bytes 6..22 always hold the device's
                  keys (key select 0 key, key select, NEK).
  workingParams   hex text of 50 bytes, default storedParams: 1.0 parameter copy 2
  rates           rates, default {}
  rebootMs        0..3600000, default 0: AV, milliseconds away after its NMK changed
  upgradeRebootMs 0..3600000, default 0: milliseconds away restarting after an accepted
                  firmware upgrade (AV commit or start, Turbo hardware reset)
  upgradedFirmware text of up to 64, default "": the version text (AV) or firmware text
                  (Turbo) reported after an accepted upgrade; empty keeps the old one
  loaderAnswersOwnAddress bool, default true: Turbo, the secondary loader answers at the
                  device's MAC too, not only at 00:04:87:FE:11:00
  inLoader        bool, default false: hp10 or turbo local device, starts in its secondary
                  loader, as an upgrade that did not finish leaves it: it answers loader
                  frames only until a reset after a commit
  faults          faults, default {}
  link            link, default {}: AV link health

Rates: the raw values each family reports for a station's link with the local device
  avTx            0..255, default 113: AV network information average TX rate byte
  avRx            0..255, default 113: AV network information average RX rate byte
  hp10            0..65535, default 420: 1.0 statistics slot raw rate word
  hp10Aux1        0..65535, default 0: the slot's second word
  hp10Aux2        0..65535, default 0: the slot's third word
  turbo           0..65535, default 2100: Turbo code-24 record raw rate

Link: how an AV station's link with its local device moves over time (times count from
  the simulator's start); an AV local device uses only resetSilenceMs, leaveAfterMs and
  returnAfterMs, a HomePlug 1.0 or Turbo device only leaveAfterMs and returnAfterMs
  tx              rate schedule, default none (rates.avTx, fixed): the network information
                  average rate byte to the station (byte 13), as a list [150, 120, 90] of
                  bytes played in turn, one every everyMs, round and round, or a random walk
                  {"start": 0..255 (default the fixed rate), "min": 0, "max": 255,
                  "step": 4, "seed": 1}: each move goes up or down by at most step, within
                  min..max; the same seed always walks the same way
  rx              rate schedule, default none (rates.avRx): the rate from the station
                  (byte 14)
  everyMs         10..3600000, default 1000: how long each scheduled value holds
  mpdusPerSecond  0..1000000, default 100: frames to the station (half as many come back);
                  the link statistics counters (0xA030) grow with them, three blocks a
                  frame
  errorPermille   0..1000, default 10: frames that collide and blocks that fail, per
                  thousand (a quarter as many frames fail)
  toneMap         {"from": 0..8, default 7, "to": 0..8, default from, "slots": 1..6,
                  default 1, "notches": [{"fromKHz": 1800..30000, "toKHz": ...}, ...]}:
                  the modulation code of the 1155 carriers (0xA070, 0xA090): from at the
                  lowest carrier, to at the highest, evenly between (flat when equal), none
                  inside a notch; each later slot of the line cycle one code lower.
                  Codes: 0 none, 1 BPSK, 2 QPSK, 3 8-QAM, 4 16-QAM, 5 64-QAM, 6 256-QAM,
                  7 1024-QAM, 8 4096-QAM
  resetSilenceMs  0..3600000, default 5000: after confirming a reset (0xA01C) the device
                  answers nothing for this long, then comes back with its link counters
                  started again
  leaveAfterMs    0..3600000, default 0 (never): the device leaves the wiring for good
                  this long after the start, unless returnAfterMs brings it back
  returnAfterMs   leaveAfterMs+1..3600000, default none (only with leaveAfterMs): the
                  device is plugged back in this long after the start and stays, its link
                  counters started again

Faults: of one device, or of a port (then of every device on it)
  offline         bool, default false: hears nothing, answers nothing, bridges nothing
  silent          bool, default false: acts on requests but sends no answer
  latencyMs       0..3600000, default 0: delay of every answer (device and port add up)
  latencyByType   {"0xA025": ms, "0x13": ms, ...}, default {}: more delay for the answers
                  of one type: an AV confirmation's MMTYPE or a 1.0 reply's entry type
  avStatus        0..255, default 0: non-zero: every AV confirmation with a status byte
                  carries it, and the request is not carried out
  unrelated       array of "ipv4", "av", "av:0xMMMM", "hp10", "hp10:0xTT", default []:
                  frames sent before every answer: an IPv4 frame, an AV frame of MMTYPE
                  0xA035 (or the one given), a 1.0 frame of entry type 0x3F (or the one given)
  burst           {"count": 0..1000, "frame": one "unrelated" entry, default "av"},
                  default none: count frames of that kind sent at once before every
                  answer (after the unrelated ones), as on a busy segment
  indications     0..1000, default 0: 0xA062 indications sent before every answer
  truncate        0..65535, default 0 (off): every answer cut to this many bytes
  failChunk       0..4294967295, default 0 (off): upgrades, the k-th write chunk the device
                  takes (AV module or memory write, loader block, counted from 1) is refused
  failStatus      1..255, default 0x14 (20): the status it is refused with
  silentAfterChunk 0..4294967295, default 0 (off): after the k-th write chunk no upgrade
                  request is answered
  wrongChecksum   bool, default false: the loader's checksum answers are wrong
  spoofNetworkInfo bool, default false: ahead of every AV network-information answer, one
                  from spoofFrom that lists spoofFrom as the network's only station
  forgeVersion    bool, default false: with every AV version answer, a forged one from
                  spoofFrom (chip generation 1, text "FORGED-VERSION"): ahead of the answer
                  to a device's own address, right after the answer to the local-management
                  or a group address
  spoofFrom       "XX:XX:XX:XX:XX:XX", default 02:00:00:00:66:66: the address the spoofed
                  and forged frames come from, an individual address of no device
  hostSourceBurst 0..1000, default 0: ahead of every answer, this many copies of it from the
                  host interfaces' own addresses (of every port, in turn), as another host
                  on the segment could send them

Example: an AV network of three, one station on another key (not bridged), one slow
  {"ports": [{"interface": "plc0",
              "local": {"mac": "00:B0:52:00:00:10", "password": "AAAA-BBBB-CCCC-DDDD"},
              "stations": [
                {"mac": "00:B0:52:00:00:11", "rates": {"avTx": 150, "avRx": 140}},
                {"mac": "00:B0:52:00:00:12", "networkName": "Elsewhere"},
                {"mac": "00:B0:52:00:00:13", "faults": {"latencyMs": 40}}]}]}
)";
}

}  // namespace corvel::sim
