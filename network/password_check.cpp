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

int verifyAv(KeyTarget& target) {
    NetworkKey nmk{};
    std::memcpy(nmk.data(), currentStationTable().networkKey, nmk.size());
    if (std::all_of(nmk.begin(), nmk.end(), [](uint8_t b) { return b == 0; }))
        return kPasswordNotCheckable;
    Mac device = target.mac;
    if (setRemoteKey(deriveDAK(target.password), nmk, device, false) == kKeyAvConfirmed)
        return kPasswordVerified;
    notifier().show({MessageId::PasswordRefused, "Attention!",
                     "The Device Password Entered is Invalid.\nPlease check it and try again.",
                     Icon::Warning, Buttons::Ok});
    return kPasswordRefused;
}

}  // namespace

int verifyDevicePassword(KeyTarget& target) {
    int result = kPasswordNotCheckable;
    if (macIsSet(requestSourceMac().data())) {
        if (localFamily() == LocalFamily::av)
            result = verifyAv(target);
        else
            result = addDevice(std::nullopt, target.password, target.mac) ? kPasswordVerified
                                                                          : kPasswordRefused;
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
