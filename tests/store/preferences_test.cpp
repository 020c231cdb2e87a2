// SPDX-License-Identifier: MIT
#include "store/preferences.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "core/tables.h"
#include "platform/bytes.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/list_layout.h"
#include "store/product_files.h"
#include "tests/store/store_test_support.h"

namespace corvel::test {
namespace {

// Every integer field of the record: where it lies, a value to read back, and its default.
struct IntegerField {
    const char* name;
    size_t offset;
    size_t width;
    int32_t sample;
    int32_t defaultValue;
    std::function<int32_t(const Preferences&)> get;
};

const std::vector<IntegerField>& integerFields() {
    static const std::vector<IntegerField> fields = {
        {"scanTicks", 0, 4, 0x01020304, 30, [](const Preferences& p) { return +p.scanTicks; }},
        {"qualityStyle", 4, 2, 6, 0, [](const Preferences& p) { return int32_t(p.qualityStyle); }},
        {"listTextColour", 6, 4, 0x00FF8040, 0,
         [](const Preferences& p) { return +p.listTextColour; }},
        {"iconSize", 10, 2, 32, 24, [](const Preferences& p) { return int32_t(p.iconSize); }},
        {"diagnosticsLevel", 12, 2, 20, 1,
         [](const Preferences& p) { return int32_t(p.diagnosticsLevel); }},
        {"reserved14", 14, 2, 0x1415, 1,
         [](const Preferences& p) { return int32_t(p.reserved14); }},
        {"autoScan", 16, 2, 0x0101, 1, [](const Preferences& p) { return int32_t(p.autoScan); }},
        {"reserved18", 18, 2, 0x1819, 10,
         [](const Preferences& p) { return int32_t(p.reserved18); }},
        {"reserved20", 20, 2, 0x2021, 310,
         [](const Preferences& p) { return int32_t(p.reserved20); }},
        {"reserved22", 22, 2, 0x2223, 80,
         [](const Preferences& p) { return int32_t(p.reserved22); }},
        {"reserved24", 24, 2, 0x2425, 25,
         [](const Preferences& p) { return int32_t(p.reserved24); }},
        {"showRateColumn", 26, 2, 0x0203, 1,
         [](const Preferences& p) { return int32_t(p.showRateColumn); }},
        {"showQualityColumn", 28, 2, 0x0304, 1,
         [](const Preferences& p) { return int32_t(p.showQualityColumn); }},
        {"twelveHourClock", 30, 2, 0x0405, 1,
         [](const Preferences& p) { return int32_t(p.twelveHourClock); }},
        {"showUpgradeButton", 32, 2, -2, 0,
         [](const Preferences& p) { return int32_t(p.showUpgradeButton); }},
    };
    return fields;
}

struct BytesField {
    const char* name;
    size_t offset;
    size_t width;
    std::string sample;
    std::string defaultValue;
    std::function<std::string(const Preferences&)> get;
};

const std::vector<BytesField>& bytesFields() {
    static const std::vector<BytesField> fields = {
        {"webAddress", 34, 64, "https://example.net/a", "https://corvel-utility.example.org",
         [](const Preferences& p) { return stringOf(p.webAddress); }},
        {"productTitle", 98, 64, "Title of sixty-four bytes, no terminator at all in this field!!!",
         "Corvel Utility", [](const Preferences& p) { return stringOf(p.productTitle); }},
        {"ownOui", 162, 3, "\x0A\x0B\x0C", std::string(3, '\0'),
         [](const Preferences& p) {
             return std::string(reinterpret_cast<const char*>(p.ownOui), 3);
         }},
        {"ownVendorName", 165, 24, "Own Vendor", "",
         [](const Preferences& p) { return stringOf(p.ownVendorName); }},
        {"noticeText", 189, 100, "Notice", std::string(textOf(defaultPreferences().noticeText)),
         [](const Preferences& p) { return stringOf(p.noticeText); }},
    };
    return fields;
}

void putField(Bytes& bytes, size_t offset, size_t width, int32_t value) {
    if (width == 4)
        put32le(&bytes[offset], uint32_t(value));
    else
        put16le(&bytes[offset], uint16_t(value));
}

Bytes sampleRecord() {
    Bytes bytes(kPreferencesSize, 0);
    for (const IntegerField& f : integerFields()) putField(bytes, f.offset, f.width, f.sample);
    for (const BytesField& f : bytesFields())
        std::memcpy(&bytes[f.offset], f.sample.data(), std::min(f.sample.size(), f.width));
    return bytes;
}

TEST(PreferencesRecord, EveryFieldIsReadFromItsOffsetAndWrittenBackTheSame) {
    ASSERT_EQ(bytesFields()[1].sample.size(), 64u);
    const Bytes bytes = sampleRecord();
    const Preferences p = decodePreferences(bytes.data(), bytes.size());
    for (const IntegerField& f : integerFields()) EXPECT_EQ(f.get(p), f.sample) << f.name;
    for (const BytesField& f : bytesFields()) EXPECT_EQ(f.get(p), f.sample) << f.name;

    const auto encoded = encodePreferences(p);
    EXPECT_EQ(Bytes(encoded.begin(), encoded.end()), bytes);
}

TEST(PreferencesRecord, DefaultsAreTheProductsValues) {
    const auto bytes = encodePreferences(defaultPreferences());
    for (const IntegerField& f : integerFields()) {
        const int32_t stored = f.width == 4 ? int32_t(get32le(&bytes[f.offset]))
                                            : int32_t(int16_t(get16le(&bytes[f.offset])));
        EXPECT_EQ(stored, f.defaultValue) << f.name;
    }
    for (const BytesField& f : bytesFields()) {
        std::string stored(reinterpret_cast<const char*>(&bytes[f.offset]), f.width);
        if (f.name != std::string("ownOui")) stored.resize(::strnlen(stored.c_str(), f.width));
        EXPECT_EQ(stored, f.defaultValue) << f.name;
    }
}

TEST(PreferencesRecord, ShortInputFillsWhatItReachesAndLeavesTheRestZero) {
    const Bytes full = sampleRecord();
    for (size_t length : {size_t(0), size_t(4), size_t(13), size_t(100), size_t(288)}) {
        const Preferences p = decodePreferences(full.data(), length);
        const auto bytes = encodePreferences(p);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + long(length)),
                  Bytes(full.begin(), full.begin() + long(length)))
            << length;
        EXPECT_EQ(Bytes(bytes.begin() + long(length), bytes.end()), Bytes(289 - length, 0))
            << length;
    }
    Bytes longer = full;
    longer.resize(400, 0xEE);
    const auto bytes = encodePreferences(decodePreferences(longer.data(), longer.size()));
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), full) << "bytes past the record are ignored";
}

TEST(PreferencesRecord, ShippedFileHoldsTheDefaults) {
    const Bytes shipped = readBytes(fs::path(CORVEL_SOURCE_DIR) / "data/OEMPrefs.dat");
    const auto expected = encodePreferences(defaultPreferences());
    EXPECT_EQ(shipped, Bytes(expected.begin(), expected.end()))
        << "regenerate data/OEMPrefs.dat with make-oemprefs";
}

class LoadPreferences : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        fs::create_directories(installed);
        fs::create_directories(source);
        setProductDataFolders({installed.string(), source.string()});
        listLayout().sortFlag = 0;
        listLayout().sortColumn = 4;
    }
    void TearDown() override {
        restoreProductDataFolders();
        resetProcessState();
    }

    static Bytes titled(const std::string& title) {
        Preferences p = defaultPreferences();
        copyText(p.productTitle, title);
        const auto bytes = encodePreferences(p);
        return Bytes(bytes.begin(), bytes.end());
    }

    ScratchDirectory scratch;
    fs::path work = scratch.path / "work";
    fs::path installed = scratch.path / "share/corvel-utility";
    fs::path source = scratch.path / "source/data";
    WorkingDirectory inWork{(fs::create_directories(work), work)};
};

TEST_F(LoadPreferences, WorkingDirectoryThenInstalledFolderThenSourceTreeThenDefaults) {
    struct Case {
        bool inWork, inInstalled, inSource;
        const char* title;
    };
    const Case cases[] = {
        {true, true, true, "Work"},
        {false, true, true, "Installed"},
        {false, false, true, "Source"},
        {false, false, false, "Corvel Utility"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        fs::remove(work / "OEMPrefs.dat");
        fs::remove(installed / "OEMPrefs.dat");
        fs::remove(source / "OEMPrefs.dat");
        if (c.inWork) writeBytes(work / "OEMPrefs.dat", titled("Work"));
        if (c.inInstalled) writeBytes(installed / "OEMPrefs.dat", titled("Installed"));
        if (c.inSource) writeBytes(source / "OEMPrefs.dat", titled("Source"));
        preferences() = Preferences{};

        loadPreferences();
        EXPECT_EQ(stringOf(preferences().productTitle), c.title);
        EXPECT_EQ(+preferences().diagnosticsLevel, 1);
        EXPECT_EQ(core.ticksPerPhase, 30);
        EXPECT_EQ(core.scanPaused, 0) << "autoscan on";
    }
    EXPECT_FALSE(fs::exists(work / "OEMPrefs.dat")) << "a missing file is not created";
}

TEST_F(LoadPreferences, ShortFileReadsAsWrittenWithTheRestZero) {
    writeBytes(work / "OEMPrefs.dat", Bytes{10, 0, 0, 0});
    writeBytes(installed / "OEMPrefs.dat", titled("Installed"));

    EXPECT_EQ(loadPreferences(), "OEMPrefs.dat");
    const auto bytes = encodePreferences(preferences());
    EXPECT_EQ(get32le(bytes.data()), 10u);
    EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.end()), Bytes(285, 0));
    EXPECT_EQ(core.ticksPerPhase, 10);
    EXPECT_EQ(core.scanPaused, 1) << "autoscan off";
    EXPECT_EQ(listLayout().sortFlag, 1);
    EXPECT_EQ(listLayout().sortColumn, 1);
}

TEST_F(LoadPreferences, TicksPerPhaseIsAtLeastOne) {
    const std::pair<int32_t, int16_t> cases[] = {
        {10, 10}, {1, 1}, {0, 1}, {-5, 1}, {70000, 83}, {65536, 1}, {40000, 1}, {32767, 83},
    };
    for (const auto& [scanTicks, ticks] : cases) {
        Bytes bytes(4);
        put32le(bytes.data(), uint32_t(scanTicks));
        writeBytes(work / "OEMPrefs.dat", bytes);
        loadPreferences();
        EXPECT_EQ(core.ticksPerPhase, ticks) << scanTicks;
        if (scanTicks <= 0) {
            EXPECT_EQ(+preferences().scanTicks, 1) << scanTicks;
        }
    }
}

// The time a waiting phase lasts grows with the square of scanTicks: a file in the working
// directory must not be able to stop the scan. Each value is taken as the file holds it (32 bits,
// its low 16 used), capped at the most ticks that keep a phase under 10 s, and a cap is said once.
TEST_F(LoadPreferences, ScanTicksAreCappedSoThatAPhaseStaysUnderTenSeconds) {
    struct Case {
        int32_t scanTicks;
        int16_t ticksUsed;
        bool capped;
    };
    const Case cases[] = {
        {30, 30, false},          // the default
        {82, 82, false},          // below the cap
        {83, 83, false},          // at the cap: 83 ticks of 118 ms, 9.8 s
        {84, 83, true},           // just above: 84 ticks of 120 ms would be 10.08 s
        {300, 83, true},          // over two minutes a phase
        {32767, 83, true},        // the most ticks the low 16 bits can give: 17 days a phase
        {70000, 83, true},        // low 16 bits 4464
        {65536 + 83, 83, false},  // low 16 bits at the cap
        {INT32_MAX, 1, false},    // low 16 bits 0xFFFF: not a positive count, one tick
        {0, 1, false},            // not positive: one tick
        {-5, 1, false},
    };
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scanTicks);
        Preferences p = defaultPreferences();
        p.scanTicks = c.scanTicks;
        const auto bytes = encodePreferences(p);
        writeBytes(work / "OEMPrefs.dat", Bytes(bytes.begin(), bytes.end()));
        recorder.messages.clear();

        loadPreferences();
        EXPECT_EQ(core.ticksPerPhase, c.ticksUsed);
        EXPECT_EQ(preferences().ticksPerPhase(), c.ticksUsed);
        EXPECT_LT(scanPhaseMs(core.ticksPerPhase), kMaxScanPhaseMs);
        if (!c.capped) {
            EXPECT_TRUE(recorder.messages.empty());
            continue;
        }
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].title, "Attention!");
        EXPECT_EQ(recorder.messages[0].icon, Icon::Warning);
        EXPECT_EQ(recorder.messages[0].text,
                  "OEMPrefs.dat: scanTicks " + std::to_string(c.scanTicks) +
                      " read, 83 used: more ticks per scan phase would keep a phase waiting 10 s "
                      "or longer.");
    }
}

// The title names the database and the device log; one that names nothing gives the product's
// own name rather than a hidden ".data" that looks like an empty list, and so does one that
// would put a slash or a control character into a file name.
TEST(FileStemOfTitle, ATitleThatNamesNoFileGivesTheDefaultTitle) {
    const std::pair<std::string, std::string> cases[] = {
        {"Corvel Utility", "Corvel Utility"},
        {"Other", "Other"},
        {" Padded ", " Padded "},
        {"", "Corvel Utility"},
        {std::string(64, '\0'), "Corvel Utility"},
        {"   ", "Corvel Utility"},
        {"\t\r\n", "Corvel Utility"},
        {" \x01\x1F\x7F ", "Corvel Utility"},
        {"a/b", "Corvel Utility"},
        {"..", "Corvel Utility"},
        {"...", "..."},
        // Control characters anywhere: the terminal escapes of a planted title, a tab, a C1
        // control written as UTF-8 (U+009B, the one-byte CSI).
        {"Planted by nobody\x1b[31m", "Corvel Utility"},
        {"Tab\tinside", "Corvel Utility"},
        {"DEL\x7F", "Corvel Utility"},
        {"CSI \xC2\x9B" "2J", "Corvel Utility"},
        {"Caf\xC3\xA9 \xC2\xA0no-break", "Caf\xC3\xA9 \xC2\xA0no-break"},
    };
    for (const auto& [title, stem] : cases) {
        Preferences p = defaultPreferences();
        copyText(p.productTitle, title);
        EXPECT_EQ(fileStemOfTitle(textOf(p.productTitle)), stem) << '"' << title << '"';
    }
}

}  // namespace
}  // namespace corvel::test
