// SPDX-License-Identifier: MIT
#include "sim/hp10_responder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/bytes.h"
#include "sim/network.h"

namespace corvel::sim {

namespace {

constexpr size_t kSlotLength = 12;
constexpr size_t kTurboRecordLength = 14;
// MELEN is one byte: a code-24 reply holds at most (255 - 4) / 14 records.
constexpr size_t kMaxTurboRecords = (255 - 4) / kTurboRecordLength;
// Version reply data: OUI, code, flags, an unused byte, form, major, minor, then two
// length-prefixed texts, all within a one-byte MELEN.
constexpr size_t kVersionFixedData = 9;
constexpr size_t kMaxVersionText = (255 - kVersionFixedData - 2) / 2;
constexpr size_t kMaxFirmwareText = 200;
constexpr uint8_t kRequestBit = 0x80;
constexpr uint8_t kReplyBit = 0x80;
// Parameter request values: 0 asks for the stored copy, 0x10 for the working copy.
constexpr uint8_t kParamsStoredValue = 0x00;
constexpr uint8_t kParamsWorkingValue = 0x10;
// Version reply flags, bit 0: the reply comes from a station across the powerline.
constexpr uint8_t kFromRemoteStation = 0x01;
// The encrypted entry: 01, 00, the DEK; the frame it protects follows the entry directly.
constexpr size_t kEncryptedData = 10;
constexpr size_t kNestedSetKeyLength = 14;

struct Exchange {
    Network& network;
    int port;
    Device& device;
    Bytes frame;

    Mac source() const { return macAt(&frame[6]); }
    std::vector<uint8_t> reply(uint8_t type, uint8_t melen, size_t length) const {
        return hp10Frame(source(), device.mac(), type, melen, length);
    }
    void send(std::vector<uint8_t> f) const { network.answer(port, device, std::move(f)); }
    void sendFrom(Device& from, std::vector<uint8_t> f) const {
        network.answer(port, from, std::move(f));
    }
};

void confirmSetKey(const Exchange& x, Device& from) {
    x.sendFrom(from,
               hp10Frame(x.source(), from.mac(), kHp10SetKeyConfirmEntry, 0, kMinFrameLength));
}

// Statistics reply (also the local answer): the device's kind with bit 7 clear, the three words
// of its own link, then one 12-byte slot per station of its network: MAC, raw rate, two more
// words, all little-endian.
void answerStats(const Exchange& x) {
    std::vector<uint8_t> f =
        x.reply(kHp10StatsEntry, uint8_t(kStatsReplyLength - 17), kStatsReplyLength);
    f[17] = uint8_t(x.device.kind() & 0x7F);
    const LinkRates& own = x.device.profile.rates;
    put16le(&f[18], own.hp10Raw);
    put16le(&f[20], own.hp10Aux1);
    put16le(&f[22], own.hp10Aux2);
    const std::vector<Device*> stations = x.network.bridgedStations(x.port);
    for (size_t i = 0; i < stations.size() && i < kStatsSlots; ++i) {
        uint8_t* slot = &f[24 + i * kSlotLength];
        const LinkRates& rates = stations[i]->profile.rates;
        putMac(slot, stations[i]->mac());
        put16le(slot + 6, rates.hp10Raw);
        put16le(slot + 8, rates.hp10Aux1);
        put16le(slot + 10, rates.hp10Aux2);
    }
    x.send(std::move(f));
}

void answerParams(const Exchange& x, int copy) {
    std::vector<uint8_t> f =
        x.reply(kHp10ParamsEntry, uint8_t(1 + kParamBlockLength), 18 + kParamBlockLength);
    f[17] = uint8_t(copy);
    const ParamBlock& block = x.device.paramBlock(copy);
    std::copy(block.begin(), block.end(), f.begin() + 18);
    x.send(std::move(f));
}

void answerVersion(const Exchange& x, uint8_t flags) {
    const DeviceProfile& p = x.device.profile;
    const std::string vendor = p.vendor.substr(0, kMaxVersionText);
    const std::string product = p.product.substr(0, kMaxVersionText);
    const size_t melen = kVersionFixedData + 1 + vendor.size() + 1 + product.size();
    std::vector<uint8_t> f = x.reply(kHp10VendorEntry, uint8_t(melen), 17 + melen);
    std::memcpy(&f[17], kHp10VendorOui, 3);
    f[20] = kVendorVersionCode | kReplyBit;
    f[21] = flags;
    f[23] = p.versionForm;
    f[24] = p.versionMajor;
    f[25] = p.versionMinor;
    size_t at = 26;
    for (const std::string* text : {&vendor, &product}) {
        f[at++] = uint8_t(text->size());
        std::memcpy(&f[at], text->data(), text->size());
        at += text->size();
    }
    x.send(std::move(f));
}

// Code-24 records of 14 bytes: MAC, raw rate big-endian, two 24-bit counters (left at zero).
void answerTurboStats(const Exchange& x) {
    const std::vector<Device*> stations = x.network.bridgedStations(x.port);
    const size_t count = std::min(stations.size(), kMaxTurboRecords);
    const size_t melen = 4 + count * kTurboRecordLength;
    std::vector<uint8_t> f = x.reply(kHp10VendorEntry, uint8_t(melen), 17 + melen);
    std::memcpy(&f[17], kHp10VendorOui, 3);
    f[20] = kVendorTurboStatsCode | kReplyBit;
    for (size_t i = 0; i < count; ++i) {
        uint8_t* record = &f[21 + i * kTurboRecordLength];
        putMac(record, stations[i]->mac());
        put16be(record + 6, stations[i]->profile.rates.turboRaw);
    }
    x.send(std::move(f));
}

// A read request is acknowledged, then answered: 0x20 with the firmware text (MELEN = its
// length, the text from byte 18), 0x21 with the key select at 18 and the NEK at 19..26.
void answerRead(const Exchange& x, uint8_t sub) {
    if (sub != kReadFirmwareText && sub != kReadNetworkKey) return;
    std::vector<uint8_t> ack = x.reply(kHp10ReadRequestEntry, 1, kMinFrameLength);
    ack[17] = sub;
    x.send(std::move(ack));
    if (sub == kReadFirmwareText) {
        const std::string text = x.device.profile.turboFirmware.substr(0, kMaxFirmwareText);
        std::vector<uint8_t> f =
            x.reply(kHp10ReadReplyEntry, uint8_t(text.size()), 18 + text.size());
        f[17] = sub;
        std::memcpy(&f[18], text.data(), text.size());
        x.send(std::move(f));
    } else {
        std::vector<uint8_t> f = x.reply(kHp10ReadReplyEntry, 10, 27);
        f[17] = sub;
        f[18] = x.device.keySelect();
        std::memcpy(&f[19], x.device.nek().data(), 8);
        x.send(std::move(f));
    }
}

// Key select 0 holds the key the local device uses to reach one remote device; any other select
// names the network key.
void takeKey(Device& device, uint8_t keySelect, const Key8& key) {
    if (keySelect == 0)
        device.setSelectZeroKey(key);
    else
        device.setNek(keySelect, key);
}

Key8 keyAt(const uint8_t* bytes) {
    Key8 key{};
    std::memcpy(key.data(), bytes, key.size());
    return key;
}

void setKeyOnLocal(const Exchange& x, const Hp10Entry& e) {
    if (e.available < 9) return;
    const uint8_t keySelect = x.frame[e.offset];
    const Key8 key = keyAt(&x.frame[e.offset + 1]);
    // Broadcast while the local parameters point at key select 0: the frame also goes out under
    // that key, and the station whose DEK it is takes the network key.
    std::vector<Device*> reached;
    if (macAt(&x.frame[0]) == kBroadcastMac && keySelect != 0 && x.device.forwardsUnderSelectZero())
        for (Device* d : x.network.wiring(x.port))
            if (d != &x.device && speaksHp10(d->family()) && d->dek() == x.device.selectZeroKey())
                reached.push_back(d);
    takeKey(x.device, keySelect, key);
    confirmSetKey(x, x.device);
    for (Device* station : reached) {
        station->logReceived(x.port, x.frame.data(), x.frame.size(), x.network.now());
        station->setNek(keySelect, key);
        confirmSetKey(x, *station);
    }
}

// The encrypted set key of a Turbo local device: the frame behind the entry carries a set-key
// entry for whichever device (the local one included) has the DEK the entry names.
void encryptedSetKey(const Exchange& x, const Hp10Entry& e) {
    if (e.available < kEncryptedData) return;
    const Key8 dek = keyAt(&x.frame[e.offset + 2]);
    const size_t nested = e.offset + e.declared;
    if (!fits(x.frame, nested, kNestedSetKeyLength)) return;
    const uint8_t* n = &x.frame[nested];
    if (get16be(n) != kHp10Ethertype || n[2] == 0 || n[3] != kHp10SetKeyEntry || n[4] < 9) return;
    const uint8_t keySelect = n[5];
    if (keySelect == 0) return;
    const Key8 nek = keyAt(n + 6);
    for (Device* d : x.network.wiring(x.port)) {
        if (!speaksHp10(d->family()) || d->dek() != dek) continue;
        if (d != &x.device) d->logReceived(x.port, x.frame.data(), x.frame.size(), x.network.now());
        d->setNek(keySelect, nek);
        confirmSetKey(x, *d);
    }
}

void respondAsStation(const Exchange& x, const Hp10Entry& e) {
    if (e.type == kHp10StatsRequestEntry) {
        x.send(x.reply(kHp10StationAnswerEntry, 0, kMinFrameLength));
    } else if (e.type == kHp10VendorEntry && x.device.family() == Family::Turbo &&
               e.available >= 4 &&
               std::equal(kHp10VendorOui, kHp10VendorOui + 3, &x.frame[e.offset]) &&
               x.frame[e.offset + 3] == kVendorVersionCode) {
        // Plain 1.0 stations know no vendor entries; a Turbo one says it is remote.
        answerVersion(x, kFromRemoteStation);
    }
}

void respondAsLocal(const Exchange& x, const Hp10Entry& e) {
    const bool turbo = x.device.family() == Family::Turbo;
    const uint8_t* data = x.frame.data() + e.offset;
    switch (e.type) {
        case kHp10StatsRequestEntry:
            // Every device that hears the statistics request answers it with a station answer;
            // the local link's statistics come with the answer to the local query (0x1A).
            x.send(x.reply(kHp10StationAnswerEntry, 0, kMinFrameLength));
            break;
        case kHp10StatsEntry:
            if (e.available >= 1 && (data[0] & kRequestBit) != 0) answerStats(x);
            break;
        case kHp10ParamsEntry:
            if (e.available >= 1 && data[0] == kParamsStoredValue) answerParams(x, 1);
            if (e.available >= 1 && data[0] == kParamsWorkingValue) answerParams(x, 2);
            break;
        case kHp10VendorEntry:
            // Only Turbo devices answer vendor entries: a plain 1.0 local device stays quiet,
            // which is how the host tells the two apart.
            if (!turbo || e.available < 4 || !std::equal(kHp10VendorOui, kHp10VendorOui + 3, data))
                break;
            if (data[3] == kVendorVersionCode) answerVersion(x, 0);
            if (data[3] == kVendorTurboStatsCode) answerTurboStats(x);
            break;
        case kHp10ReadRequestEntry:
            if (turbo && e.available >= 1) answerRead(x, data[0]);
            break;
        case kHp10SetKeyEntry:
            setKeyOnLocal(x, e);
            break;
        case kHp10LocalParamsEntry:
            if (e.available >= 3) x.device.setLocalParameters(data[0], data[1], data[2]);
            break;
        case kHp10EncryptedEntry:
            if (turbo) encryptedSetKey(x, e);
            break;
        default:
            break;
    }
}

}  // namespace

std::vector<Hp10Entry> hp10Entries(Bytes frame) {
    std::vector<Hp10Entry> entries;
    if (!fits(frame, 14, 1)) return entries;
    size_t at = 15;
    for (unsigned i = 0; i < frame[14] && fits(frame, at, 2); ++i) {
        const size_t data = at + 2;
        const uint8_t declared = frame[at + 1];
        const size_t available = std::min<size_t>(declared, frame.size() - data);
        entries.push_back({frame[at], declared, data, available});
        if (available < declared) break;
        at = data + declared;
    }
    return entries;
}

void respondHp10(Network& network, int port, Device& device, Hp10Role role, Bytes frame) {
    if (!speaksHp10(device.family()) || !fits(frame, 0, 17)) return;
    const Exchange x{network, port, device, frame};
    for (const Hp10Entry& e : hp10Entries(frame)) {
        if (role == Hp10Role::Station)
            respondAsStation(x, e);
        else
            respondAsLocal(x, e);
    }
}

void forwardHp10SetKey(Network& network, int port, Device& local, Device& station, Bytes frame) {
    const std::vector<Hp10Entry> entries = hp10Entries(frame);
    if (entries.empty() || entries[0].type != kHp10SetKeyEntry || entries[0].available < 9) return;
    const uint8_t keySelect = frame[entries[0].offset];
    // A station's own key select 0 holds its DEK, which no host changes from afar.
    if (keySelect == 0) return;
    const bool opens = local.forwardsUnderSelectZero() ? local.selectZeroKey() == station.dek()
                                                       : station.sharesNetworkWith(local);
    if (!opens) return;
    station.logReceived(port, frame.data(), frame.size(), network.now());
    station.setNek(keySelect, keyAt(&frame[entries[0].offset + 1]));
    const Exchange x{network, port, station, frame};
    confirmSetKey(x, station);
}

}  // namespace corvel::sim
