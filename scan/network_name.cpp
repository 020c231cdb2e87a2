// SPDX-License-Identifier: MIT
#include "scan/network_name.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/tables.h"
#include "scan/station_texts.h"
#include "platform/text.h"

namespace corvel {

namespace {

// The third entry of the table of default keys.
constexpr Key8 kPublicHp10ParityClearForm = {0x01, 0x46, 0xD6, 0x12, 0xE0, 0xF8, 0x4A, 0x76};

constexpr uint8_t kPublicKeySelect = 0x01;

std::array<Key8, 3> makePublicHp10KeyForms() {
    const Key8& nek = publicHp10Key();
    Key8 paramBlockForm{};
    paramBlockForm[0] = kPublicKeySelect;
    std::copy_n(nek.begin(), 7, paramBlockForm.begin() + 1);
    return {nek, paramBlockForm, kPublicHp10ParityClearForm};
}

// The name table of the family: both are as wide as a station table's name.
char (&familyName(NetworkFamily family))[40] {
    return family == NetworkFamily::Av ? core.avNetworkName : core.hp10NetworkName;
}

std::string_view lookupFamily(NetworkFamily family) {
    return family == NetworkFamily::Av ? "AV" : "Turbo";
}

}  // namespace

std::string_view publicNetworkName(NetworkFamily family) {
    return family == NetworkFamily::Av ? kPublicAvName : kPublicHp10Name;
}

size_t networkKeyWidth(NetworkFamily family) {
    return family == NetworkFamily::Av ? 16 : 8;
}

const std::array<Key8, 3>& publicHp10KeyForms() {
    static const std::array<Key8, 3> forms = makePublicHp10KeyForms();
    return forms;
}

bool isPublicKey(NetworkFamily family, const uint8_t* key) {
    if (family == NetworkFamily::Av) return std::memcmp(key, publicAvKey().data(), 16) == 0;
    for (const Key8& form : publicHp10KeyForms())
        if (std::memcmp(key, form.data(), form.size()) == 0) return true;
    return false;
}

void nameNetwork(NetworkFamily family, const uint8_t* key, int record, bool recordIsNew) {
    const size_t width = networkKeyWidth(family);
    char(&name)[40] = familyName(family);
    DeviceRecord* local =
        record > 0 && record <= core.deviceCount ? &core.devices[record - 1] : nullptr;
    auto give = [&](std::string_view networkName, bool withKey) {
        copyText(name, networkName);
        if (local == nullptr) return;
        copyText(local->networkName, networkName);
        if (withKey) std::memcpy(local->networkKey, key, width);
    };

    if (core.networkNamePending) {
        give(textOf(currentStationTable().networkName), true);
        core.networkNamePending = 0;
    }

    const bool isPublic = isPublicKey(family, key);
    if (recordIsNew || local == nullptr) {
        if (const auto known = findNetworkNameByKey(key, lookupFamily(family))) {
            give(*known, true);
        } else {
            give(isPublic ? publicNetworkName(family) : kUnknownNetworkName, true);
        }
        return;
    }
    if (isPublic) {
        // The record takes the public key with the public name: a record left with its old
        // private key under the public name would call that private network public should it
        // come back.
        give(publicNetworkName(family), true);
        return;
    }
    if (std::memcmp(local->networkKey, key, width) == 0) {
        copyText(name, textOf(local->networkName));
        return;
    }
    if (const auto known = findNetworkNameByKey(key, lookupFamily(family))) {
        give(*known, true);
        return;
    }
    // A name was just set on the network and the device is taking the new key: its name is
    // not known to be lost yet.
    if (family == NetworkFamily::Av && core.keepNameOnce) {
        core.keepNameOnce = 0;
        return;
    }
    give(kUnknownNetworkName, false);
}

}  // namespace corvel
