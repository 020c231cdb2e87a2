// SPDX-License-Identifier: MIT
#include "keys/rules.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/notifier.h"

namespace corvel {

namespace {

constexpr const char* kPasswordFormatText =
    "The Device Password Format Entered is Invalid.\nPlease Enter a Password as a number and "
    "letter code,\nin groups of four, separated by dashes.";
constexpr const char* kNetworkNameText =
    "The Network Name Entered is Invalid.\nPlease Enter a Network Name between 4 and 24 "
    "characters";
constexpr const char* kNoPasswordText = "Please enter a Password.";
constexpr const char* kAnotherNameText = "Please enter another name.";
constexpr const char* kNameTooLongText = "Device Name should be less than 31 characters";

bool invalidEntry(MessageId id, const char* text, std::vector<std::string> details = {}) {
    notifier().show({id, "Invalid Entry", text, Icon::Error, Buttons::Ok, std::move(details)});
    return false;
}

bool attention(MessageId id, const char* text, std::vector<std::string> details = {}) {
    notifier().show({id, "Attention!", text, Icon::Warning, Buttons::Ok, std::move(details)});
    return false;
}

bool refuseOnStdout(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
    return false;
}

// <cctype> takes the byte as unsigned char: a byte above 0x7F in a plain char is negative.
bool isAlnumByte(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool checkDevicePassword(std::string_view text) {
    if (text.size() != kDevicePasswordLength)
        return invalidEntry(MessageId::DevicePasswordFormat, kPasswordFormatText);
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dashPosition = i == 4 || i == 9 || i == 14;
        if (dashPosition ? text[i] != '-' : !isAlnumByte(text[i])) {
            return invalidEntry(MessageId::DevicePasswordFormat, kPasswordFormatText);
        }
    }
    return true;
}

bool checkPasswordEntered(std::string_view text) {
    return text == kPasswordPlaceholder ? attention(MessageId::PasswordNotEntered, kNoPasswordText)
                                        : true;
}

std::string upperCaseDevicePassword(std::string_view text) {
    std::string upper(text);
    for (size_t i = 0; i < upper.size() && i < kDevicePasswordLength; ++i) {
        upper[i] = char(std::toupper(static_cast<unsigned char>(upper[i])));
    }
    return upper;
}

std::string stripVerificationPrefixes(std::string_view stored) {
    // Only a leading prefix is removed: cutting characters off a text that merely contains the
    // prefix elsewhere would damage it.
    if (stored.starts_with(kUncheckedPrefix)) stored.remove_prefix(kUncheckedPrefix.size());
    if (stored.starts_with(kRefusedPrefix)) stored.remove_prefix(kRefusedPrefix.size());
    return std::string(stored);
}

void showNetworkNameInvalid(std::string_view name) {
    invalidEntry(MessageId::NetworkNameInvalid, kNetworkNameText, {std::string(name)});
}

bool checkNetworkNameLength(std::string_view text) {
    if (text.size() >= kNetworkNameMinLength && text.size() <= kNetworkNameMaxLength) return true;
    showNetworkNameInvalid(text);
    return false;
}

bool checkNetworkName(const char* text) {
    if (text == nullptr) return refuseOnStdout("No password was entered...exiting\n");
    const size_t length = std::strlen(text);
    if (length < kNetworkNameMinLength || length > kNetworkNameMaxLength) {
        return refuseOnStdout("Password length illegal, use 4-24 chars\n");
    }
    if (!networkNameCharactersAllowed({text, length}))
        return refuseOnStdout(
            "Illegal character in password, CTRL and ALT characters not allowed.\n");
    return true;
}

bool networkNameCharactersAllowed(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7F) return false;
    }
    return true;
}

bool cutTypedNetworkName(std::string& text) {
    if (text.size() <= kNetworkNameMaxLength) return false;
    text.resize(kNetworkNameMaxLength);
    showNetworkNameInvalid(text);
    return true;
}

bool cutDeviceName(std::string& name) {
    if (name.size() <= kDeviceNameMaxLength) return false;
    attention(MessageId::DeviceNameTooLong, kNameTooLongText, {name});
    name.resize(kDeviceNameMaxLength);
    return true;
}

bool checkNewDeviceName(std::string_view name, bool taken) {
    if (name.empty()) return attention(MessageId::DeviceNameEmpty, kAnotherNameText);
    if (name.size() > kDeviceNameMaxLength)
        return attention(MessageId::DeviceNameTooLong, kNameTooLongText, {std::string(name)});
    if (taken) return attention(MessageId::DeviceNameTaken, kAnotherNameText, {std::string(name)});
    return true;
}

bool checkRenamedDeviceName(std::string_view name, bool taken) {
    if (name.empty()) return attention(MessageId::DeviceNameEmpty, kAnotherNameText);
    if (taken) return attention(MessageId::DeviceNameTaken, kAnotherNameText, {std::string(name)});
    return true;
}

}  // namespace corvel
