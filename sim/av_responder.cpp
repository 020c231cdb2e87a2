// SPDX-License-Identifier: MIT
#include "sim/av_responder.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "sim/av_upgrade_responder.h"
#include "sim/health_responder.h"
#include "sim/network.h"
#include "sim/pib.h"

namespace corvel::sim {

namespace {

constexpr size_t kVersionConfirmLength = 88;
constexpr size_t kVersionTextField = 64;
constexpr size_t kNetworkRecordOffset = 21;
constexpr size_t kStationCountOffset = 38;
constexpr size_t kStationRecordsOffset = 39;
constexpr size_t kStationRecordLength = 15;
constexpr size_t kMaxListedStations =
    (kMaxFrameLength - kStationRecordsOffset) / kStationRecordLength;
constexpr size_t kReadChunkOffset = 36;
constexpr size_t kSetKeyRequestLength = 60;
// Set-key request: key type 0x01 is an NMK. PEKS 0x0F: the key is for the receiving device
// itself; 0x00: it is for the device named by RDA, which proves itself by its DAK.
constexpr uint8_t kNmkKeyType = 0x01;
constexpr uint8_t kPeksOwnDevice = 0x0F;
constexpr uint8_t kPeksRemoteByDak = 0x00;
// Station role of the network record: 0 a station, 2 the central coordinator.
constexpr uint8_t kRoleStation = 0;
constexpr uint8_t kRoleCoordinator = 2;

struct Request {
    Network& network;
    int port;
    Device& device;
    Bytes frame;

    Mac source() const { return macAt(&frame[6]); }
    std::vector<uint8_t> confirmation(uint16_t mmtype, size_t length) const {
        return avFrame(source(), device.mac(), uint16_t(mmtype | 1), length);
    }
};

void answerVersion(const Request& r) {
    std::vector<uint8_t> f = r.confirmation(kAvVersionRequest, kVersionConfirmLength);
    const DeviceProfile& profile = r.device.profile;
    f[20] = r.network.forcedAvStatus(r.port, r.device);
    f[21] = profile.chipGeneration;
    // The length counts the terminating zero when the text leaves room for one.
    const size_t text = std::min(profile.firmware.size(), kVersionTextField);
    f[22] = uint8_t(std::min(text + 1, kVersionTextField));
    std::memcpy(&f[23], profile.firmware.data(), text);
    const Mac asked = macAt(&r.frame[0]);
    r.network.answer(r.port, r.device, std::move(f),
                     asked == kLocalManagementMac || isGroupAddress(asked) ? AskedAt::AnyDevice
                                                                           : AskedAt::Device);
}

// The device's own network as it reports it: itself and every other available AV device of the
// wiring with its NMK, each listed with its TEI (1 for the local device, which coordinates, then
// 2, 3, ... in wiring order) and its rates.
void answerNetworkInfo(const Request& r) {
    Port& port = r.network.port(r.port);
    std::vector<const Device*> ordered;
    if (port.local) ordered.push_back(port.local.get());
    for (const auto& station : port.stations) ordered.push_back(station.get());
    const std::vector<Device*> available = r.network.wiring(r.port);

    uint8_t ownTei = 0;
    const Device* coordinator = nullptr;
    std::vector<std::pair<const Device*, uint8_t>> peers;
    for (size_t i = 0; i < ordered.size(); ++i) {
        const Device* d = ordered[i];
        const uint8_t tei = uint8_t(i + 1);
        if (d == &r.device) {
            ownTei = tei;
            continue;
        }
        const bool up = std::find(available.begin(), available.end(), d) != available.end();
        if (!up || !d->sharesNetworkWith(r.device)) continue;
        if (d == port.local.get()) coordinator = d;
        if (peers.size() < kMaxListedStations) peers.emplace_back(d, tei);
    }

    std::vector<uint8_t> f = r.confirmation(
        kAvNetworkInfoRequest, kStationRecordsOffset + peers.size() * kStationRecordLength);
    if (!peers.empty()) {
        f[20] = 1;  // one network: the device's own
        uint8_t* net = &f[kNetworkRecordOffset];
        // The NID: 54 bits taken from the NMK, security level 0 in the top bits of byte 6.
        std::memcpy(net, r.device.nmk().data(), 7);
        net[6] &= 0x0F;
        net[7] = uint8_t(1 + (r.device.nmk()[7] & 0x0E));  // SNID, never 0
        net[8] = ownTei;
        net[9] = coordinator == nullptr ? kRoleCoordinator : kRoleStation;
        putMac(&net[10], coordinator == nullptr ? r.device.mac() : coordinator->mac());
        net[16] = coordinator == nullptr ? ownTei : 1;
    }
    f[kStationCountOffset] = uint8_t(peers.size());
    for (size_t i = 0; i < peers.size(); ++i) {
        uint8_t* entry = &f[kStationRecordsOffset + i * kStationRecordLength];
        // A station's rates describe its link with the local device; the local device's entry
        // in a station's answer shows that same link. Scheduled rates move with time.
        const DeviceProfile& link =
            peers[i].first == port.local.get() ? r.device.profile : peers[i].first->profile;
        const LinkRates rates = currentRates(link, r.network.elapsedMs());
        putMac(entry, peers[i].first->mac());
        entry[6] = peers[i].second;
        // Bytes 7..12: the address of the host bridged behind the station, unknown here.
        entry[13] = rates.avTx;
        entry[14] = rates.avRx;
    }
    r.network.answer(r.port, r.device, std::move(f));
}

void answerConfigBlock(const Request& r) {
    const std::vector<uint8_t>& block = r.device.profile.configBlock;
    const size_t length = std::min<size_t>(block.size(), 255);
    std::vector<uint8_t> f = r.confirmation(kAvConfigBlockRequest, 22 + length);
    const uint8_t forced = r.network.forcedAvStatus(r.port, r.device);
    f[20] = forced != 0 ? forced : r.device.profile.configStatus;
    f[21] = uint8_t(length);
    std::copy_n(block.begin(), length, f.begin() + 22);
    r.network.answer(r.port, r.device, std::move(f));
}

// Request: 20 module id, 21 zero, 22..23 length, 24..27 offset. Confirmation: 20 status,
// 24 module id, 26..27 chunk length, 28..31 offset, 32..35 chunk checksum, 36.. the chunk.
void answerModuleRead(const Request& r) {
    if (!fits(r.frame, 20, 8)) return;
    const uint8_t module = r.frame[20];
    const uint16_t asked = get16le(&r.frame[22]);
    const uint32_t offset = get32le(&r.frame[24]);
    const std::vector<uint8_t>& pib = r.device.pib();

    uint8_t status = r.network.forcedAvStatus(r.port, r.device);
    if (status == 0 &&
        (module != kAvPibModule || asked == 0 || asked > kAvMaxReadChunk || offset >= pib.size()))
        status = kAvFailureStatus;
    const size_t chunk = status != 0 ? 0 : std::min<size_t>(asked, pib.size() - offset);

    std::vector<uint8_t> f = r.confirmation(kAvModuleReadRequest, kReadChunkOffset + chunk);
    f[20] = status;
    f[24] = module;
    put16le(&f[26], uint16_t(chunk));
    put32le(&f[28], offset);
    if (chunk != 0) {
        std::memcpy(&f[kReadChunkOffset], &pib[offset], chunk);
        put32le(&f[32], complementedWordXor(&pib[offset], chunk));
    }
    r.network.answer(r.port, r.device, std::move(f));
}

// The confirmation comes from the device that received the request, before any device whose
// NMK changed goes away to reboot.
void answerSetKey(const Request& r) {
    if (!fits(r.frame, 20, kSetKeyRequestLength - 20)) return;
    const uint8_t keyType = r.frame[20];
    Key16 nmk{};
    std::memcpy(nmk.data(), &r.frame[21], nmk.size());
    const uint8_t peks = r.frame[37];
    const Mac rda = macAt(&r.frame[38]);
    Key16 dak{};
    std::memcpy(dak.data(), &r.frame[44], dak.size());

    std::vector<Device*> keyed;
    uint8_t status = r.network.forcedAvStatus(r.port, r.device);
    if (status == 0) {
        if (keyType == kNmkKeyType && peks == kPeksOwnDevice) {
            keyed.push_back(&r.device);
        } else if (keyType == kNmkKeyType && peks == kPeksRemoteByDak) {
            // The DAK opens the way to any AV device on the wiring, in the network or not.
            for (Device* d : r.network.wiring(r.port))
                if (d->family() == Family::Av && d->dak() == dak &&
                    (rda == kBroadcastMac || rda == d->mac()))
                    keyed.push_back(d);
        }
        if (keyed.empty()) status = kAvFailureStatus;
    }

    std::vector<uint8_t> f = r.confirmation(kAvSetKeyRequest, kMinFrameLength);
    f[20] = status;
    const uint64_t confirmedAt = r.network.now() + r.network.answerDelay(r.port, r.device);
    r.network.answer(r.port, r.device, std::move(f));

    for (Device* d : keyed) {
        if (d != &r.device) d->logReceived(r.port, r.frame.data(), r.frame.size(), r.network.now());
        if (d->nmk() == nmk) continue;
        d->setNmk(nmk);
        if (d->profile.rebootMs != 0) d->rebootUntil(confirmedAt + d->profile.rebootMs);
    }
}

}  // namespace

std::vector<uint8_t> spoofedNetworkInfo(const Mac& destination, const Mac& source) {
    std::vector<uint8_t> f = avFrame(destination, source, kAvNetworkInfoRequest | 1,
                                     kStationRecordsOffset + kStationRecordLength);
    f[20] = 1;  // one network
    f[kStationCountOffset] = 1;
    uint8_t* entry = &f[kStationRecordsOffset];
    putMac(entry, source);
    entry[6] = 2;  // TEI
    entry[13] = 255;
    entry[14] = 255;
    return f;
}

std::vector<uint8_t> forgedVersion(const Mac& destination, const Mac& source) {
    std::vector<uint8_t> f =
        avFrame(destination, source, kAvVersionRequest | 1, kVersionConfirmLength);
    const size_t text = std::strlen(kForgedVersionText);
    f[21] = 1;  // chip generation
    f[22] = uint8_t(text + 1);
    std::memcpy(&f[23], kForgedVersionText, text);
    return f;
}

void respondAv(Network& network, int port, Device& device, Bytes frame) {
    if (device.family() != Family::Av || !fits(frame, 0, 20)) return;
    const Request request{network, port, device, frame};
    switch (get16le(&frame[15])) {
        case kAvVersionRequest:
            answerVersion(request);
            break;
        case kAvNetworkInfoRequest:
            answerNetworkInfo(request);
            break;
        case kAvConfigBlockRequest:
            answerConfigBlock(request);
            break;
        case kAvModuleReadRequest:
            answerModuleRead(request);
            break;
        case kAvSetKeyRequest:
            answerSetKey(request);
            break;
        default:
            if (!respondHealth(network, port, device, frame))
                respondAvUpgrade(network, port, device, frame);
            break;
    }
}

}  // namespace corvel::sim
