// SPDX-License-Identifier: MIT
#include "network/add_device.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "avcodec/codec.h"
#include "av/exchanges.h"
#include "avcodec/frame.h"
#include "avcodec/network_info.h"
#include "av/local_device.h"
#include "av/set_key.h"
#include "scan/device_list.h"
#include "core/stations.h"
#include "core/tables.h"
#include "keys/derive.h"
#include "keys/random_key.h"
#include "network/device_key.h"
#include "network/hp10_confirm.h"
#include "network/key_target.h"
#include "network/local_family.h"
#include "network/local_key.h"
#include "network/operation_hooks.h"
#include "network/operation_stop.h"
#include "network/remote_key.h"
#include "network/scan_now.h"
#include "network/scan_pause.h"
#include "platform/notifier.h"
#include "platform/text.h"

namespace corvel {

namespace {

constexpr int kRandomKeyAttempts = 11;
constexpr uint32_t kBeforeAttemptMs = 2000;
constexpr int kNetworkInfoTries = 501;
constexpr uint32_t kAfterNetworkInfoMs = 100;
// The device and the local device restart after their NMK changed.
constexpr uint32_t kFirstSettleMs = 5000;
constexpr uint32_t kSecondSettleMs = 5000;
constexpr uint32_t kRejoinMs = 10000;
// A random key that keeps reaching more than one device reaches them all by the same password:
// further passes would not single the device out.
constexpr int kMaxSearchPasses = 5;

constexpr size_t kDashPositions[] = {4, 9, 14};

const char* const kNotDetectedText =
    "A Device With The Entered Password Was Not Detected. \nPlease Check The Password and Check "
    "Your Device Connection.";

void attention(MessageId id, const char* text) {
    notifier().show({id, "Attention!", text, Icon::Warning, Buttons::Ok});
}

void dropPendingAdd() {
    pendingAdd().active = false;
    pendingAdd().expectedMac = Mac{};
}

Mac currentLocalMac() {
    Mac mac{};
    copyMac(mac.data(), currentAdapterRecord().localMac);
    return mac;
}

struct NetworkStations {
    int count = 0;
    Mac first{};
};

// The stations of the local device's network in one confirmation, each recorded as a station
// of the selected interface with its rate.
NetworkStations takeNetworkStations(const AvConfirm& info, size_t frameLength) {
    NetworkStations seen;
    const std::vector<NetworkInfoStation> stations = networkInfoStations(info, frameLength);
    if (stations.empty()) return seen;
    const Mac local = currentLocalMac();
    seen.first = stations.front().mac;
    for (const NetworkInfoStation& entry : stations) {
        if (!isDeviceAddress(entry.mac) || entry.mac == local) continue;
        addOrRefreshStation(entry.mac.data());
        if (StationRecord* station = findStationByMac(entry.mac.data())) {
            updateRate(station->rate, entry.rateTo, 0, 0, RateMode::Av);
            recordPhyRates(entry.mac.data(), entry.rateTo, entry.rateFrom);
        }
    }
    seen.count = int(stations.size());
    return seen;
}

// Asks the local device for its network until it shows a station; a try without a confirmation
// counts as none.
NetworkStations awaitNetworkStations() {
    const Mac local = currentLocalMac();
    for (int t = 0; t < kNetworkInfoTries; ++t) {
        stopPoint();
        sendAvRequest(local, kMmNetworkInfoRequest);
        AvConfirm info{};
        size_t length = 0;
        if (!awaitAvConfirm(kMmNetworkInfoRequest, local, info, &length)) continue;
        pauseMs(kAfterNetworkInfoMs);
        const NetworkStations seen = takeNetworkStations(info, length);
        if (seen.count != 0) return seen;
    }
    return {};
}

enum class SearchResult { found, noDeviceTookKey, noStation, tooMany };

// Where an AV add has got to, for what a stop must put back.
struct AvAddState {
    bool localOnOwnKey = true;
    bool deviceOnRandomKey = false;  // a device took a random key and was not given the NMK yet
    Mac device{};                    // its address, once the network showed it
};

// One pass: the local device alone on a random key, offered to the device by its DAK.
SearchResult searchPass(const NetworkKey& dak, Mac& device, AvAddState& state) {
    NetworkKey randomKey{};
    makeRandomKey(KeyFamily::Av, randomKey.data());
    state.localOnOwnKey = false;
    setLocalNEK(requestSourceMac(), randomKey);
    bool taken = false;
    for (int attempt = 0; attempt < kRandomKeyAttempts && !taken; ++attempt) {
        pauseOrStop(kBeforeAttemptMs);
        Mac target = kBroadcastMac;
        taken = setRemoteKey(dak, randomKey, target, false) != kKeyNotSet;
    }
    if (!taken) return SearchResult::noDeviceTookKey;
    state.deviceOnRandomKey = true;
    const NetworkStations seen = awaitNetworkStations();
    if (seen.count == 0) return SearchResult::noStation;
    if (seen.count > 1) return SearchResult::tooMany;
    // A single entry without a device's address names no device to expect.
    if (!isDeviceAddress(seen.first)) return SearchResult::noStation;
    device = seen.first;
    return SearchResult::found;
}

bool addAvDevice(std::optional<std::string_view> name, const std::string& password) {
    WaitCursor cursor;
    ScanPause pause;
    NetworkKey ownNmk{};
    // A PIB that reads but holds no usable NMK leaves the key unwritten: an all-zero NMK put
    // back on the local device would leave it on no network at all.
    if (readLocalNmk(currentLocalMac(), ownNmk) != 1 || !keyIsSet(ownNmk)) {
        notifier().show({MessageId::LocalKeyUnread, "Error!!",
                         "Error reading NMK from the local device", Icon::None, Buttons::Ok});
        // Like every failure: a flag left set would hand the next new station an empty name.
        dropPendingAdd();
        return false;
    }
    AvAddState state;
    try {
        const NetworkKey dak = deriveDAK(password);
        Mac device{};
        SearchResult search = SearchResult::tooMany;
        for (int pass = 0; pass < kMaxSearchPasses && search == SearchResult::tooMany; ++pass)
            search = searchPass(dak, device, state);
        if (search == SearchResult::noDeviceTookKey) {
            attention(MessageId::NoDeviceTookKey, "Unable to set the NMK of remote device!!!");
            dropPendingAdd();
            return false;
        }
        if (search != SearchResult::found) {
            attention(MessageId::DeviceNotSingledOut, "Error occured while adding the device");
            dropPendingAdd();
            return false;
        }

        state.device = device;
        pauseOrStop(kFirstSettleMs);
        addProgress(1);
        pauseOrStop(kSecondSettleMs);
        setLocalNEK(requestSourceMac(), ownNmk);
        state.localOnOwnKey = true;
        addProgress(1);
        pauseOrStop(kRejoinMs);
        pendingAdd().expectedMac = device;
        addProgress(1);

        KeyTarget target{password, kBroadcastMac, 0};
        const std::string networkName = stringOf(currentStationTable().networkName);
        const bool added = setDeviceKey(target, networkName, true);
        state.deviceOnRandomKey = false;
        if (added) {
            if (name) pendingAdd().name = std::string(*name);
            pendingAdd().password = password;
        } else {
            attention(MessageId::DeviceNotFound, kNotDetectedText);
            if (StationRecord* station = findStationByMac(device.data())) station->present = 0;
            dropPendingAdd();
        }
        scanNow();
        return added;
    } catch (const OperationStopped&) {
        // The local device's own NMK is put back by the caller, which kept it (Add Device);
        // a device on the random key stays there: its earlier key is not known, and another add
        // finds it by its password.
        StopReport& stop = lastStop();
        stop.stopped = true;
        stop.localBack = state.localOnOwnKey;
        stop.addedDeviceLeft = state.deviceOnRandomKey;
        if (state.deviceOnRandomKey && macIsSet(state.device.data()))
            stop.devicesLeft.push_back(state.device);
        dropPendingAdd();
        return false;
    } catch (const std::exception&) {
        dropPendingAdd();
        notifier().show({MessageId::UnexpectedFailure, "Error!!!",
                         "Some unknown problem occured while adding the device. Try adding "
                         "again!",
                         Icon::None, Buttons::Ok, {"adding the device"}});
        return false;
    }
}

}  // namespace

std::vector<std::string> devicePasswordForms(std::string_view typed) {
    std::vector<std::string> forms{std::string(typed)};
    std::string upper(typed);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    std::string dashed = upper;
    for (const size_t at : kDashPositions)
        if (at < dashed.size() && dashed[at] != '-') dashed.insert(at, 1, '-');
    for (const std::string& form : {upper, dashed})
        if (form != typed) forms.push_back(form);
    return forms;
}

bool keyHp10DeviceByPassword(std::optional<std::string_view> name, std::string& password,
                             std::optional<Mac> address, const Hp10KeyingTexts& texts) {
    WaitCursor cursor;
    const bool byPassword = !address.has_value();
    KeyTarget target{password, address.value_or(kBroadcastMac), 0};

    bool found = false;
    const std::vector<std::string> forms = devicePasswordForms(password);
    try {
        for (size_t i = 0; i < forms.size() && !found; ++i) {
            if (i > 0) passwordProgress(1);
            stopPoint();
            target.password = forms[i];
            found = setDeviceKey(target, std::nullopt, byPassword);
        }
    } catch (const OperationStopped&) {
        // setDeviceKey has put the saved key back on both; the local device's own key under key
        // select 0 and its network key are set again as at the end of every add.
        PuttingBack back;
        StopReport& stop = lastStop();
        stop.stopped = true;
        stop.localBack = reapplyLocalKey() != kKeyNotSet;
        dropPendingAdd();
        return false;
    }
    bool added = false;
    if (found) {
        // Both are on the random key: this is the way back onto the network, which a stop does
        // not cut short. While the add or the check is pending the key is the local device's
        // previous one.
        PuttingBack back;
        const std::string networkName = stringOf(currentStationTable().networkName);
        added = setDeviceKey(target, networkName, false);
    }
    if (added && pendingAdd().active) {
        PendingAdd& add = pendingAdd();
        if (name) add.name = std::string(*name);
        // The form the device took: the typed text would give the record a DEK the device
        // does not have, and every later Set All Devices would fail on it.
        add.password = target.password;
        if (isDeviceAddress(target.mac)) add.expectedMac = target.mac;
    }
    passwordProgress(1);
    reapplyLocalKey();

    if (added) {
        password = target.password;
        notifier().show({texts.successId, "Information", texts.success, Icon::Information,
                         Buttons::Ok});
        return true;
    }
    attention(texts.failureId, texts.failure);
    const Mac expected = pendingAdd().expectedMac;
    if (macIsSet(expected.data()))
        if (StationRecord* station = findStationByMac(expected.data())) station->present = 0;
    dropPendingAdd();
    return false;
}

AddResult addDevice(std::optional<std::string_view> name, std::string& password) {
    const bool added =
        localFamily() == LocalFamily::av
            ? addAvDevice(name, password)
            : keyHp10DeviceByPassword(name, password, std::nullopt,
                                      {"Device was added to your network.", kNotDetectedText,
                                       MessageId::DeviceAdded, MessageId::DeviceNotFound});
    return added ? AddResult::added : AddResult::failed;
}

}  // namespace corvel
