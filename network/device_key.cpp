// SPDX-License-Identifier: MIT
#include "network/device_key.h"

#include <cstring>

#include "av/set_key.h"
#include "scan/device_list.h"
#include "core/tables.h"
#include "keys/derive.h"
#include "keys/random_key.h"
#include "network/hp10_confirm.h"
#include "network/hp10_key_frame.h"
#include "network/key_state.h"
#include "network/local_family.h"
#include "network/local_key.h"
#include "network/operation_stop.h"
#include "network/remote_key.h"
#include "network/scan_pause.h"

namespace corvel {

namespace {

constexpr int kAttempts = 5;
constexpr uint32_t kPauseAfterFailedAttemptMs = 1000;

// Keeps the local 1.0 / Turbo device's current network key before it is moved onto a random
// one. A Turbo device is asked for it; when its reply is lost, the key the last scan read
// stands. For a plain 1.0 device it is the NEK of the parameter
// block (bytes 15..22); hp10NetworkKey holds bytes 14..21, the key select and seven key bytes.
bool saveLocalKey(LocalFamily family) {
    MembershipKeyState& state = membershipKeyState();
    if (family == LocalFamily::turbo) {
        if (!refreshLocalTurboKey()) return false;
        std::memcpy(state.savedLocalKey.data(), core.hp10NetworkKey, state.savedLocalKey.size());
    } else {
        if (core.localKeyKnown == 0) return false;
        state.savedLocalKey = localBlockKey(kBlockNek);
    }
    state.savedLocalKeyValid = true;
    return true;
}

NetworkKey networkNameKey(LocalFamily family, std::string_view name, bool byPassword) {
    MembershipKeyState& state = membershipKeyState();
    if (family == LocalFamily::av) {
        if (!byPassword) return deriveNMK(name);
        NetworkKey nmk{};
        std::memcpy(nmk.data(), core.avNetworkKey, nmk.size());
        return nmk;
    }
    if (pendingAdd().active || state.passwordCheckPending) {
        state.passwordCheckPending = false;
        // Without a saved key there is nothing to return to; the network's own key is the one
        // the device belongs on.
        if (state.savedLocalKeyValid) return keyBufferOf(state.savedLocalKey);
    }
    return keyBufferOf(deriveHP10Key(name));
}

// Up to 5 attempts of setRemoteKey, each failed one followed by 1000 ms (a safe point: the
// attempts of this device stop there).
int offerKey(const NetworkKey& accessKey, const NetworkKey& newKey, KeyTarget& target,
             bool byPassword) {
    int result = kKeyNotSet;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        result = setRemoteKey(accessKey, newKey, target.mac, byPassword);
        if (result != kKeyNotSet) break;
        pauseOrStop(kPauseAfterFailedAttemptMs);
    }
    return result;
}

NetworkKey accessKeyOf(LocalFamily family, const std::string& password) {
    return family == LocalFamily::av ? deriveDAK(password)
                                     : keyBufferOf(deriveHP10Key(password));
}

}  // namespace

bool setDeviceKey(KeyTarget& target, std::optional<std::string_view> networkName, bool byPassword) {
    ScanPause pause;
    target.result = 0;
    if (!macIsSet(requestSourceMac().data())) return false;
    const LocalFamily family = localFamily();
    const bool randomKey = !networkName.has_value();

    NetworkKey newKey{};
    if (randomKey) {
        if (family == LocalFamily::av) return false;
        makeRandomKey(family == LocalFamily::turbo ? KeyFamily::Turbo : KeyFamily::HomePlug10,
                      newKey.data());
        if (!saveLocalKey(family)) return false;
    } else {
        newKey = networkNameKey(family, *networkName, byPassword);
    }

    // A 1.0 / Turbo local device passes keys on only to devices of its own network key.
    if (family != LocalFamily::av && setLocalNEK(std::nullopt, newKey) == kKeyNotSet) {
        // Unconfirmed is not untaken: a local device left on a random key would be off its
        // network with nothing to bring it back.
        if (randomKey) setLocalNEK(std::nullopt, keyBufferOf(membershipKeyState().savedLocalKey));
        return false;
    }

    const NetworkKey accessKey = accessKeyOf(family, target.password);
    if (byPassword) target.mac = kBroadcastMac;

    // The device may have taken the random key without a word: after attempts that all failed,
    // or a stop between them, both go back to the old one.
    const auto undoRandomKey = [&] {
        PuttingBack back;
        const NetworkKey saved = keyBufferOf(membershipKeyState().savedLocalKey);
        setLocalNEK(std::nullopt, saved);
        setRemoteKey(accessKey, saved, target.mac, byPassword);
    };
    int result = kKeyNotSet;
    try {
        result = offerKey(accessKey, newKey, target, byPassword);
    } catch (const OperationStopped&) {
        if (randomKey) undoRandomKey();
        throw;
    }
    if (result != kKeyNotSet) target.result = 1;
    if (randomKey && result == kKeyNotSet) undoRandomKey();
    return target.result == 1;
}

bool giveDeviceKey(KeyTarget& target, const NetworkKey& key) {
    ScanPause pause;
    target.result = 0;
    if (!macIsSet(requestSourceMac().data())) return false;
    const LocalFamily family = localFamily();
    if (family != LocalFamily::av && setLocalNEK(std::nullopt, key) == kKeyNotSet) return false;
    if (offerKey(accessKeyOf(family, target.password), key, target, false) == kKeyNotSet)
        return false;
    target.result = 1;
    return true;
}

}  // namespace corvel
