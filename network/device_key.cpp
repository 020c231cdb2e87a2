// SPDX-License-Identifier: MIT
#include "network/device_key.h"

#include <cstring>

#include "av/set_key.h"
#include "scan/device_list.h"
#include "core/tables.h"
#include "keys/derive.h"
#include "network/hp10_confirm.h"
#include "network/hp10_key_frame.h"
#include "network/key_state.h"
#include "network/local_family.h"
#include "network/local_key.h"
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

    const NetworkKey accessKey = family == LocalFamily::av
                                     ? deriveDAK(target.password)
                                     : keyBufferOf(deriveHP10Key(target.password));
    if (byPassword) target.mac = kBroadcastMac;

    int result = kKeyNotSet;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        result = setRemoteKey(accessKey, newKey, target.mac, byPassword);
        if (result != kKeyNotSet) break;
        pauseMs(kPauseAfterFailedAttemptMs);
    }
    if (result != kKeyNotSet) target.result = 1;

    if (randomKey && result == kKeyNotSet) {
        // The device may have taken the random key without a word: both go back to the old one.
        const NetworkKey saved = keyBufferOf(membershipKeyState().savedLocalKey);
        setLocalNEK(std::nullopt, saved);
        setRemoteKey(accessKey, saved, target.mac, byPassword);
    }
    return target.result == 1;
}

}  // namespace corvel
