// SPDX-License-Identifier: MIT
#include "keys/rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/notifier.h"

namespace corvel {
namespace {

constexpr const char* kPasswordFormat =
    "The Device Password Format Entered is Invalid.\nPlease Enter a Password as a number and "
    "letter code,\nin groups of four, separated by dashes.";
constexpr const char* kNetworkName =
    "The Network Name Entered is Invalid.\nPlease Enter a Network Name between 4 and 24 "
    "characters";
constexpr const char* kAnotherName = "Please enter another name.";
constexpr const char* kNameTooLong = "Device Name should be less than 31 characters";

// Records every box; `shown()` returns their texts and checks that each is a single-OK box of
// the right kind: "Invalid Entry" with the error icon, "Attention!" with the warning icon.
class RulesTest : public ::testing::Test {
protected:
    std::vector<std::string> shown() const {
        std::vector<std::string> texts;
        for (const auto& m : recorder_.messages) {
            EXPECT_EQ(m.buttons, Buttons::Ok) << m.text;
            if (m.title == "Invalid Entry") {
                EXPECT_EQ(m.icon, Icon::Error) << m.text;
            } else {
                EXPECT_EQ(m.title, "Attention!") << m.text;
                EXPECT_EQ(m.icon, Icon::Warning) << m.text;
            }
            texts.push_back(m.title + ": " + m.text);
        }
        return texts;
    }
    void clear() { recorder_.messages.clear(); }

    static std::string invalidEntry(const char* text) {
        return std::string("Invalid Entry: ") + text;
    }
    static std::string attention(const char* text) { return std::string("Attention!: ") + text; }

    RecordingNotifier recorder_;
    ScopedNotifier scope_{recorder_};
};

using Shown = std::vector<std::string>;

TEST_F(RulesTest, DevicePasswordFormat) {
    const struct {
        std::string text;
        bool accepted;
    } cases[] = {
        {"ABCD-EFGH-1234-WXYZ", true},
        {"abcd-EfGh-1234-wxyz", true},  // case is the caller's concern
        {"PASS-WORD-GOES-HERE", true},  // the placeholder is refused before this check
        {"ABCDEFGH1234WXYZ", false},    // no dashes
        {"ABCD_EFGH-1234-WXYZ", false},
        {"ABCD-EFGH-1234-WXY", false},    // 18
        {"ABCD-EFGH-1234-WXYZ5", false},  // 20
        {"ABCDE-FGH-1234-WXYZ", false},   // dash one place late
        {"ABCD-EFGH-12 4-WXYZ", false},
        {"ABCD-EFGH-1234-WX-Z", false},     // a dash where a letter belongs
        {"ABCD-EFGH-1234-WX\xE9Z", false},  // accented byte: not a letter in the C locale
        {"", false},
    };
    for (const auto& c : cases) {
        clear();
        EXPECT_EQ(checkDevicePassword(c.text), c.accepted) << c.text;
        EXPECT_EQ(shown(), c.accepted ? Shown{} : Shown{invalidEntry(kPasswordFormat)}) << c.text;
    }
}

TEST_F(RulesTest, PlaceholderMeansNoPassword) {
    EXPECT_FALSE(checkPasswordEntered(kPasswordPlaceholder));
    EXPECT_EQ(shown(), Shown{attention("Please enter a Password.")});
    clear();
    for (const char* text : {"ABCD-EFGH-1234-WXYZ", "pass-word-goes-here", ""}) {
        EXPECT_TRUE(checkPasswordEntered(text)) << text;
    }
    EXPECT_EQ(shown(), Shown{});
}

TEST(DevicePasswordForms, UpperCasesTheFirstNineteenCharacters) {
    EXPECT_EQ(upperCaseDevicePassword("abcd-efgh-1234-wxyz"), "ABCD-EFGH-1234-WXYZ");
    // The box reads up to 25 characters; only the password's 19 are upper-cased.
    EXPECT_EQ(upperCaseDevicePassword("abcd-efgh-1234-wxyzabcdef"), "ABCD-EFGH-1234-WXYZabcdef");
    EXPECT_EQ(upperCaseDevicePassword("ab\xE9"), "AB\xE9");
    EXPECT_EQ(upperCaseDevicePassword(""), "");
}

TEST(DevicePasswordForms, StripsVerificationPrefixes) {
    const struct {
        const char* stored;
        const char* password;
    } cases[] = {
        {"ABCD-EFGH-1234-WXYZ", "ABCD-EFGH-1234-WXYZ"},
        {"Not ABCD-EFGH-1234-WXYZ", "ABCD-EFGH-1234-WXYZ"},
        {"CHECK ABCD-EFGH-1234-WXYZ", "ABCD-EFGH-1234-WXYZ"},
        {"CHECK Not ABCD-EFGH-1234-WXYZ", "ABCD-EFGH-1234-WXYZ"},
        {"Not CHECK ABCD", "CHECK ABCD"},  // "CHECK " is looked for first, then "Not "
        {"Not ", ""},
        {"CHECK", "CHECK"},
        {"", ""},
        // A prefix anywhere but the front is text, not a prefix: nothing is cut away.
        {"ABCD CHECK EFGH", "ABCD CHECK EFGH"},
        {"AB Not CD", "AB Not CD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stripVerificationPrefixes(c.stored), c.password) << c.stored;
}

TEST_F(RulesTest, NetworkNameLength) {
    const struct {
        std::string name;
        bool accepted;
    } cases[] = {
        {"", false},
        {"abc", false},
        {"abcd", true},
        {"HomePlug", true},
        {"HomePlugAV", true},
        {std::string(24, 'n'), true},
        {std::string(25, 'n'), false},
        {"tab\there", true},  // characters are the next check's business
    };
    for (const auto& c : cases) {
        clear();
        EXPECT_EQ(checkNetworkNameLength(c.name), c.accepted) << c.name;
        EXPECT_EQ(shown(), c.accepted ? Shown{} : Shown{invalidEntry(kNetworkName)}) << c.name;
    }
}

TEST_F(RulesTest, NetworkNameCharactersWriteOneLineAndShowNothing) {
    const std::string length = "Password length illegal, use 4-24 chars\n";
    const std::string illegal =
        "Illegal character in password, CTRL and ALT characters not allowed.\n";
    const struct {
        std::string name;
        std::string output;  // empty: accepted
    } cases[] = {
        {"HomePlugAV", ""},
        {"HomePlug", ""},
        {"name with spaces", ""},
        {"del\x7F ok", ""},  // 0x7F is the top of the accepted range
        {"", length},        // an empty text is a text: it fails on its length
        {"abc", length},
        {std::string(25, 'n'), length},
        {"tab\there", illegal},
        {"caf\xE9 name", illegal},
        {"\x1F"
         "abcd",
         illegal},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        const bool accepted = checkNetworkName(c.name.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output) << c.name;
        EXPECT_EQ(accepted, c.output.empty()) << c.name;
    }

    testing::internal::CaptureStdout();
    EXPECT_FALSE(checkNetworkName(nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No password was entered...exiting\n");
    EXPECT_EQ(shown(), Shown{});
}

TEST_F(RulesTest, NetworkNameMessageForCallers) {
    showNetworkNameInvalid();
    EXPECT_EQ(shown(), Shown{invalidEntry(kNetworkName)});
}

TEST_F(RulesTest, TypingA25thNetworkNameCharacterCutsBackTo24) {
    std::string text(24, 'n');
    EXPECT_FALSE(cutTypedNetworkName(text));
    EXPECT_EQ(text, std::string(24, 'n'));
    EXPECT_EQ(shown(), Shown{});

    text = "abcdefghijklmnopqrstuvwxyz";
    EXPECT_TRUE(cutTypedNetworkName(text));
    EXPECT_EQ(text, "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(shown(), Shown{invalidEntry(kNetworkName)});
}

TEST_F(RulesTest, TypedDeviceNameIsCutTo31) {
    std::string name(31, 'd');
    EXPECT_FALSE(cutDeviceName(name));
    EXPECT_EQ(name.size(), 31u);
    EXPECT_EQ(shown(), Shown{});

    name = std::string(31, 'd') + "XY";
    EXPECT_TRUE(cutDeviceName(name));
    EXPECT_EQ(name, std::string(31, 'd'));
    EXPECT_EQ(shown(), Shown{attention(kNameTooLong)});
}

TEST_F(RulesTest, NewDeviceNameRulesInOrder) {
    const struct {
        std::string name;
        bool taken;
        const char* refusal;  // nullptr: accepted
    } cases[] = {
        {"Office", false, nullptr},
        {std::string(31, 'd'), false, nullptr},
        {"", false, kAnotherName},
        {"", true, kAnotherName},
        {std::string(32, 'd'), false, kNameTooLong},
        {std::string(79, 'd'), true, kNameTooLong},  // length is checked before uniqueness
        {"Office", true, kAnotherName},
    };
    for (const auto& c : cases) {
        clear();
        EXPECT_EQ(checkNewDeviceName(c.name, c.taken), c.refusal == nullptr) << c.name;
        EXPECT_EQ(shown(), c.refusal ? Shown{attention(c.refusal)} : Shown{}) << c.name;
    }
}

TEST_F(RulesTest, RenameCutsFirstThenRefusesEmptyOrTaken) {
    EXPECT_TRUE(checkRenamedDeviceName("Kitchen", false));
    EXPECT_FALSE(checkRenamedDeviceName("", false));
    EXPECT_FALSE(checkRenamedDeviceName("Kitchen", true));
    EXPECT_EQ(shown(), (Shown{attention(kAnotherName), attention(kAnotherName)}));
    clear();

    // A long name whose first 31 characters are already taken: both boxes, in this order.
    std::string name = std::string(31, 'k') + "-extra";
    cutDeviceName(name);
    EXPECT_FALSE(checkRenamedDeviceName(name, name == std::string(31, 'k')));
    EXPECT_EQ(shown(), (Shown{attention(kNameTooLong), attention(kAnotherName)}));
}

}  // namespace
}  // namespace corvel
