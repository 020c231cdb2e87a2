// SPDX-License-Identifier: MIT
#include "network/password_check.h"

#include <algorithm>
#include <cstring>

#include "core/tables.h"
#include "keys/derive.h"
#include "keys/rules.h"
#include "network/add_device.h"
#include "network/key_state.h"
#include "network/local_family.h"
#include "network/remote_key.h"
#include "platform/notifier.h"

namespace corvel {

namespace {

const char* const kInvalidPasswordText =
    "The Device Password Entered is Invalid.\nPlease check it and try again.";

int verifyAv(KeyTarget& target) {
    NetworkKey nmk{};
    std::memcpy(nmk.data(), currentStationTable().networkKey, nmk.size());
    if (std::all_of(nmk.begin(), nmk.end(), [](uint8_t b) { return b == 0; }))
        return kPasswordNotCheckable;
    Mac device = target.mac;
    if (setRemoteKey(deriveDAK(target.password), nmk, device, false) == kKeyAvConfirmed)
        return kPasswordVerified;
    notifier().show({MessageId::PasswordRefused, "Attention!", kInvalidPasswordText,
                     Icon::Warning, Buttons::Ok});
    return kPasswordRefused;
}

// The device at `target.mac` is asked by the forms of its password; the one that worked is left
// in `target.password`.
int verifyHp10(KeyTarget& target) {
    return keyHp10DeviceByPassword(std::nullopt, target.password, target.mac,
                                   {"Password Verified as correct.", kInvalidPasswordText,
                                    MessageId::PasswordVerified, MessageId::PasswordRefused})
               ? kPasswordVerified
               : kPasswordRefused;
}

}  // namespace

int verifyDevicePassword(KeyTarget& target) {
    int result = kPasswordNotCheckable;
    if (macIsSet(requestSourceMac().data())) {
        result = localFamily() == LocalFamily::av ? verifyAv(target) : verifyHp10(target);
    }
    membershipKeyState().passwordCheckPending = false;
    return result;
}

std::string storedPasswordForm(int verification, std::string_view password) {
    if (verification == kPasswordVerified) return std::string(password);
    const std::string_view prefix =
        verification == kPasswordRefused ? kRefusedPrefix : kUncheckedPrefix;
    return std::string(prefix) + std::string(password);
}

}  // namespace corvel
