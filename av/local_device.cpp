// SPDX-License-Identifier: MIT
#include "av/local_device.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "av/av_state.h"
#include "av/exchanges.h"
#include "avcodec/frame.h"
#include "avcodec/network_info.h"
#include "avcodec/pib.h"
#include "avcodec/transfer.h"
#include "av/version_text.h"
#include "core/stations.h"
#include "core/tables.h"
#include "platform/bytes.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

bool sourceIsSet() {
    return macIsSet(requestSourceMac().data());
}

// The local device's version confirmation: its address, chip name and firmware text.
void takeLocalVersion(const AvConfirm& record, size_t frameLength) {
    AvExchangeState& state = avExchangeState();
    copyMac(core.adapters[core.lastRxAdapter].localMac, record.srcMac.data());
    // A commit confirmation is accepted as the answer, but it carries no version: the texts
    // already known stay.
    if (record.mmtype != kMmVersionConfirm) return;
    if (const char* chip = chipNameOf(record.payload[kVersionGenerationIndex]))
        copyText(state.localChipName, chip);
    std::string text = versionTextOf(record, frameLength);
    normaliseLocalText(text, textOf(state.localChipName));
    copyText(state.localFirmwareText, text);
}

void takeStationVersion(StationRecord& station, const AvConfirm& record, size_t frameLength) {
    if (record.mmtype != kMmVersionConfirm) return;
    std::string text = versionTextOf(record, frameLength);
    // The station's own generation names its chip; the local device's name is not taken.
    if (const char* chip = chipNameOf(record.payload[kVersionGenerationIndex]))
        normaliseStationText(text, chip);
    copyText(station.firmwareText, text);
}

// Appends the chunk a module-read confirmation carries, as far as the image buffer reaches.
void appendChunk(const AvConfirm& record, std::vector<uint8_t>& image, size_t& filled) {
    if (!record.valid) return;
    const size_t stated = get32le(record.payload.data() + kReadRecordLengthIndex);
    const size_t carried = std::min(stated, kAvPayloadSize - kReadRecordChunkIndex);
    const size_t taken = std::min(carried, image.size() - filled);
    std::copy_n(record.payload.begin() + kReadRecordChunkIndex, taken, image.begin() + filled);
    filled += taken;
}

}  // namespace

bool probeLocalAv() {
    AvExchangeState& state = avExchangeState();
    state.avConfirmSeen = false;
    state.localAnswerer = {};
    if (!sourceIsSet()) return false;
    sendAvRequest(kLocalManagementMac, kMmVersionRequest);
    AvConfirm confirm;
    // Any device may answer the local-management address; the one that does, on this interface,
    // is its local device.
    if (awaitCabledConfirm(kMmVersionRequest, kLocalManagementMac, confirm, nullptr,
                           AvAnswer::shortVersionToo))
        state.localAnswerer = confirm.srcMac;
    return state.avConfirmSeen;
}

bool readLocalVersion() {
    AvExchangeState& state = avExchangeState();
    sendAvRequest(kLocalManagementMac, kMmVersionRequest);
    // The device that answered the probe answers this request too: a version confirmation from
    // another address, coming late or forged, must not become the local device.
    const Mac from =
        macIsSet(state.localAnswerer.data()) ? state.localAnswerer : kLocalManagementMac;
    AvConfirm confirm;
    size_t length = 0;
    if (!awaitCabledConfirm(kMmVersionRequest, from, confirm, &length, AvAnswer::shortVersionToo))
        return false;
    state.localAnswerer = confirm.srcMac;
    takeLocalVersion(confirm, length);
    return true;
}

bool discoverLocalAv() {
    const int32_t selected = core.currentAdapter;
    bool found = false;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i) {
        core.currentAdapter = i;
        if (!probeLocalAv()) continue;
        found = true;
        if (i == selected) core.localIsAv = 1;

        readLocalVersion();

        AdapterRecord& adapter = core.adapters[i];
        adapter.paramsValid = 1;
        adapter.localPresent = 1;
        adapter.localKind = kKindAv;
    }
    core.currentAdapter = selected;
    return found;
}

bool readNetworkStations(const Mac& localDevice) {
    if (!sourceIsSet()) return true;
    sendAvRequest(localDevice, kMmNetworkInfoRequest);
    AvConfirm info;
    size_t infoLength = 0;
    // Only the device asked lists the stations: another's list would replace them.
    if (!awaitAvConfirm(kMmNetworkInfoRequest, localDevice, info, &infoLength)) return true;

    for (const NetworkInfoStation& entry : networkInfoStations(info, infoLength)) {
        // No station has the all-zero address: such an entry is padding of a short frame, and
        // taking it would mark a free station slot present.
        if (macEqual(entry.mac.data(), currentAdapterRecord().localMac) ||
            entry.mac == kBroadcastMac || !macIsSet(entry.mac.data())) {
            continue;
        }
        addOrRefreshStation(entry.mac.data());
        StationRecord* station = findStationByMac(entry.mac.data());
        if (station == nullptr) continue;

        sendAvRequest(entry.mac, kMmVersionRequest);
        AvConfirm version;
        size_t versionLength = 0;
        // A station that does not answer keeps its text and its rate.
        if (!awaitAvConfirm(kMmVersionRequest, entry.mac, version, &versionLength)) continue;
        takeStationVersion(*station, version, versionLength);
        updateRate(station->rate, entry.rateTo, 0, 0, RateMode::Av);
        recordPhyRates(entry.mac.data(), entry.rateTo, entry.rateFrom);
    }
    return true;
}

bool readFirmwareType() {
    return readFirmwareTypeWith(plcapi_ReadConfigurationBlock);
}

bool readFirmwareTypeWith(AvRequestEncoder encode) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    Mac destination{};
    copyLocalMac(destination.data());

    AvRequestBuffer frame{};
    const int length = encode(source.data(), destination.data(), kAvRequestCapacity, frame.data());
    if (length == 0) {
        notifier().notify("Error", "Error in plcapi_ReadConfigurationBlock", Icon::Error,
                          Buttons::Ok);
        return false;
    }
    sendAvFrame(frame, length);
    AvConfirm confirm;
    // 1 ms, then the usual window: a device busy for a few milliseconds still answers in time.
    if (!awaitAvConfirm(kMmConfigBlockRequest, destination, confirm)) return false;
    // A commit confirmation is accepted as an answer but holds no configuration status: taking
    // its cleared payload as status 0 would change how the next upgrade ends.
    if (confirm.mmtype != kMmConfigBlockConfirm) return false;

    AvExchangeState& state = avExchangeState();
    switch (confirm.payload[kConfigBlockStatusIndex]) {
        case 0:
            state.upgradeCommits = true;
            break;
        case 1:
            return false;
        case 2:
            state.upgradeCommits = false;
            break;
        default:
            // The meaning of other statuses is not known; the choice made before stands.
            break;
    }
    return true;
}

int readLocalNmk(const Mac& device, NetworkKey& nmk) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return -1;
    if (plcapi_BeginModuleRead(source.data(), device.data(), kReadPib) != 0) return -1;

    std::vector<uint8_t> image(kPibReadBufferSize);
    size_t filled = 0;
    for (int round = 0;; ++round) {
        // A device that keeps confirming past any PIB's length is not reading one out.
        if (round == kMaxPibReadRounds) return -1;
        AvRequestBuffer frame{};
        const int length = plcapi_BuildPendingFrame(kAvRequestCapacity, frame.data());
        if (length > 0) {
            sendAvFrame(frame, length);
        } else {
            reportEncodeFailure();
        }
        AvConfirm confirm;
        // Each chunk within the usual window, looked for at once as the request is out.
        if (!waitAvConfirm(kMmModuleReadRequest, device, confirm, kAvAwaitWindowMs)) return -1;
        appendChunk(confirm, image, filled);
        if (confirm.valid && confirm.payload[kReadRecordLastChunkIndex] != 0) break;
    }

    // Only the bytes that arrived are the image: a PIB cut short cannot pass as a whole one.
    PibImage pib;
    const int code = pib.pibOpen(std::span<uint8_t>(image.data(), filled));
    if (code == kPibDone || code == kPibOtherVersion) {
        NetworkKey key{};
        if (pib.pibGetNmk(key) == kPibDone) nmk = key;
    }
    return 1;
}

}  // namespace corvel
