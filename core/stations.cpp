// SPDX-License-Identifier: MIT
#include "core/stations.h"

#include <cmath>
#include <cstring>

#include "core/answers.h"
#include "core/view_hooks.h"
#include "platform/bytes.h"
#include "platform/notifier.h"
#include "platform/text.h"

namespace corvel {

namespace {

// Statistics reply: three words of the local link at 18, then 15 station slots of 12 bytes.
constexpr size_t kLinkSampleOffset = 18;
constexpr size_t kFirstSlotOffset = 24;
constexpr size_t kSlotSize = 12;
constexpr int kSlotCount = 15;

void markAnswered(StationRecord& station) {
    station.missesTillDrop = core.dropResetValue;
    if (core.localIsAv) {
        std::memcpy(station.networkKey, core.avNetworkKey, 16);
        copyText(station.networkName, textOf(core.avNetworkName));
    } else {
        std::memcpy(station.networkKey, core.hp10NetworkKey, 8);
        copyText(station.networkName, textOf(core.hp10NetworkName));
    }
    station.present = 1;
}

StationRecord& freeOrLastSlot() {
    StationRecord* stations = currentStationTable().stations;
    for (int i = 0; i < kStationsPerTable; ++i)
        if (!macIsSet(stations[i].mac)) return stations[i];
    notifier().notify("Problem Occurred",
                      "The station table is full: 32 devices are already known on this "
                      "interface. The newest device replaces the last one in the list.",
                      Icon::Error, Buttons::Ok);
    StationRecord& last = stations[kStationsPerTable - 1];
    // A fresh record: the replaced station's texts and rates do not belong to the new one.
    std::memset(&last, 0, sizeof last);
    return last;
}

double rateFromRaw(uint16_t w0, RateMode mode) {
    switch (mode) {
        case RateMode::HomePlug10:
            return (w0 / 42.0) * 1.1434511434511434 - 0.12978912978912938;
        case RateMode::Turbo: {
            const double x = w0 * 8 / 336.0;
            if (x <= 6) return x;
            if (x <= 12.357142857142858) return 6 + (x - 6) / 6.357142857142858 * 8;
            return 14 + (x - 12.357142857142858) / 54.59523809523809 * 71;
        }
        case RateMode::Av:
            return double((uint32_t(w0) * 200) / 151);
    }
    return 0;
}

}  // namespace

bool couldBeStation(const uint8_t* mac) {
    return couldBeDevice(mac);
}

void addOrRefreshStation(const uint8_t* mac) {
    if (macEqual(mac, currentAdapterRecord().localMac) || !couldBeStation(mac)) return;
    StationRecord* station = findStationByMac(mac);
    if (station == nullptr) {
        station = &freeOrLastSlot();
        copyMac(station->mac, mac);
        station->stationKind = core.localIsAv ? StationKind::Av : StationKind::HomePlug10;
    }
    markAnswered(*station);
    station->seenCount += 1;
}

void recordPhyRates(const uint8_t* mac, uint8_t tx, uint8_t rx) {
    if (core.currentAdapter < 0 || core.currentAdapter >= kMaxInterfaces) return;
    const StationRecord* station = findStationByMac(mac);
    if (station == nullptr) return;
    const StationTable& table = currentStationTable();
    PhyRatePair& pair = core.phyRates[core.currentAdapter][station - table.stations];
    copyMac(pair.mac, station->mac);
    pair.tx = tx;
    pair.rx = rx;
}

PhyRates phyRatesOf(int interfaceIndex, const StationRecord& station) {
    PhyRates rates;
    if (interfaceIndex < 0 || interfaceIndex >= kMaxInterfaces) return rates;
    if (!isAvStation(station.stationKind)) {
        // Whole Mbit/s already; a value of a damaged database file is not converted.
        const double rate = station.rate.currentRate;
        if (std::isfinite(rate) && rate >= 1 && rate < 1e6) rates.tx = int(rate);
        return rates;
    }
    // The station's slot is the first one with its address, as findStationByMac finds it. The
    // pair there is the station's own only while it carries that address: one left by a station
    // that gave the slot up is not this one's.
    const StationRecord* slots = core.stationTables[interfaceIndex].stations;
    for (int i = 0; i < kStationsPerTable; ++i) {
        if (!macIsSet(station.mac) || !macEqual(slots[i].mac, station.mac)) continue;
        const PhyRatePair& pair = core.phyRates[interfaceIndex][i];
        if (!macEqual(pair.mac, station.mac)) break;
        if (pair.tx != 0) rates.tx = pair.tx;
        if (pair.rx != 0) rates.rx = pair.rx;
        break;
    }
    return rates;
}

void updateRate(RateRecord& rate, uint16_t w0, uint16_t w1, uint16_t w2, RateMode mode) {
    const double r = rateFromRaw(w0, mode);
    if (std::fabs(rate.currentRate - r) > 0.02) rate.rateChanged = 1;
    rate.currentRate = std::trunc(r);
    if (rate.minRate > rate.currentRate || rate.minRate < 1) rate.minRate = rate.currentRate;
    if (rate.maxRate < rate.currentRate) rate.maxRate = rate.currentRate;
    rate.aux1 = w1;
    rate.aux2 = w2;
}

void applyHp10Statistics(uint8_t* frame, size_t length) {
    if (length < kFirstSlotOffset) return;
    StationTable& table = currentStationTable();
    int slots = 0;
    while (slots < kSlotCount && kFirstSlotOffset + (slots + 1) * kSlotSize <= length) ++slots;

    if (!core.localIsTurbo) {
        for (StationRecord& station : table.stations) {
            if (!station.present) continue;
            for (int s = 0; s < slots; ++s) {
                uint8_t* slot = frame + kFirstSlotOffset + size_t(s) * kSlotSize;
                slot[0] &= 0xFE;
                if (!macEqual(slot, station.mac)) continue;
                uint16_t w0 = get16le(slot + 6);
                if (station.stationKind == StationKind::Turbo) {
                    // Turbo-capable stations report on the 85 Mbit/s scale.
                    if (w0 > 519) w0 = 519;
                    w0 = uint16_t(std::trunc(w0 * 85 / 14.0));
                }
                updateRate(station.rate, w0, get16le(slot + 8), get16le(slot + 10),
                           RateMode::HomePlug10);
                break;
            }
        }
    }

    double sum = 0;
    int count = 0;
    for (const StationRecord& station : table.stations) {
        if (!station.present || station.rate.currentRate == 0) break;
        sum += station.rate.currentRate;
        ++count;
    }
    // The word holds at most 65535; very high rates saturate rather than wrap.
    const double raw = count == 0 ? 0 : std::trunc(sum * 42 / count);
    const uint16_t average = uint16_t(std::fmin(raw, 65535.0));
    put16le(frame + kLinkSampleOffset, average);
    updateRate(table.linkRate, average, get16le(frame + 20), get16le(frame + 22),
               RateMode::HomePlug10);
    refreshView(core.scanPhase);
}

}  // namespace corvel
