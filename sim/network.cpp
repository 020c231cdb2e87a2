// SPDX-License-Identifier: MIT
#include "sim/network.h"

#include <algorithm>
#include <stdexcept>

#include "platform/bytes.h"
#include "platform/clock.h"
#include "sim/av_responder.h"
#include "sim/frame_bytes.h"
#include "sim/hp10_responder.h"
#include "sim/loader_responder.h"

namespace corvel::sim {

Network::Network() : now_([] { return systemClock().tickCount(); }), startMs_(now_()) {}

void Network::setTimeSource(TimeSource now) {
    now_ = std::move(now);
    startMs_ = now_();
    for (Port& port : ports_) {
        if (port.local) port.local->setEpoch(startMs_);
        for (auto& station : port.stations) station->setEpoch(startMs_);
    }
}

uint64_t Network::elapsedMs() const {
    const uint64_t at = now();
    return at > startMs_ ? at - startMs_ : 0;
}

int Network::addPort(std::string interfaceName) {
    Port port;
    port.interfaceName = std::move(interfaceName);
    ports_.push_back(std::move(port));
    return int(ports_.size() - 1);
}

void Network::checkUnique(const Mac& mac) const {
    for (const Port& port : ports_) {
        if (port.local && port.local->mac() == mac)
            throw std::invalid_argument(formatMac(mac) + " is already a device of the network");
        for (const auto& station : port.stations)
            if (station->mac() == mac)
                throw std::invalid_argument(formatMac(mac) + " is already a device of the network");
    }
}

Device& Network::setLocal(int index, const DeviceConfig& config) {
    Port& p = port(index);
    p.local.reset();
    checkUnique(config.mac);
    p.local = std::make_unique<Device>(config);
    p.local->setEpoch(startMs_);
    return *p.local;
}

Device& Network::addStation(int index, const DeviceConfig& config) {
    Port& p = port(index);
    checkUnique(config.mac);
    p.stations.push_back(std::make_unique<Device>(config));
    p.stations.back()->setEpoch(startMs_);
    return *p.stations.back();
}

Device* Network::device(const Mac& mac) {
    for (Port& port : ports_) {
        if (port.local && port.local->mac() == mac) return port.local.get();
        for (auto& station : port.stations)
            if (station->mac() == mac) return station.get();
    }
    return nullptr;
}

int Network::portByInterface(const std::string& interfaceName) const {
    for (size_t i = 0; i < ports_.size(); ++i)
        if (ports_[i].interfaceName == interfaceName) return int(i);
    return -1;
}

std::vector<Device*> Network::wiring(int index) {
    std::vector<Device*> devices;
    const uint64_t at = now();
    Port& p = port(index);
    if (p.local && p.local->isAvailable(at)) devices.push_back(p.local.get());
    for (auto& station : p.stations)
        if (station->isAvailable(at)) devices.push_back(station.get());
    return devices;
}

std::vector<Device*> Network::bridgedStations(int index) {
    std::vector<Device*> bridged;
    Port& p = port(index);
    const uint64_t at = now();
    if (!p.local || !p.local->isAvailable(at)) return bridged;
    for (auto& station : p.stations)
        if (station->isAvailable(at) && station->sharesNetworkWith(*p.local))
            bridged.push_back(station.get());
    return bridged;
}

void Network::onHostFrame(int index, const std::vector<uint8_t>& frame) {
    if (index < 0 || size_t(index) >= ports_.size()) return;
    if (ports_[size_t(index)].faults.offline) return;
    if (frame.size() < 14) return;
    // An answer goes back to the request's source: a group address there cannot be answered.
    const Mac source = macAt(&frame[6]);
    if (isGroupAddress(source)) return;
    // A request in no device's name comes in the host interface's own.
    if (device(source) == nullptr) ports_[size_t(index)].hostMac = source;
    switch (get16be(&frame[12])) {
        case kAvEthertype:
            routeAv(index, frame);
            break;
        case kHp10Ethertype:
            routeHp10(index, frame);
            break;
        default:
            break;
    }
}

// The local device answers what is sent to it or to the local-management address, and carries
// everything else across the powerline: a broadcast to itself and every station of its network,
// a unicast to the one station of its network with that address.
void Network::routeAv(int index, const std::vector<uint8_t>& frame) {
    const Bytes bytes(frame);
    if (!fits(bytes, 0, 20) || frame[14] != 0x00 || !std::equal(kAvOui, kAvOui + 3, &frame[17]))
        return;
    // Requests only: confirmations, indications and responses are never addressed to a device.
    if ((get16le(&frame[15]) & 0x0003) != 0) return;
    Port& p = port(index);
    Device* local = p.local.get();
    if (local == nullptr || local->family() != Family::Av || !local->isAvailable(now())) return;

    const Mac destination = macAt(&frame[0]);
    std::vector<Device*> targets;
    if (destination == local->mac() || destination == kLocalManagementMac) {
        targets.push_back(local);
    } else if (destination == kBroadcastMac) {
        targets.push_back(local);
        for (Device* station : bridgedStations(index)) targets.push_back(station);
    } else {
        for (Device* station : bridgedStations(index))
            if (station->mac() == destination) targets.push_back(station);
    }
    const uint64_t at = now();
    for (Device* target : targets) {
        target->logReceived(index, frame.data(), frame.size(), at);
        respondAv(*this, index, *target, bytes);
    }
}

// As for AV, except that a set-key entry sent to a station's address is relayed by the local
// device under a key of its own choosing (hp10_responder), so it can reach a station outside
// the network.
void Network::routeHp10(int index, const std::vector<uint8_t>& frame) {
    const Bytes bytes(frame);
    if (!fits(bytes, 0, 17) || frame[14] == 0) return;
    Port& p = port(index);
    Device* local = p.local.get();
    if (local == nullptr || !speaksHp10(local->family()) || !local->isAvailable(now())) return;
    if (respondLoader(*this, index, *local, bytes)) return;

    const Mac destination = macAt(&frame[0]);
    const uint64_t at = now();
    if (destination == local->mac()) {
        local->logReceived(index, frame.data(), frame.size(), at);
        respondHp10(*this, index, *local, Hp10Role::Local, bytes);
        return;
    }
    if (destination == kBroadcastMac) {
        // Taken before the local device acts: a key it sets now must not change who heard this.
        const std::vector<Device*> stations = bridgedStations(index);
        local->logReceived(index, frame.data(), frame.size(), at);
        respondHp10(*this, index, *local, Hp10Role::Local, bytes);
        for (Device* station : stations) {
            station->logReceived(index, frame.data(), frame.size(), at);
            respondHp10(*this, index, *station, Hp10Role::Station, bytes);
        }
        return;
    }
    for (Device* station : wiring(index)) {
        if (station == local || station->mac() != destination || !speaksHp10(station->family()))
            continue;
        if (frame[15] == kHp10SetKeyEntry) {
            local->logReceived(index, frame.data(), frame.size(), at);
            forwardHp10SetKey(*this, index, *local, *station, bytes);
        } else if (station->sharesNetworkWith(*local)) {
            station->logReceived(index, frame.data(), frame.size(), at);
            respondHp10(*this, index, *station, Hp10Role::Station, bytes);
        }
        return;
    }
}

uint8_t Network::forcedAvStatus(int index, const Device& from) const {
    if (from.profile.faults.avStatus != 0) return from.profile.faults.avStatus;
    return port(index).faults.avStatus;
}

uint32_t Network::answerDelay(int index, const Device& from) const {
    const uint64_t total =
        uint64_t(port(index).faults.latencyMs) + uint64_t(from.profile.faults.latencyMs);
    return uint32_t(std::min<uint64_t>(total, UINT32_MAX));
}

std::vector<Mac> Network::hostMacs(int index) const {
    std::vector<Mac> hosts;
    if (port(index).hostMac != Mac{}) hosts.push_back(port(index).hostMac);
    for (size_t i = 0; i < ports_.size(); ++i)
        if (int(i) != index && ports_[i].hostMac != Mac{}) hosts.push_back(ports_[i].hostMac);
    return hosts;
}

void Network::emitSpoofed(int index, const Device& from, const std::vector<uint8_t>& answer,
                          AskedAt askedAt, bool afterAnswer, uint32_t delayMs) {
    const Faults& portFaults = port(index).faults;
    const Faults& deviceFaults = from.profile.faults;
    const Mac destination = macAt(&answer[0]);
    const Mac spoofer =
        deviceFaults.spoofFrom != kDefaultSpoofMac ? deviceFaults.spoofFrom : portFaults.spoofFrom;
    const bool av = get16be(&answer[12]) == kAvEthertype;
    const uint16_t type = answerType(answer);
    if (!afterAnswer) {
        if (av && type == kAvNetworkInfoRequest + 1 &&
            (portFaults.spoofNetworkInfo || deviceFaults.spoofNetworkInfo))
            emit(index, spoofedNetworkInfo(destination, spoofer), delayMs);
        const std::vector<Mac> hosts = hostMacs(index);
        const uint64_t burst = uint64_t(portFaults.hostSourceBurst) + deviceFaults.hostSourceBurst;
        for (uint64_t i = 0; i < burst && !hosts.empty(); ++i) {
            const Mac& host = hosts[i % hosts.size()];
            std::vector<uint8_t> copy = answer;
            if (destination == from.mac()) putMac(&copy[0], host);
            putMac(&copy[6], host);
            emit(index, std::move(copy), delayMs);
        }
    }
    const bool forge = portFaults.forgeVersion || deviceFaults.forgeVersion;
    if (av && type == kAvVersionRequest + 1 && forge &&
        afterAnswer == (askedAt == AskedAt::AnyDevice))
        emit(index, forgedVersion(destination, spoofer), delayMs);
}

void Network::answer(int index, const Device& from, std::vector<uint8_t> frame, AskedAt askedAt) {
    const Faults& portFaults = port(index).faults;
    const Faults& deviceFaults = from.profile.faults;
    if (portFaults.silent || deviceFaults.silent || frame.size() < 14) return;
    uint64_t total = answerDelay(index, from);
    for (const Faults* faults : {&portFaults, &deviceFaults})
        if (const auto it = faults->latencyByType.find(answerType(frame));
            it != faults->latencyByType.end())
            total += it->second;
    const uint32_t delay = uint32_t(std::min<uint64_t>(total, UINT32_MAX));
    const Mac destination = macAt(&frame[0]);

    for (const Faults* faults : {&portFaults, &deviceFaults}) {
        for (const UnrelatedFrame& unrelated : faults->unrelated)
            emit(index, buildUnrelatedFrame(unrelated, destination, from.mac()), delay);
        for (uint32_t i = 0; i < faults->burst.count; ++i)
            emit(index, buildUnrelatedFrame(faults->burst.frame, destination, from.mac()), delay);
    }
    const uint64_t indications = uint64_t(portFaults.indications) + deviceFaults.indications;
    for (uint64_t i = 0; i < indications; ++i)
        emit(index, buildIndicationFrame(destination, from.mac()), delay);
    emitSpoofed(index, from, frame, askedAt, false, delay);
    // What the forgeries that follow the answer need of it: its header.
    const std::vector<uint8_t> header(frame.begin(),
                                      frame.begin() + std::min<size_t>(17, frame.size()));

    size_t cut = 0;
    for (size_t limit : {portFaults.truncateTo, deviceFaults.truncateTo})
        if (limit != 0 && (cut == 0 || limit < cut)) cut = limit;
    if (cut != 0 && cut < frame.size()) frame.resize(cut);
    emit(index, std::move(frame), delay);
    emitSpoofed(index, from, header, askedAt, true, delay);
}

uint64_t Network::emitDueNoise(uint64_t nowMs) {
    uint64_t next = UINT64_MAX;
    for (size_t i = 0; i < ports_.size(); ++i) {
        Port& p = ports_[i];
        if (p.noise.everyMs == 0) continue;
        if (p.nextNoiseMs == 0) p.nextNoiseMs = nowMs;
        if (p.nextNoiseMs <= nowMs) {
            const Mac source = p.local ? p.local->mac() : Mac{0x02, 0, 0, 0, 0, 0xEE};
            emit(int(i), buildUnrelatedFrame(p.noise.frame, kBroadcastMac, source), 0);
            // A late call sends one frame, not the ones it missed, and keeps the pace after it.
            p.nextNoiseMs = nowMs + p.noise.everyMs;
        }
        next = std::min(next, p.nextNoiseMs);
    }
    return next;
}

void Network::emit(int index, std::vector<uint8_t> frame, uint32_t delayMs) {
    if (emit_) emit_(index, std::move(frame), delayMs);
}

}  // namespace corvel::sim
