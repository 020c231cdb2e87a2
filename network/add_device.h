// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mac.h"
#include "platform/notifier.h"

// Bringing one device onto the local network by its device password alone (Add Device), and the
// 1.0 / Turbo keying by password that the password check (network/password_check.h) shares.
namespace corvel {

// The forms of a device password a 1.0 / Turbo add tries in turn: as typed; upper-cased
// (a..z); that form with "-" put in at positions 4, 9 and 14 wherever another character stands
// there (each insertion shifting the rest right). A later form equal to the typed text is left
// out; one equal only to the form before it is tried again.
std::vector<std::string> devicePasswordForms(std::string_view typed);

// Add Device: the device that is not on the network yet is found by its password and given the
// network's key.
//
// AV local device: the local device's NMK is read, then each search pass puts the local device
// alone on a random key and offers that key, up to 11 times 2000 ms apart, to the device whose
// DAK the typed password gives (no other form is tried). The local device's network then has to
// show exactly one station, asked up to 501 times: more than one starts a new pass (at most 5
// passes, after which the add fails: the key is not the password's device's alone). The one
// station is the device: after 5000 + 5000 ms the local device goes back on its NMK, 10000 ms
// later the device becomes the expected address of pendingAdd and is given the network's NMK by
// its password; an immediate scan follows. Each failure has its message and clears pendingAdd;
// the caller puts the local NMK back.
//
// 1.0 / Turbo local device: keyHp10DeviceByPassword without an address, "Device was added to
// your network." on success, "A Device With The Entered Password Was Not Detected. ..." on
// failure.
enum class AddResult {
    added,
    failed,  // the reason has been shown
};
AddResult addDevice(std::optional<std::string_view> name, std::string& password);

// What keyHp10DeviceByPassword shows: `success` with caption "Information", `failure` with
// "Attention!", each under its message identity (what the command line says in its own words).
struct Hp10KeyingTexts {
    const char* success;
    const char* failure;
    MessageId successId;
    MessageId failureId;
};

// A 1.0 / Turbo device reached by its password, for Add Device (no `address`: the device is
// found by its password) and for the check of a known device's password (`address`: the device
// at that address is asked). The device and the local device are moved onto a random key, with
// each password form in turn until one works; then both go back on the local device's previous
// key and the local device's own key is set again. On success pendingAdd (when an add is in
// progress) takes the name, the form of the password that worked and the device's address, and
// `password` becomes that form. The outcome is shown once; on failure the station expected by
// pendingAdd is marked absent and pendingAdd cleared. True on success.
bool keyHp10DeviceByPassword(std::optional<std::string_view> name, std::string& password,
                             std::optional<Mac> address, const Hp10KeyingTexts& texts);

}  // namespace corvel
