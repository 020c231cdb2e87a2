// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mac.h"

// Bringing one device onto the local network by its device password alone, and (for 1.0 and
// Turbo) proving a known device's password the same way.
namespace corvel {

// The forms of a device password a 1.0 / Turbo add tries in turn: as typed; upper-cased
// (a..z); that form with "-" put in at positions 4, 9 and 14 wherever another character stands
// there (each insertion shifting the rest right). A later form equal to the typed text is left
// out; one equal only to the form before it is tried again.
std::vector<std::string> devicePasswordForms(std::string_view typed);

// Without `address` (Add Device) the device is found by its password; with it (the password
// check of a 1.0 or Turbo device) the device at that address is asked. True on success.
//
// AV local device (no address): the local device's NMK is read, then each search pass puts the
// local device alone on a random key and offers that key, up to 11 times 2000 ms apart, to the
// device whose DAK the typed password gives (no other form is tried). The local device's
// network then has to show exactly one station, asked up to 501 times: more than one starts a
// new pass (at most 5 passes, after which the add fails: the key is not the password's device's
// alone). The one station is the device: after 5000 + 5000 ms the local device goes back on its
// NMK, 10000 ms later the device becomes the expected address of pendingAdd and is given the
// network's NMK by its password; an immediate scan follows. Each failure has its message and
// clears pendingAdd; the caller puts the local NMK back.
//
// 1.0 / Turbo local device: the device and the local device are moved onto a random key, with
// each password form in turn until one works; then both go back on the local device's previous
// key and the local device's own key is set again. On success pendingAdd (when an add is in
// progress) takes the name, the form of the password that worked and the device's address, and
// `password` becomes that form. "Device was added to your network." or "Password Verified as
// correct." ("Information"); a failure is reported once ("Attention!").
bool addDevice(std::optional<std::string_view> name, std::string& password,
               std::optional<Mac> address);

}  // namespace corvel
