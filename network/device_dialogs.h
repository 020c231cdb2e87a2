// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// The two device dialogs of the main page as front-end-neutral operations: "Set Device Password"
// (Enter Password) records and proves the printed password of a listed device, "Add Device to
// Network" (Add) brings a device that is not on the network yet onto it by its password. Each
// runs the dialog's checks in order, each refusal with its own message, while the scan is
// paused; the front end shows the boxes and calls these with what was typed.
namespace corvel {

enum class DialogOutcome {
    staysOpen,  // the entry was refused with its message; the dialog waits for another
    closed,     // closed without a result (old Turbo firmware, no device, a failed add)
    checked,    // Set Device Password: the check ran and its outcome is stored and saved
    waiting,    // Add Device: added; the refresh closes the dialog when the device shows up
    stopped,    // a stop was asked for while the add or the check ran: lastStop() tells more
};

// What the password box of Set Device Password opens with for device `record` (1-based): the
// stored password without a leading "CHECK " and then "Not " (the record is rewritten so), or
// the placeholder "PASS-WORD-GOES-HERE" when none is stored. Empty for no such record.
std::string openPasswordEntry(int record);

struct PasswordEntry {
    DialogOutcome outcome = DialogOutcome::staysOpen;
    int verification = 0;  // when checked: 1 verified, 0 refused, -1 not checkable
    std::string stored;    // when checked: the text stored in the record
};

// Set Device Password, OK, for device `record` (1-based). In order: old Turbo firmware refuses
// (the message, an immediate scan, closed, the scan left paused); the placeholder is refused;
// the first 19 characters are upper-cased and the format checked. Then the password is stored,
// the check runs with the password-check mark set (passwordProgress from its first text), and
// the record keeps the outcome's form (storedPasswordForm); the database is saved. A record that
// does not exist: "Please select a device first by clicking on it.", closed. A check stopped
// before its end (operation_stop.h) leaves the record's password as it was: stopped.
PasswordEntry enterDevicePassword(int record, std::string_view typed);

// Whether `password` is shown in the Password column of the main page's list of the selected
// interface: the present AV stations other than the local device, each with its record's stored
// password.
bool passwordListed(std::string_view password);

// Add Device to Network, OK. In order: old Turbo firmware refuses (as above); the device name
// rules (empty, longer than 31, already taken); the placeholder; the password format, on the text
// as typed; a password the list already shows: "Device is already added in the network"
// ("Attention!"). Then keepNameOnce, a fresh pendingAdd (nothing of an earlier add carried
// over), and the add (addDevice). An AV local device's
// NMK is kept before and put back after a failed add (when it could be read), followed by
// 3000 ms. On success the database is saved and, with autoscan off, refreshView(50) and an
// immediate scan run; the dialog then waits for the refresh to adopt the device.
//
// A stop asked for during the add (operation_stop.h) ends it at its next safe point without
// its failure messages: the local device's own key is put back as after a failure (an AV local
// device only when it had left its NMK), and lastStop() tells what stayed; stopped.
DialogOutcome addDeviceToNetwork(std::string_view name, std::string_view password);

}  // namespace corvel
