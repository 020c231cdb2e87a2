// SPDX-License-Identifier: MIT
// The host side of the link-health check (health_e2e_test):
//   health_probe IFACE LOCAL STATION
// sends, from IFACE's own address, the link-health requests the codec encodes (link statistics
// of both directions and a station's receive side, the transmit and receive tone maps, one for
// an unknown peer, a reset of STATION and a request during its silence), decodes every answer
// with the codec's decoders and prints one JSON object of what it read. Exit 0 when every
// request got the answer it was waiting for (or, after the reset, none).
#include <pcap/pcap.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "avcodec/link_health.h"
#include "platform/bytes.h"
#include "platform/mac.h"

namespace {

using namespace corvel;
using Json = nlohmann::json;
using Frame = std::vector<uint8_t>;

constexpr int kAnswerWaitMs = 1000;
const Mac kUnknownPeer{0x00, 0xB0, 0x52, 0x00, 0x00, 0x99};

class Wire {
public:
    explicit Wire(pcap_t* p) : p_(p) {}

    bool send(const Frame& frame) {
        return pcap_sendpacket(p_, frame.data(), int(frame.size())) == 0;
    }

    // The first frame from `from` with the confirmation MMTYPE of `request`, within the wait.
    std::optional<Frame> await(const Mac& from, uint16_t request) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            pcap_pkthdr* header = nullptr;
            const u_char* bytes = nullptr;
            if (pcap_next_ex(p_, &header, &bytes) != 1) continue;
            const Frame frame(bytes, bytes + header->caplen);
            if (frame.size() < kAvHeaderLength || get16be(&frame[12]) != kAvEthertype) continue;
            if (!std::equal(from.begin(), from.end(), frame.begin() + 6)) continue;
            if (get16le(&frame[15]) == uint16_t(request | 1)) return frame;
        }
        return std::nullopt;
    }

private:
    pcap_t* p_;
};

std::optional<Mac> interfaceMac(const std::string& name) {
    std::ifstream in("/sys/class/net/" + name + "/address");
    std::string text;
    in >> text;
    return parseMac(text);
}

Json linkStatsJson(const LinkStatsConfirm& c) {
    Json j{{"status", c.status}, {"direction", c.direction}, {"linkId", c.linkId}, {"tei", c.tei}};
    if (c.tx)
        j["tx"] = {{"mpdusAcked", c.tx->mpdusAcked},
                   {"mpdusCollided", c.tx->mpdusCollided},
                   {"mpdusFailed", c.tx->mpdusFailed},
                   {"pbsPassed", c.tx->pbsPassed},
                   {"pbsFailed", c.tx->pbsFailed}};
    if (c.rx) {
        Json intervals = Json::array();
        for (const RxIntervalStats& i : c.rx->intervals)
            intervals.push_back({{"phyRateMbps", i.phyRateMbps}, {"pbsPassed", i.pbsPassed}});
        j["rx"] = {{"mpdusAcked", c.rx->mpdusAcked},
                   {"mpdusFailed", c.rx->mpdusFailed},
                   {"pbsPassed", c.rx->pbsPassed},
                   {"pbsFailed", c.rx->pbsFailed},
                   {"intervals", intervals}};
    }
    return j;
}

Json toneMapJson(const ToneMapConfirm& m) {
    Json j{{"status", m.status},
           {"slot", m.slot},
           {"toneMaps", m.toneMapCount},
           {"carriers", m.carrierCount},
           {"modulated", modulatedCarriers(m)},
           {"bitsPerSymbol", bitsPerSymbol(m)}};
    // The first carrier of each run of equal codes: enough to see a slope or a notch.
    Json runs = Json::array();
    for (size_t i = 0; i < m.modulation.size(); ++i)
        if (i == 0 || m.modulation[i] != m.modulation[i - 1])
            runs.push_back({{"carrier", i}, {"code", m.modulation[i]}});
    j["runs"] = runs;
    if (m.guardInterval) j["guardInterval"] = *m.guardInterval;
    if (m.agc) j["agc"] = *m.agc;
    return j;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: health_probe IFACE LOCAL STATION\n");
        return 2;
    }
    const std::optional<Mac> host = interfaceMac(argv[1]);
    const std::optional<Mac> local = parseMac(argv[2]);
    const std::optional<Mac> station = parseMac(argv[3]);
    if (!host || !local || !station) {
        std::fprintf(stderr, "health_probe: bad interface or address\n");
        return 2;
    }
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_open_live(argv[1], 1514, 0, 10, errbuf);
    if (p == nullptr) {
        std::fprintf(stderr, "health_probe: %s\n", errbuf);
        return 1;
    }
    Wire wire(p);
    Json out = Json::object();

    // Sends one encoded request and decodes the answer with `decode`, under `name`.
    const auto exchange = [&](const char* name, const Mac& to, uint16_t mmtype,
                              const std::function<size_t(std::span<uint8_t>)>& encode,
                              const std::function<Json(const Frame&)>& decode) {
        Frame request(1514);
        request.resize(encode(request));
        if (request.empty() || !wire.send(request)) {
            out[name] = {{"error", "not sent"}};
            return;
        }
        const std::optional<Frame> answer = wire.await(to, mmtype);
        out[name] = answer ? decode(*answer) : Json(nullptr);
    };
    const auto linkStats = [&](const char* name, const Mac& to, const LinkStatsRequest& request) {
        exchange(
            name, to, kMmLinkStatsRequest,
            [&](std::span<uint8_t> b) { return encodeLinkStatsRequest(b, *host, to, request); },
            [](const Frame& f) {
                LinkStatsConfirm c;
                const DecodeOutcome outcome = decodeLinkStatsConfirm(f, c);
                return outcome ? linkStatsJson(c) : Json{{"error", outcome.reason}};
            });
    };
    const auto toneMap = [&](const char* name, ToneMapDirection direction, const Mac& peer,
                             uint8_t slot) {
        exchange(
            name, *local,
            direction == ToneMapDirection::Tx ? kMmTxToneMapRequest : kMmRxToneMapRequest,
            [&](std::span<uint8_t> b) {
                return encodeToneMapRequest(b, *host, *local, direction, {peer, slot});
            },
            [direction](const Frame& f) {
                ToneMapConfirm m;
                const DecodeOutcome outcome = decodeToneMapConfirm(f, direction, m);
                return outcome ? toneMapJson(m) : Json{{"error", outcome.reason}};
            });
    };

    linkStats("linkStats", *local, {false, LinkDirection::Both, kLinkIdAllForPeer, *station});
    linkStats("stationReceive", *station, {false, LinkDirection::Rx, 1, *local});
    toneMap("txToneMap", ToneMapDirection::Tx, *station, 0);
    toneMap("rxToneMap", ToneMapDirection::Rx, *station, 1);
    toneMap("unknownPeer", ToneMapDirection::Tx, kUnknownPeer, 0);
    exchange(
        "reset", *station, kMmResetDeviceRequest,
        [&](std::span<uint8_t> b) { return encodeResetDeviceRequest(b, *host, *station); },
        [](const Frame& f) {
            ResetDeviceConfirm c;
            const DecodeOutcome outcome = decodeResetDeviceConfirm(f, c);
            return outcome ? Json{{"status", c.status}} : Json{{"error", outcome.reason}};
        });
    // The station restarts: it answers nothing for a while.
    linkStats("duringReset", *station, {false, LinkDirection::Tx, kLinkIdAllForPeer, *local});

    bool answered = out["duringReset"].is_null();
    for (const auto& [name, value] : out.items())
        if (name != "duringReset")
            answered = answered && value.is_object() && !value.contains("error");
    std::printf("%s\n", out.dump().c_str());
    pcap_close(p);
    return answered ? 0 : 1;
}
