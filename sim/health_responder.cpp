// SPDX-License-Identifier: MIT
#include "sim/health_responder.h"

#include <algorithm>
#include <optional>

#include "platform/bytes.h"
#include "sim/network.h"

namespace corvel::sim {

namespace {

// Link statistics request: 20 control (0 read, 1 read and clear), 21 direction (0 transmit,
// 1 receive, 2 both), 22 link id, 23..28 the peer. Confirmation: 20 status, 21 direction,
// 22 link id, 23 the peer's TEI, then the transmit block (five 64-bit counters) and the receive
// block (six counters, the number of intervals, and room for six intervals of a rate byte and
// four counters), as the direction asks.
constexpr size_t kLinkStatsFields = 9;
constexpr uint8_t kDirectionTx = 0;
constexpr uint8_t kDirectionRx = 1;
constexpr uint8_t kDirectionBoth = 2;
constexpr uint8_t kLinkIdAllForPeer = 0xF8;
constexpr uint8_t kLinkIdAll = 0xFC;
// Best-effort data travels at channel access priority 1; priorities 0, 2 and 3 carry nothing.
constexpr uint8_t kDataPriority = 1;
constexpr uint8_t kInvalidControl = 0x01;
constexpr uint8_t kInvalidDirection = 0x02;
constexpr uint8_t kInvalidLinkId = 0x10;
constexpr uint8_t kInvalidPeer = 0x20;
constexpr size_t kCountersOffset = 24;
constexpr size_t kTxBlockLength = 5 * 8;
constexpr size_t kIntervalLength = 1 + 4 * 8;
constexpr size_t kRxBlockLength = 6 * 8 + 1 + kMaxToneMapSlots * kIntervalLength;

// Tone map request: 20..25 the peer, 26 the slot. Confirmation: 20 status, 21 slot, 22 tone maps
// in use, 23..24 carriers listed, 25..602 two carrier codes a byte, low nibble first; a receive
// map then has its guard interval (603) and gain setting (604), and one byte to spare.
constexpr size_t kToneMapFields = 7;
constexpr uint8_t kUnknownPeer = 0x01;
constexpr uint8_t kUnknownSlot = 0x02;
constexpr uint16_t kCarriers = 1155;
constexpr size_t kCarrierOffset = 25;
constexpr size_t kCarrierBytes = (kCarriers + 1) / 2;
constexpr size_t kTxToneMapLength = kCarrierOffset + kCarrierBytes;
constexpr size_t kRxToneMapLength = kTxToneMapLength + 3;
// The simulated receiver needs no gain control and the shortest guard interval of its tables.
constexpr uint8_t kGuardInterval = 0x01;
constexpr uint8_t kAgc = 0x10;

void put64le(uint8_t* p, uint64_t v) {
    put32le(p, uint32_t(v));
    put32le(p + 4, uint32_t(v >> 32));
}

// The AV rate byte in Mbit/s as the utility reads it (byte x 200 / 151), as a receive interval
// reports its rate.
uint8_t rateMbps(uint8_t raw) {
    return uint8_t(std::min(255, raw * 200 / 151));
}

struct HealthRequest {
    Network& network;
    int port;
    Device& device;
    Bytes frame;

    Mac peer(size_t offset) const { return macAt(&frame[offset]); }
    std::vector<uint8_t> confirmation(size_t length) const {
        return avFrame(macAt(&frame[6]), device.mac(), uint16_t(get16le(&frame[15]) | 1), length);
    }
    bool askedLocal() const { return network.port(port).local.get() == &device; }
};

// One link of the asked device: the station whose profile describes it, and the peer's TEI
// (numbered as the network information numbers them: 1 the local device, then the stations in
// wiring order).
struct Link {
    Device* station;
    uint8_t peerTei;
};

uint8_t teiOf(const Port& port, const Device* device) {
    if (port.local.get() == device) return 1;
    for (size_t i = 0; i < port.stations.size(); ++i)
        if (port.stations[i].get() == device) return uint8_t(i + 2);
    return 0;
}

// The links the asked device has now: the local device one to each station of its network, a
// station one to its local device when they share a network.
std::vector<Link> linksOf(const HealthRequest& r) {
    Port& port = r.network.port(r.port);
    std::vector<Link> links;
    if (r.askedLocal()) {
        for (Device* station : r.network.bridgedStations(r.port))
            links.push_back({station, teiOf(port, station)});
    } else if (Device* local = port.local.get(); local != nullptr &&
                                                 local->isAvailable(r.network.now()) &&
                                                 local->sharesNetworkWith(r.device)) {
        links.push_back({&r.device, 1});
    }
    return links;
}

std::optional<Link> linkTo(const HealthRequest& r, const Mac& peer) {
    const Port& port = r.network.port(r.port);
    for (const Link& link : linksOf(r)) {
        const Device* other = r.askedLocal() ? link.station : port.local.get();
        if (other->mac() == peer) return link;
    }
    return std::nullopt;
}

// The counters of one link as the asked device sees them: what it sent and what it received.
struct LinkCounters {
    DirectionCounters tx;
    DirectionCounters rx;
};

LinkCounters countersOf(const HealthRequest& r, const LinkProfile& link) {
    const uint64_t now = r.network.elapsedMs();
    // A device plugged back in has restarted: its counters count from its return.
    const uint64_t back = link.returnAfterMs != 0 && now >= link.returnAfterMs ? link.returnAfterMs : 0;
    const auto since = [now, back](uint64_t from) {
        from = std::max<uint64_t>(from, back);
        return now > from ? now - from : 0;
    };
    const DirectionCounters down =
        countersAfter(since(link.downFromMs), link.mpdusPerSecond, link.errorPermille);
    const DirectionCounters up =
        countersAfter(since(link.upFromMs), link.mpdusPerSecond / 2, link.errorPermille);
    return r.askedLocal() ? LinkCounters{down, up} : LinkCounters{up, down};
}

void add(DirectionCounters& sum, const DirectionCounters& c) {
    sum.mpdusAcked += c.mpdusAcked;
    sum.mpdusCollided += c.mpdusCollided;
    sum.mpdusFailed += c.mpdusFailed;
    sum.pbsPassed += c.pbsPassed;
    sum.pbsFailed += c.pbsFailed;
    sum.turboBitErrorsPassed += c.turboBitErrorsPassed;
    sum.turboBitErrorsFailed += c.turboBitErrorsFailed;
}

void writeTx(uint8_t* p, const DirectionCounters& c) {
    put64le(p, c.mpdusAcked);
    put64le(p + 8, c.mpdusCollided);
    put64le(p + 16, c.mpdusFailed);
    put64le(p + 24, c.pbsPassed);
    put64le(p + 32, c.pbsFailed);
}

// The receive block; the intervals (one per tone map slot) share the blocks between them, the
// first taking what does not divide evenly, each a tenth slower than the one before.
void writeRx(uint8_t* p, const DirectionCounters& c, uint8_t intervals, uint8_t rateByte) {
    put64le(p, c.mpdusAcked);
    // Frames received broken: those that collided on the way or failed.
    put64le(p + 8, c.mpdusCollided + c.mpdusFailed);
    put64le(p + 16, c.pbsPassed);
    put64le(p + 24, c.pbsFailed);
    put64le(p + 32, c.turboBitErrorsPassed);
    put64le(p + 40, c.turboBitErrorsFailed);
    p[48] = intervals;
    for (uint8_t i = 0; i < intervals; ++i) {
        uint8_t* q = p + 49 + i * kIntervalLength;
        const auto share = [&](uint64_t total) {
            return total / intervals + (i == 0 ? total % intervals : 0);
        };
        q[0] = uint8_t(rateMbps(rateByte) * (10 - i) / 10);
        put64le(q + 1, share(c.pbsPassed));
        put64le(q + 9, share(c.pbsFailed));
        put64le(q + 17, share(c.turboBitErrorsPassed));
        put64le(q + 25, share(c.turboBitErrorsFailed));
    }
}

// Restarts the chosen directions' counters of a link, as the asked device names them.
void clearCounters(const HealthRequest& r, LinkProfile& link, uint8_t direction) {
    const uint64_t now = r.network.elapsedMs();
    const bool tx = direction != kDirectionRx;
    const bool rx = direction != kDirectionTx;
    if (r.askedLocal() ? tx : rx) link.downFromMs = now;
    if (r.askedLocal() ? rx : tx) link.upFromMs = now;
}

void answerLinkStats(const HealthRequest& r) {
    if (!fits(r.frame, 20, kLinkStatsFields)) return;
    const uint8_t control = r.frame[20];
    const uint8_t direction = r.frame[21];
    const uint8_t linkId = r.frame[22];
    const Mac peer = r.peer(23);
    const std::optional<Link> named = linkTo(r, peer);

    uint8_t status = r.network.forcedAvStatus(r.port, r.device);
    if (status == 0) {
        if (control > 1)
            status = kInvalidControl;
        else if (direction > kDirectionBoth)
            status = kInvalidDirection;
        else if (linkId > 3 && linkId != kLinkIdAllForPeer && linkId != kLinkIdAll)
            status = kInvalidLinkId;
        else if (linkId != kLinkIdAll && !named)
            status = kInvalidPeer;
    }
    const bool tx = status == 0 && direction != kDirectionRx;
    const bool rx = status == 0 && direction != kDirectionTx;
    std::vector<uint8_t> f =
        r.confirmation(kCountersOffset + (tx ? kTxBlockLength : 0) + (rx ? kRxBlockLength : 0));
    f[20] = status;
    f[21] = direction;
    f[22] = linkId;
    f[23] = named ? named->peerTei : 0;
    if (status == 0) {
        std::vector<Link> links;
        if (linkId == kLinkIdAll)
            links = linksOf(r);
        else if (linkId == kLinkIdAllForPeer || linkId == kDataPriority)
            links = {*named};
        LinkCounters sum;
        for (const Link& link : links) {
            const LinkCounters c = countersOf(r, link.station->profile.link);
            add(sum.tx, c.tx);
            add(sum.rx, c.rx);
        }
        size_t at = kCountersOffset;
        if (tx) {
            writeTx(&f[at], sum.tx);
            at += kTxBlockLength;
        }
        if (rx) {
            // Intervals describe one link's tone maps: a sum over links has none.
            const bool oneLink = links.size() == 1 && linkId != kLinkIdAll;
            const DeviceProfile& profile = oneLink ? links[0].station->profile : r.device.profile;
            const LinkRates rates = currentRates(profile, r.network.elapsedMs());
            const uint8_t intervals =
                oneLink ? std::clamp<uint8_t>(profile.link.toneMap.slots, 1, kMaxToneMapSlots) : 0;
            writeRx(&f[at], sum.rx, intervals, r.askedLocal() ? rates.avRx : rates.avTx);
        }
        if (control == 1)
            for (const Link& link : links) clearCounters(r, link.station->profile.link, direction);
    }
    r.network.answer(r.port, r.device, std::move(f));
}

void answerToneMap(const HealthRequest& r, bool receive) {
    if (!fits(r.frame, 20, kToneMapFields)) return;
    const std::optional<Link> link = linkTo(r, r.peer(20));
    const uint8_t slot = r.frame[26];

    uint8_t status = r.network.forcedAvStatus(r.port, r.device);
    if (status == 0 && !link) status = kUnknownPeer;
    const ToneMapShape* shape = link ? &link->station->profile.link.toneMap : nullptr;
    const uint8_t slots = shape ? std::max<uint8_t>(shape->slots, 1) : 0;
    if (status == 0 && slot >= slots) status = kUnknownSlot;

    std::vector<uint8_t> f = r.confirmation(receive ? kRxToneMapLength : kTxToneMapLength);
    f[20] = status;
    f[21] = slot;
    f[22] = slots;
    if (status == 0) {
        put16le(&f[23], kCarriers);
        const std::vector<uint8_t> codes = toneMapCodes(*shape, slot);
        for (size_t i = 0; i < codes.size(); ++i)
            f[kCarrierOffset + i / 2] |= uint8_t(i % 2 == 0 ? codes[i] : codes[i] << 4);
        if (receive) {
            f[kTxToneMapLength] = kGuardInterval;
            f[kTxToneMapLength + 1] = kAgc;
        }
    }
    r.network.answer(r.port, r.device, std::move(f));
}

// The device confirms, then restarts: it hears and answers nothing for its reset silence, and
// the counters of its links start again when it is back.
void answerReset(const HealthRequest& r) {
    const uint8_t status = r.network.forcedAvStatus(r.port, r.device);
    std::vector<uint8_t> f = r.confirmation(kMinFrameLength);
    f[20] = status;
    const uint32_t delay = r.network.answerDelay(r.port, r.device);
    r.network.answer(r.port, r.device, std::move(f));
    if (status != 0) return;

    const uint32_t silence = r.device.profile.link.resetSilenceMs;
    r.device.rebootUntil(r.network.now() + delay + silence);
    const uint64_t back = r.network.elapsedMs() + delay + silence;
    std::vector<Device*> restarted;
    if (r.askedLocal()) {
        for (auto& station : r.network.port(r.port).stations) restarted.push_back(station.get());
    } else {
        restarted.push_back(&r.device);
    }
    for (Device* station : restarted) {
        station->profile.link.downFromMs = back;
        station->profile.link.upFromMs = back;
    }
}

}  // namespace

LinkRates currentRates(const DeviceProfile& profile, uint64_t elapsedMs) {
    LinkRates rates = profile.rates;
    const LinkProfile& link = profile.link;
    const uint64_t moves = elapsedMs / std::max<uint32_t>(link.everyMs, 1);
    if (link.tx) rates.avTx = link.tx->at(moves);
    if (link.rx) rates.avRx = link.rx->at(moves);
    return rates;
}

bool respondHealth(Network& network, int port, Device& device, Bytes frame) {
    const HealthRequest request{network, port, device, frame};
    switch (get16le(&frame[15])) {
        case kAvLinkStatsRequest:
            answerLinkStats(request);
            return true;
        case kAvTxToneMapRequest:
            answerToneMap(request, false);
            return true;
        case kAvRxToneMapRequest:
            answerToneMap(request, true);
            return true;
        case kAvResetDeviceRequest:
            answerReset(request);
            return true;
        default:
            return false;
    }
}

}  // namespace corvel::sim
