// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the user may type as a network name, a device password and a device name, how it is
// normalised, and the exact words of every refusal. Each refusal is one modal box with an OK
// button through notifier(); the functions return whether the text was accepted.
namespace corvel {

inline constexpr size_t kNetworkNameMinLength = 4;
inline constexpr size_t kNetworkNameMaxLength = 24;
inline constexpr size_t kDeviceNameMaxLength = 31;
inline constexpr size_t kDevicePasswordLength = 19;  // XXXX-XXXX-XXXX-XXXX

// Fills an empty password box; as long as it is there, no password has been entered.
inline constexpr std::string_view kPasswordPlaceholder = "PASS-WORD-GOES-HERE";

// Stored in front of a device password by the password check: the device refused it ("Not "),
// or it could not be checked ("CHECK ").
inline constexpr std::string_view kRefusedPrefix = "Not ";
inline constexpr std::string_view kUncheckedPrefix = "CHECK ";

// --- Device passwords ---

// Four groups of four letters or digits joined by dashes; case is not checked. On failure shows
// the password-format message.
bool checkDevicePassword(std::string_view text);
// False, with "Please enter a Password.", while the box still holds the placeholder. Runs before
// the format check, which the placeholder itself would pass.
bool checkPasswordEntered(std::string_view text);
// The Set Device Password form: the first 19 characters upper-cased, the rest unchanged.
std::string upperCaseDevicePassword(std::string_view text);
// The password behind a stored text: a leading "CHECK " is dropped, then a leading "Not ".
std::string stripVerificationPrefixes(std::string_view stored);

// --- Network names ---

// The network-name box, also shown by callers when checkNetworkName() fails on `name`.
void showNetworkNameInvalid(std::string_view name = {});
// 4 to 24 characters; otherwise shows the network-name message.
bool checkNetworkNameLength(std::string_view text);
// Length and characters (0x20 to 0x7F only). Shows nothing: a failure writes one line to standard
// output. nullptr means no text at all, as opposed to an empty one.
bool checkNetworkName(const char* text);
// Whether every character of a network name lies in 0x20 to 0x7F; writes and shows nothing.
bool networkNameCharactersAllowed(std::string_view text);
// While typing: 25 or more characters are cut to 24 and the network-name message is shown.
// Returns whether the text was cut.
bool cutTypedNetworkName(std::string& text);

// --- Device names ---
// Uniqueness is the caller's look-up: `taken` tells whether a known device already has the name
// (exact, case-sensitive comparison).

// While typing in Add Device, and first when a rename ends: 32 or more characters are cut to 31
// and "Device Name should be less than 31 characters" is shown. Returns whether it was cut.
bool cutDeviceName(std::string& name);
// Add Device: empty, then too long, then taken; the first failure is shown.
bool checkNewDeviceName(std::string_view name, bool taken);
// Rename, on the name cutDeviceName() left: empty or taken is refused.
bool checkRenamedDeviceName(std::string_view name, bool taken);

}  // namespace corvel
