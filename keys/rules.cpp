// SPDX-License-Identifier: MIT
#include "keys/rules.h"

#include <cctype>
#include <cstdio>
#include <cstring>

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

bool invalidEntry(const char* text) {
    notifier().notify("Invalid Entry", text, Icon::Error, Buttons::Ok);
    return false;
}

bool attention(const char* text) {
    notifier().notify("Attention!", text, Icon::Warning, Buttons::Ok);
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
    if (text.size() != kDevicePasswordLength) return invalidEntry(kPasswordFormatText);
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dashPosition = i == 4 || i == 9 || i == 14;
        if (dashPosition ? text[i] != '-' : !isAlnumByte(text[i])) {
            return invalidEntry(kPasswordFormatText);
        }
    }
    return true;
}

bool checkPasswordEntered(std::string_view text) {
    return text == kPasswordPlaceholder ? attention(kNoPasswordText) : true;
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

void showNetworkNameInvalid() {
    invalidEntry(kNetworkNameText);
}

bool checkNetworkNameLength(std::string_view text) {
    if (text.size() >= kNetworkNameMinLength && text.size() <= kNetworkNameMaxLength) return true;
    return invalidEntry(kNetworkNameText);
}

bool checkNetworkName(const char* text) {
    if (text == nullptr) return refuseOnStdout("No password was entered...exiting\n");
    const size_t length = std::strlen(text);
    if (length < kNetworkNameMinLength || length > kNetworkNameMaxLength) {
        return refuseOnStdout("Password length illegal, use 4-24 chars\n");
    }
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7F) {
            return refuseOnStdout(
                "Illegal character in password, CTRL and ALT characters not allowed.\n");
        }
    }
    return true;
}

bool cutTypedNetworkName(std::string& text) {
    if (text.size() <= kNetworkNameMaxLength) return false;
    text.resize(kNetworkNameMaxLength);
    showNetworkNameInvalid();
    return true;
}

bool cutDeviceName(std::string& name) {
    if (name.size() <= kDeviceNameMaxLength) return false;
    name.resize(kDeviceNameMaxLength);
    attention(kNameTooLongText);
    return true;
}

bool checkNewDeviceName(std::string_view name, bool taken) {
    if (name.empty()) return attention(kAnotherNameText);
    if (name.size() > kDeviceNameMaxLength) return attention(kNameTooLongText);
    if (taken) return attention(kAnotherNameText);
    return true;
}

bool checkRenamedDeviceName(std::string_view name, bool taken) {
    return name.empty() || taken ? attention(kAnotherNameText) : true;
}

}  // namespace corvel
