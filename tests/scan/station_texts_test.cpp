// SPDX-License-Identifier: MIT
#include "scan/station_texts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/mac.h"
#include "platform/process_state.h"
#include "store/vendor_list.h"

// The texts the main page, the command line and the report share: each front end shows them as
// it always has, so a change here shows in all of them at once.
namespace corvel {
namespace {

class StationTexts : public ::testing::Test {
protected:
    void SetUp() override { resetProcessState(); }
    void TearDown() override { resetProcessState(); }
};

TEST_F(StationTexts, RatesOfTheListsAndOfTheReport) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const struct {
        double rate;
        const char* listed;
        const char* reported;
    } cases[] = {
        {0, "?", "?"},
        {185, "185.00", "185"},
        {7.9, "7.90", "07"},  // the report shows whole Mbit/s, at least two digits
        {0.5, "0.50", "?"},   // under 1 Mbit/s the report has nothing to show
        {-3, "-3.00", "-03"},
        {1e300, nullptr, "1000000000000000"},  // beyond any rate: held at 10^15
        {kInfinity, "inf", "?"},               // a damaged file: never an integer conversion of it
        {std::nan(""), "nan", "?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        if (c.listed != nullptr) {
            EXPECT_EQ(rateText(c.rate), c.listed);
        }
        EXPECT_EQ(wholeRateText(c.rate), c.reported);
    }
}

TEST_F(StationTexts, NetworkTypeComesFromThePublicNameOfTheFamily) {
    const struct {
        const char* name;
        bool av;
        const char* type;
    } cases[] = {
        {"HomePlugAV", true, "Public"}, {"HomePlug", false, "Public"},
        {"HomePlug", true, "Private"},  {"HomePlugAV", false, "Private"},
        {"DemoHome", true, "Private"},  {"homeplugav", true, "Private"},
        {"", false, "Private"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(networkTypeText(c.name, c.av), c.type) << c.name << " " << c.av;
}

// A station without a device record is listed by its vendor and the row's number, a 16-bit
// count as it always was.
TEST_F(StationTexts, VendorDeviceNames) {
    setVendorList(parseVendorList("001122\tAcme_Power\n").entries);
    const Mac listed{0x00, 0x11, 0x22, 0x00, 0x00, 0x01};
    const Mac unlisted{0x00, 0x33, 0x44, 0x00, 0x00, 0x01};
    EXPECT_EQ(vendorDeviceName(listed.data(), 1), "Acme Power Device 1");
    EXPECT_EQ(vendorDeviceName(unlisted.data(), 12), "Veltrix Device 12");
    EXPECT_EQ(vendorDeviceName(unlisted.data(), 32768), "Veltrix Device -32768");
}

TEST_F(StationTexts, PasswordsAndFamilies) {
    EXPECT_EQ(passwordText(""), "--- not entered ---");
    EXPECT_EQ(passwordText("QWER-TYUI-ASDF-GHJK"), "QWER-TYUI-ASDF-GHJK");

    const struct {
        int32_t stored;
        const char* family;
    } cases[] = {
        {1, "HomePlug 1.0"}, {2, "HomePlug 1.0 Turbo"}, {4, "HomePlug AV"},
        {5, "HomePlug AV"},  {0, "HomePlug 1.0"},       {3, "HomePlug 1.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stationFamilyText(StationKind{c.stored}), c.family) << c.stored;
}

}  // namespace
}  // namespace corvel
