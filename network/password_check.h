// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "network/key_target.h"

// Proving a known device's password on the device itself, and the form in which the outcome is
// kept in the device's record.
namespace corvel {

// Outcomes of verifyDevicePassword.
inline constexpr int kPasswordNotCheckable = -1;
inline constexpr int kPasswordRefused = 0;
inline constexpr int kPasswordVerified = 1;

// AV local device: one set key under the DAK of `target.password`, addressed to `target.mac`,
// carrying the selected station table's NMK; only its confirmation verifies the password, which
// therefore also puts the device on the local network. Refused: "The Device Password Entered is
// Invalid.\nPlease check it and try again." ("Attention!"). 1.0 / Turbo: keyHp10DeviceByPassword
// with the device's address (network/add_device.h), which shows "Password Verified as correct."
// or the same refusal and leaves in `target.password` the form that worked.
//
// -1 without a host source address, and (AV) while the station table holds no NMK yet: an
// all-zero key given to the device would take it off every network. The password-check mark
// (passwordCheckPending) is cleared on every exit, so that it never reaches a later keying.
int verifyDevicePassword(KeyTarget& target);

// What a device record keeps after a check: the password (in the form that worked) when
// verified, "Not " in front when refused, "CHECK " in front when it could not be checked.
std::string storedPasswordForm(int verification, std::string_view password);

}  // namespace corvel
