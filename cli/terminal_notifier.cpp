// SPDX-License-Identifier: MIT
#include "cli/terminal_notifier.h"

#include <cstdio>

#include "cli/confirm.h"
#include "core/tables.h"
#include "keys/rules.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

namespace {

bool isQuestion(Buttons buttons) {
    return buttons != Buttons::Ok;
}

Button accepted(Buttons buttons) {
    return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Button::Ok : Button::Yes;
}

Button declined(Buttons buttons) {
    if (buttons == Buttons::Ok) return Button::Ok;
    return buttons == Buttons::YesNo ? Button::No : Button::Cancel;
}

std::string detail(const Notice& notice, size_t index) {
    return index < notice.details.size() ? notice.details[index] : std::string();
}

// A box's line breaks are layout; a terminal message is one line.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n') c = ' ';
    std::string joined;
    for (char c : text)
        if (!(c == ' ' && !joined.empty() && joined.back() == ' ')) joined += c;
    while (!joined.empty() && joined.back() == ' ') joined.pop_back();
    while (!joined.empty() && joined.front() == ' ') joined.erase(0, 1);
    return joined;
}

std::string networkNameWords(const std::string& name) {
    if (name.size() < kNetworkNameMinLength || name.size() > kNetworkNameMaxLength)
        return "the network name must be " + std::to_string(kNetworkNameMinLength) + " to " +
               std::to_string(kNetworkNameMaxLength) + " characters long; " +
               quotedText(name, true) + " has " + std::to_string(name.size());
    return "the network name " + quotedText(name, true) +
           " holds a character that is not printable ASCII (a control character or a byte "
           "above 0x7F); use letters, digits, spaces and ASCII punctuation";
}

std::string takenNameWords(const std::string& name) {
    std::string words = "the name " + quotedText(name) + " is already used by ";
    if (const int k = findDeviceByName(name); k != 0)
        words += "the device " + formatMac(core.devices[k - 1].mac);
    else
        words += "another device";
    return words + " (names are unique); choose another";
}

std::string fileRefusedWords(const Notice& notice) {
    const std::string role = detail(notice, 0);
    const std::string path = detail(notice, 1);
    std::string words = path + " is not a usable " + role + ": " + detail(notice, 2);
    if (role == kFirmwareImageRole) words += " (corvel nvm check " + path + " shows its chain)";
    if (role == kPibRole) words += " (corvel pib check " + path + " shows why)";
    return words;
}

}  // namespace

std::string quotedText(std::string_view text, bool asciiOnly) {
    if (!asciiOnly) return "'" + displayText(text) + "'";
    std::string quoted = "'";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string terminalWords(const Notice& notice) {
    switch (notice.id) {
        case MessageId::Other:
            return oneLine(notice.text);
        case MessageId::DevicePasswordFormat:
            return "a device password is four groups of four letters or digits joined by dashes "
                   "(XXXX-XXXX-XXXX-XXXX), as printed on the device";
        case MessageId::PasswordNotEntered:
            return std::string(kPasswordPlaceholder) +
                   " stands for a password not entered yet; give the device's own password";
        case MessageId::NetworkNameInvalid:
            return networkNameWords(detail(notice, 0));
        case MessageId::DeviceNameEmpty:
            return "the device name is empty; give 1 to " + std::to_string(kDeviceNameMaxLength) +
                   " characters";
        case MessageId::DeviceNameTaken:
            return takenNameWords(detail(notice, 0));
        case MessageId::DeviceNameTooLong:
            return "the device name has " + std::to_string(detail(notice, 0).size()) +
                   " characters; at most " + std::to_string(kDeviceNameMaxLength) +
                   " are allowed";
        case MessageId::PasswordAlreadyListed:
            return "a device with this password is already on the network and in the device "
                   "list (corvel devices lists it)";
        case MessageId::NoDeviceSelected:
            return "no device of the device list was given";
        case MessageId::OldTurboFirmware:
            return "the local Turbo device's firmware is older than 1.8, which this needs; "
                   "upgrade its firmware first (corvel upgrade --img)";
        case MessageId::ConfirmSetAllDevices:
            return "set the network name " + quotedText(detail(notice, 0)) +
                   " on every device whose password has been entered, then on the local device?";
        case MessageId::ConfirmDeleteDevice:
            return "remove " + detail(notice, 0) +
                   ", whose password has been entered, from the device list?";
        case MessageId::ConfirmUpgrade:
            return "upgrade the firmware of the local " + detail(notice, 0) + "?";
        case MessageId::ConfirmUpgradeCancel:
            return "stop the upgrade? A device stopped in the middle may not start until it is "
                   "upgraded again";
        case MessageId::LocalNetworkSet:
        case MessageId::AllDevicesSet:
        case MessageId::SomeDevicesNotSet:
        case MessageId::DeviceAdded:
        case MessageId::PasswordVerified:
        case MessageId::UpgradeDone:
            return "";
        case MessageId::AdapterNotDetected:
            return "no powerline adapter answered on any interface; check that one is cabled to "
                   "this computer and powered";
        case MessageId::LocalKeyNotSet:
            return "the local device did not take the new network key";
        case MessageId::LocalKeyUnread:
            return "the local device's network key could not be read; nothing was changed";
        case MessageId::NoDeviceTookKey:
            return "no device took the network key offered with this password; check the "
                   "password and that the device is plugged in";
        case MessageId::DeviceNotSingledOut:
            return "the device could not be told apart from the others on the temporary "
                   "network; try again";
        case MessageId::DeviceNotFound:
            return "no device with this password was found; check the password and the "
                   "device's connection";
        case MessageId::PasswordRefused:
            return "the device refused the password; check it and try again";
        case MessageId::UnexpectedFailure:
            return detail(notice, 0) + " failed unexpectedly; try again";
        case MessageId::UpgradeFileUnreadable:
            return "cannot read the " + detail(notice, 0) + " " + detail(notice, 1) + ": " +
                   detail(notice, 2);
        case MessageId::UpgradeFileRefused:
            return fileRefusedWords(notice);
        case MessageId::UpgradeFailed:
            return "the upgrade failed: " + oneLine(detail(notice, 0));
    }
    return oneLine(notice.text);
}

Button TerminalNotifier::notify(const std::string& title, const std::string& text, Icon icon,
                                Buttons buttons) {
    return show({MessageId::Other, title, text, icon, buttons});
}

Button TerminalNotifier::show(const Notice& notice) {
    const std::string words = terminalWords(notice);
    if (isQuestion(notice.buttons)) return ask(words, notice.buttons);
    if (words.empty()) return Button::Ok;
    if (notice.icon == Icon::Information) {
        if (!context_.quiet) context_.err << words << '\n' << std::flush;
    } else {
        context_.err << "corvel: " << words << '\n' << std::flush;
    }
    return Button::Ok;
}

Button TerminalNotifier::ask(const std::string& question, Buttons buttons) {
    switch (askConsent(context_, question)) {
        case Consent::Given:
            return accepted(buttons);
        case Consent::Refused:
            return declined(buttons);
        case Consent::NoTerminal:
            context_.err << "corvel: " << question
                         << " Not confirmed: there is no terminal to ask on (--yes answers yes)\n";
            return declined(buttons);
    }
    return declined(buttons);
}

}  // namespace corvel
