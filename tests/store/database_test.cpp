// SPDX-License-Identifier: MIT
#include "store/database.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <functional>

#include "core/tables.h"
#include "platform/bytes.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/data_directory.h"
#include "store/list_layout.h"
#include "store/preferences.h"
#include "tests/store/store_test_support.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"
#include "transport/memory_wire.h"

namespace corvel::test {
namespace {

constexpr char kReadTrouble[] = "Unexpected condition reading database. Attempting to recover.";
constexpr char kWriteTrouble[] = "Unexpected condition writing database. Attempting to recover.";
constexpr size_t kTableSize = sizeof(StationTable);

std::string asideText(const std::string& path) {
    return "The device database " + path + " is damaged; it was set aside as " + path + ".bad.";
}

std::string newerText(const std::string& path, int32_t version) {
    return "The device database " + path + " is of a newer format (version " +
           std::to_string(version) +
           ") than this program knows (306). It was not read and is left as it is; the device "
           "list will not be saved while this program runs.";
}

// Runs `body` as an unprivileged user, so that directory permissions apply as they do to one.
template <typename Body>
void asNobody(Body body) {
    ASSERT_EQ(::seteuid(65534), 0);
    body();
    ASSERT_EQ(::seteuid(0), 0);
}

Mac deviceMac(int n) {
    return Mac{0x00, 0xB0, 0x52, 0x00, 0x20, uint8_t(n)};
}

// What the tables and the layout held, byte for byte, to compare after a load.
struct Snapshot {
    int32_t currentAdapter;
    int32_t deviceCount;
    Bytes tables;
    Bytes devices;
    ListLayout layout;

    static Snapshot take() {
        Snapshot s{core.currentAdapter, core.deviceCount, {}, {}, listLayout()};
        const auto* t = reinterpret_cast<const uint8_t*>(core.stationTables);
        s.tables.assign(t, t + sizeof core.stationTables);
        const auto* d = reinterpret_cast<const uint8_t*>(core.devices);
        s.devices.assign(d, d + sizeof core.devices);
        return s;
    }
};

Bytes tablesNow() {
    const auto* t = reinterpret_cast<const uint8_t*>(core.stationTables);
    return Bytes(t, t + sizeof core.stationTables);
}

class Database : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        installCaptureBackend(&wire);
        setDataDirectory(scratch.path.string());
        path = scratch.path / "Corvel Utility.data";
    }
    void TearDown() override {
        installCaptureBackend(nullptr);
        setDataDirectory("");
        resetProcessState();
    }

    // Tables, devices and layout with a distinct value in every part that is saved.
    void fill(int devices) {
        core.currentAdapter = 3;
        for (int i = 0; i < kMaxInterfaces; ++i) {
            StationTable& table = core.stationTables[i];
            const Mac host{0x02, 0, 0, 0, 0, uint8_t(i + 1)};
            copyMac(table.hostMac, host.data());
            table.localPresent = 1;
            table.localKind = kKindAv;
            table.stationCount = i;
            table.linkRate.currentRate = 10.0 * (i + 1);
            copyText(table.networkName, "Net " + std::to_string(i));
            StationRecord& station = table.stations[31];
            station.present = 1;
            copyMac(station.mac, deviceMac(i).data());
            copyText(station.firmwareText, "INT6400-MAC-4-1-4102");
        }
        for (int n = 1; n <= devices; ++n) {
            ASSERT_EQ(appendDevice(deviceMac(n).data(), "Device " + std::to_string(n)), n);
            DeviceRecord& record = core.devices[n - 1];
            copyText(record.password, "ABCD-EFGH-IJKL-MNO" + std::to_string(n % 10));
            copyText(record.networkName, "Private");
            std::memset(record.networkKey, 0x40 + n, 16);
            record.lastSeen = 1700000000 + n;
        }
        listLayout() = ListLayout{{1, 0, 4, 3, 2}, {101, 102, 103, 104, 105}, 0, 3};
    }

    Bytes saved() {
        std::string reason;
        EXPECT_TRUE(saveDatabase(&reason)) << reason;
        return readBytes(path);
    }

    size_t entries() const {
        return size_t(
            std::distance(fs::directory_iterator(scratch.path), fs::directory_iterator()));
    }

    void expectDefaults() {
        for (int i = 0; i < kMaxInterfaces; ++i) {
            EXPECT_EQ(stringOf(core.stationTables[i].networkName), "HomePlugAV") << i;
            EXPECT_FALSE(macIsSet(core.stationTables[i].stations[31].mac)) << i;
            EXPECT_EQ(+core.stationTables[i].stationCount, 0) << i;
        }
        EXPECT_EQ(core.deviceCount, 0);
        EXPECT_EQ(core.currentAdapter, 0);
    }

    ScratchDirectory scratch;
    fs::path path;
    MemoryWire wire;
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
};

TEST_F(Database, FileIs131468BytesAnd198PerDevice) {
    for (int devices : {1, 2, 32}) {
        resetCoreState();
        fill(devices);
        saved();
        EXPECT_EQ(fs::file_size(path), 131468u + 198u * unsigned(devices)) << devices;
    }
    EXPECT_EQ(databaseFileSize(1), 131666u);
    EXPECT_EQ(databaseFileSize(32), 137804u);
}

TEST_F(Database, FieldsLieAtTheirOffsets) {
    fill(2);
    const Bytes file = saved();
    ASSERT_EQ(file.size(), 131864u);

    EXPECT_EQ(get32le(&file[0]), 306u);
    EXPECT_EQ(get32le(&file[4]), 3u);
    // Tables in interface order from offset 8, each 16426 bytes.
    for (int i = 0; i < kMaxInterfaces; ++i) {
        const size_t table = 8 + size_t(i) * kTableSize;
        EXPECT_EQ(file[table + 5], i + 1) << "hostMac of table " << i;
        EXPECT_EQ(get32le(&file[table + 16366]), uint32_t(i)) << "stationCount";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[table + 16386])),
                  "Net " + std::to_string(i));
        EXPECT_EQ(file[table + 45 + 31 * 509 + 4 + 5], i) << "mac of station 32";
    }
    EXPECT_EQ(get32le(&file[131416]), 2u);
    for (int n = 0; n < 2; ++n) {
        const size_t record = 131420 + size_t(n) * 198;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[record])),
                  "Device " + std::to_string(n + 1));
        EXPECT_EQ(file[record + 35 + 5], n + 1) << "mac";
        EXPECT_EQ(file[record + 149], 0x41 + n) << "networkKey";
        EXPECT_EQ(get32le(&file[record + 190]), 1700000001u + unsigned(n)) << "lastSeen";
    }
    const size_t layout = 131420 + 2 * 198;
    const uint32_t order[] = {1, 0, 4, 3, 2};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(get32le(&file[layout + 4 * i]), order[i]) << "order " << i;
        EXPECT_EQ(get32le(&file[layout + 20 + 4 * i]), 101u + unsigned(i)) << "width " << i;
    }
    EXPECT_EQ(get32le(&file[layout + 40]), 0u) << "sortFlag";
    EXPECT_EQ(get32le(&file[layout + 44]), 3u) << "sortColumn";
}

TEST_F(Database, LoadRestoresEverythingSavedAndHandsTheLayoutToTheList) {
    fill(5);
    saved();
    const Snapshot before = Snapshot::take();

    resetCoreState();
    listLayout() = defaultListLayout();
    std::optional<ListLayout> applied;
    listLayoutHooks().applyToList = [&](const ListLayout& layout) { applied = layout; };

    const DatabaseLoad load = loadDatabase();
    EXPECT_EQ(load.status, LoadStatus::Loaded);
    EXPECT_TRUE(load.keptAside.empty());
    const Snapshot after = Snapshot::take();
    EXPECT_EQ(after.currentAdapter, 3);
    EXPECT_EQ(after.deviceCount, 5);
    EXPECT_EQ(after.tables, before.tables);
    EXPECT_EQ(after.devices, before.devices);
    ASSERT_TRUE(applied.has_value());
    EXPECT_EQ(std::memcmp(&*applied, &before.layout, sizeof(ListLayout)), 0);
    EXPECT_EQ(std::memcmp(&listLayout(), &before.layout, sizeof(ListLayout)), 0);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(fs::exists(path));
}

TEST_F(Database, SaveTakesTheLayoutFromTheList) {
    fill(1);
    listLayoutHooks().readFromList = [](ListLayout& layout) {
        layout.order[0] = 4;
        layout.widths[4] = 333;
    };
    const Bytes file = saved();
    EXPECT_EQ(get32le(&file[131618]), 4u);
    EXPECT_EQ(get32le(&file[131618 + 20 + 16]), 333u);
}

TEST_F(Database, MissingFileGivesTheDefaultsSilently) {
    wire.addInterface("eth0", Mac{0x02, 0, 0, 0, 0, 1});
    wire.addInterface("eth1", Mac{0x02, 0, 0, 0, 0, 2});
    fill(4);
    std::optional<ListLayout> applied;
    listLayoutHooks().applyToList = [&](const ListLayout& layout) { applied = layout; };

    EXPECT_EQ(loadDatabase().status, LoadStatus::Missing);
    expectDefaults();
    EXPECT_FALSE(macIsSet(core.devices[0].mac)) << "a later append must start from a clear slot";
    EXPECT_EQ(adapterCount, 2) << "the interfaces are enumerated again";
    EXPECT_TRUE(applied.has_value()) << "the list gets the layout it had";
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(Database, VersionsBelow306GiveTheDefaultsWithAWarningAndTheFileIsKept) {
    struct Case {
        int32_t version;
        bool accepted;
    };
    const Case cases[] = {{305, false}, {0, false}, {-1, false}, {INT_MIN, false}, {306, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        fs::remove_all(scratch.path);
        fs::create_directories(scratch.path);
        resetCoreState();
        fill(2);
        Bytes file = saved();
        put32le(file.data(), uint32_t(c.version));
        writeBytes(path, file);
        core.deviceCount = 7;
        recorder.messages.clear();
        bool applied = false;
        listLayoutHooks().applyToList = [&](const ListLayout&) { applied = true; };

        const DatabaseLoad load = loadDatabase();
        if (c.accepted) {
            EXPECT_EQ(load.status, LoadStatus::Loaded);
            EXPECT_EQ(core.deviceCount, 2);
            EXPECT_TRUE(applied);
            EXPECT_TRUE(recorder.messages.empty());
            continue;
        }
        EXPECT_EQ(load.status, LoadStatus::TooOld);
        expectDefaults();
        EXPECT_FALSE(applied) << "the list columns are not applied";
        ASSERT_EQ(recorder.messages.size(), 2u);
        EXPECT_EQ(recorder.messages[0].title, "Attention!");
        EXPECT_EQ(recorder.messages[0].text, kReadTrouble);
        EXPECT_EQ(recorder.messages[0].icon, Icon::Warning);
        EXPECT_EQ(recorder.messages[1].title, "Problem Occurred");
        EXPECT_EQ(recorder.messages[1].text, "The device database " + path.string() +
                                                 " is of an older format (version " +
                                                 std::to_string(c.version) +
                                                 ") than this program knows (306); it was set "
                                                 "aside as " +
                                                 path.string() + ".bad.");
        EXPECT_EQ(load.keptAside, path.string() + ".bad");
        EXPECT_EQ(readBytes(load.keptAside), file);
    }
}

TEST_F(Database, CurrentAdapterIsKeptWithinTheEightInterfaces) {
    const std::pair<int32_t, int32_t> cases[] = {{9, 7}, {7, 7}, {0, 0}, {-3, 0}, {INT_MIN, 0}};
    fill(1);
    for (const auto& [stored, loaded] : cases) {
        core.currentAdapter = stored;
        saved();
        core.currentAdapter = 1;
        EXPECT_EQ(loadDatabase().status, LoadStatus::Loaded);
        EXPECT_EQ(core.currentAdapter, loaded) << stored;
    }
}

TEST_F(Database, BadDeviceCountWarnsAndKeepsTheTables) {
    for (int32_t count : {0, 33, -1}) {
        SCOPED_TRACE(count);
        fs::remove_all(scratch.path);
        fs::create_directories(scratch.path);
        resetCoreState();
        fill(3);
        Bytes file = saved();
        const Bytes tables = tablesNow();
        put32le(&file[131416], uint32_t(count));
        writeBytes(path, file);
        resetCoreState();
        recorder.messages.clear();

        const DatabaseLoad load = loadDatabase();
        EXPECT_EQ(load.status, LoadStatus::Damaged);
        EXPECT_EQ(core.deviceCount, 0);
        EXPECT_FALSE(macIsSet(core.devices[0].mac));
        EXPECT_EQ(tablesNow(), tables);
        ASSERT_EQ(recorder.messages.size(), 2u);
        EXPECT_EQ(recorder.messages[0].title, "Problem Occurred");
        EXPECT_EQ(recorder.messages[0].text, kReadTrouble);
        EXPECT_EQ(recorder.messages[0].icon, Icon::Warning);
        EXPECT_EQ(recorder.messages[1].text, asideText(path.string()));
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(readBytes(path.string() + ".bad"), file);
    }
}

// A file cut anywhere keeps what was read before the cut, whole records only, and the file
// itself is set aside with every byte it had.
TEST_F(Database, ShortFileKeepsWhatWasReadAndIsSetAsideWhole) {
    struct Case {
        const char* where;
        size_t length;
        bool adapter;
        bool tables;
        int devices;  // -1: the device list is not reached
    };
    const size_t records = 131420;
    const size_t layout = records + 3 * 198;
    const Case cases[] = {
        {"empty", 0, false, false, -1},
        {"inside the version", 3, false, false, -1},
        {"after the version", 4, false, false, -1},
        {"inside currentAdapter", 6, false, false, -1},
        {"inside the station tables", 8 + 3 * kTableSize + 17, true, false, -1},
        {"before the count", 131416, true, true, -1},
        {"inside the count", 131418, true, true, -1},
        {"before the records", records, true, true, 0},
        {"inside the first record", records + 120, true, true, 0},
        {"inside the second record", records + 198 + 60, true, true, 1},
        {"inside the third record", records + 2 * 198 + 197, true, true, 2},
        {"before the column order", layout, true, true, 3},
        {"inside the column widths", layout + 30, true, true, 3},
        {"before sortColumn", layout + 44, true, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        fs::remove_all(scratch.path);
        fs::create_directories(scratch.path);
        resetCoreState();
        fill(3);
        const Snapshot full = Snapshot::take();
        Bytes file = saved();
        file.resize(c.length);
        writeBytes(path, file);
        resetCoreState();
        recorder.messages.clear();
        bool applied = false;
        listLayoutHooks().applyToList = [&](const ListLayout&) { applied = true; };

        const DatabaseLoad load = loadDatabase();
        EXPECT_EQ(load.status, LoadStatus::Damaged);
        EXPECT_EQ(core.currentAdapter, c.adapter ? 3 : 0);
        EXPECT_EQ(tablesNow(), c.tables ? full.tables : Bytes(full.tables.size(), 0));
        if (c.devices < 0) {
            EXPECT_EQ(core.deviceCount, 0);
        } else {
            EXPECT_EQ(core.deviceCount, c.devices);
            const size_t whole = size_t(c.devices) * 198;
            const auto* d = reinterpret_cast<const uint8_t*>(core.devices);
            EXPECT_EQ(Bytes(d, d + whole),
                      Bytes(full.devices.begin(), full.devices.begin() + whole));
            EXPECT_EQ(Bytes(d + whole, d + sizeof core.devices),
                      Bytes(sizeof core.devices - whole, 0))
                << "a cut record is not a device";
        }
        EXPECT_FALSE(applied);
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].title, "Problem Occurred");
        EXPECT_EQ(recorder.messages[0].text, asideText(path.string()));
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(load.keptAside, path.string() + ".bad");
        EXPECT_EQ(readBytes(load.keptAside), file) << "not emptied";
    }
}

// Whatever is wrong with the file, once it is moved the user is told where it went: its own name
// and the name it now has are both in one message.
TEST_F(Database, EveryFileSetAsideIsAnnouncedWithBothNames) {
    struct Case {
        const char* what;
        std::function<void(Bytes& file)> damage;  // empties `file` to plant something else
        std::function<void(const fs::path& at)> plant;
    };
    auto version = [](int32_t v) { return [v](Bytes& f) { put32le(f.data(), uint32_t(v)); }; };
    auto cut = [](size_t length) { return [length](Bytes& f) { f.resize(length); }; };
    auto count = [](int32_t n) { return [n](Bytes& f) { put32le(&f[131416], uint32_t(n)); }; };
    const Case cases[] = {
        {"empty", cut(0), {}},
        {"cut inside the version", cut(2), {}},
        {"version 305", version(305), {}},
        {"negative version", version(-7), {}},
        {"cut after the version", cut(4), {}},
        {"cut inside the station tables", cut(5000), {}},
        {"cut inside the count", cut(131418), {}},
        {"count 0 with records", count(0), {}},
        {"count 33", count(33), {}},
        {"cut inside a record", cut(131420 + 198 + 10), {}},
        {"cut inside the layout", cut(131420 + 2 * 198 + 12), {}},
        {"larger than 32 records", [](Bytes& f) { f.resize(kMaxDatabaseFileSize + 1); }, {}},
        {"FIFO", {}, [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"directory", {}, [](const fs::path& at) { fs::create_directories(at); }},
        {"symbolic link", {}, [](const fs::path& at) { fs::create_symlink("/dev/null", at); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(scratch.path);
        fs::create_directories(scratch.path);
        resetCoreState();
        fill(2);
        Bytes file = saved();
        if (c.plant) {
            fs::remove(path);
            c.plant(path);
        } else {
            c.damage(file);
            writeBytes(path, file);
        }
        recorder.messages.clear();

        const DatabaseLoad load = loadDatabase();
        ASSERT_EQ(load.keptAside, path.string() + ".bad");
        EXPECT_TRUE(fs::exists(fs::symlink_status(load.keptAside)));
        EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
        const auto named =
            std::count_if(recorder.messages.begin(), recorder.messages.end(), [&](const auto& m) {
                return m.title == "Problem Occurred" &&
                       m.text.find("The device database " + path.string() + " ") == 0 &&
                       m.text.ends_with("; it was set aside as " + load.keptAside + ".");
            });
        EXPECT_EQ(named, 1) << "messages: " << recorder.messages.size();
    }
}

// A newer program's file is in a format this one cannot know: it is neither read nor replaced
// by this program's format, nor moved; every save of the run says why it did not write.
TEST_F(Database, ANewerFormatIsRefusedAndNeverSavedOver) {
    for (int32_t version : {307, 400, INT32_MAX}) {
        for (LoadMode mode : {LoadMode::SetAside, LoadMode::ReadOnly}) {
            SCOPED_TRACE(std::to_string(version) +
                         (mode == LoadMode::ReadOnly ? " read-only" : ""));
            fs::remove_all(scratch.path);
            fs::create_directories(scratch.path);
            resetCoreState();
            clearSaveOutcome();
            fill(3);
            Bytes file = saved();
            put32le(file.data(), uint32_t(version));
            file.resize(file.size() + 100, 0x5A);  // whatever the newer format adds
            writeBytes(path, file);
            resetCoreState();
            recorder.messages.clear();
            bool applied = false;
            listLayoutHooks().applyToList = [&](const ListLayout&) { applied = true; };

            const DatabaseLoad load = loadDatabase(mode);
            EXPECT_EQ(load.status, LoadStatus::TooNew);
            EXPECT_TRUE(load.keptAside.empty());
            expectDefaults();
            EXPECT_TRUE(applied) << "the list keeps the columns it has";
            ASSERT_EQ(recorder.messages.size(), 1u);
            EXPECT_EQ(recorder.messages[0].title, "Attention!");
            EXPECT_EQ(recorder.messages[0].icon, Icon::Warning);
            EXPECT_EQ(recorder.messages[0].text, newerText(path.string(), version));

            // The run goes on and would save: a scan found devices, the user removed the last.
            fill(2);
            std::string reason;
            EXPECT_FALSE(saveDatabase(&reason));
            EXPECT_EQ(reason, path.string() + ": is of a newer format (version " +
                                  std::to_string(version) +
                                  ") than this program knows (306), not saved over");
            EXPECT_TRUE(lastSave().failed);
            EXPECT_FALSE(saveDatabase());
            removeDevice(2);
            removeDevice(1);
            EXPECT_FALSE(saveDatabase(nullptr, WhenEmpty::WriteEmpty));
            ASSERT_EQ(recorder.messages.size(), 2u) << "said at the first refused save only";
            EXPECT_EQ(recorder.messages[1].title, "Attention!");
            EXPECT_EQ(recorder.messages[1].text,
                      "The device list was not saved: the device database " + path.string() +
                          " is of a newer format (version " + std::to_string(version) +
                          ") than this program knows (306).");
            EXPECT_EQ(readBytes(path), file) << "unchanged byte for byte";
            EXPECT_EQ(entries(), 1u) << "nothing set aside, no temporary left";
        }
    }
}

// The list stays read-only for the run even when the newer file goes away; a newer file that
// appears after a load (a newer program saved meanwhile) is not saved over either.
TEST_F(Database, TheRefusalHoldsForTheRunAndForAFileThatTurnsNewerLater) {
    fill(1);
    Bytes file = saved();
    put32le(file.data(), 307);
    writeBytes(path, file);
    EXPECT_EQ(loadDatabase().status, LoadStatus::TooNew);
    fs::remove(path);
    fill(1);
    EXPECT_FALSE(saveDatabase());
    EXPECT_FALSE(fs::exists(path));

    // Another directory is another file: saved as usual.
    const fs::path otherDirectory = scratch.path / "other";
    fs::create_directories(otherDirectory);
    setDataDirectory(otherDirectory.string());
    EXPECT_TRUE(saveDatabase());
    EXPECT_TRUE(fs::exists(otherDirectory / "Corvel Utility.data"));

    setDataDirectory(scratch.path.string());
    EXPECT_EQ(loadDatabase().status, LoadStatus::Missing);
    fill(1);
    EXPECT_TRUE(saveDatabase());
    writeBytes(path, file);
    recorder.messages.clear();
    EXPECT_FALSE(saveDatabase());
    EXPECT_EQ(readBytes(path), file);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Attention!");
}

TEST_F(Database, EachDamagedFileGetsItsOwnAsideName) {
    const Bytes first{0x32, 0x01};
    const Bytes second{0x33};
    writeBytes(path, first);
    EXPECT_EQ(loadDatabase().keptAside, path.string() + ".bad");
    writeBytes(path, second);
    EXPECT_EQ(loadDatabase().keptAside, path.string() + ".bad.1");
    EXPECT_EQ(readBytes(path.string() + ".bad"), first);
    EXPECT_EQ(readBytes(path.string() + ".bad.1"), second);
}

TEST_F(Database, SavingWithNoDevicesLeavesTheFileAsItIs) {
    fill(2);
    const Bytes before = saved();
    removeDevice(2);
    removeDevice(1);
    ASSERT_EQ(core.deviceCount, 0);
    EXPECT_TRUE(saveDatabase());
    EXPECT_EQ(readBytes(path), before);

    fs::remove(path);
    EXPECT_TRUE(saveDatabase());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(recorder.messages.empty());
}

// The list holds the device passwords: private (0600) in a directory of the user's own, shared
// with the group (0660) only in a directory of the group corvel, whatever the umask and whatever
// mode the file it replaces had.
TEST_F(Database, SavedFileIsPrivateUnlessTheSharedGroupsDirectoryHoldsIt) {
    fill(1);
    const ::group* shared = ::getgrnam(kSharedGroupName);
    const struct {
        const char* place;
        std::optional<gid_t> group;
        mode_t mode;
    } cases[] = {
        {"a private directory", ::getegid(), 0600},
        {"the shared group's directory", shared ? std::optional(shared->gr_gid) : std::nullopt,
         0660},
    };
    for (const auto& c : cases) {
        // No group corvel on this system, or this user may not give it a directory: nothing is
        // shared.
        if (!c.group || ::chown(scratch.path.c_str(), uid_t(-1), *c.group) != 0) continue;
        for (mode_t umask : {mode_t(077), mode_t(0)}) {
            const mode_t old = ::umask(umask);
            saved();
            ::chmod(path.c_str(), 0666);
            saved();
            ::umask(old);
            struct stat info {};
            ASSERT_EQ(::stat(path.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, c.mode) << c.place << ", umask " << umask;
        }
    }
    EXPECT_EQ(entries(), 1u) << "no temporary file stays";
}

// A file size limit makes the write fail after `limit` bytes, at any point of the file.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = previous_;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*oldHandler_)(int);
};

TEST_F(Database, FailedSaveLeavesThePreviousFileWhole) {
    fill(1);
    const Bytes previous = saved();
    appendDevice(deviceMac(9).data(), "Device 9");
    copyText(core.stationTables[0].networkName, "Changed");

    for (rlim_t limit : {rlim_t(0), rlim_t(4), rlim_t(8), rlim_t(70000), rlim_t(131416),
                         rlim_t(131420), rlim_t(131420 + 198), rlim_t(131863)}) {
        SCOPED_TRACE(limit);
        recorder.messages.clear();
        std::string reason;
        bool ok = true;
        {
            FileSizeLimit cut(limit);
            ok = saveDatabase(&reason);
        }
        EXPECT_FALSE(ok);
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(readBytes(path), previous);
        EXPECT_EQ(entries(), 1u) << "no temporary file stays";
        // One message for the whole run of failures: the first.
        ASSERT_EQ(recorder.messages.size(), limit == 0 ? 1u : 0u);
        if (limit != 0) continue;
        EXPECT_EQ(recorder.messages[0].title, "Problem Occurred");
        EXPECT_EQ(recorder.messages[0].text, kWriteTrouble);
        EXPECT_EQ(recorder.messages[0].icon, Icon::Error);
    }
    EXPECT_EQ(readBytes(path).size(), 131666u);
    EXPECT_TRUE(saveDatabase());
    EXPECT_EQ(fs::file_size(path), 131864u) << "the next save without a limit succeeds";
}

TEST_F(Database, FailedSaveIntoAMissingDirectoryIsReported) {
    fill(1);
    setDataDirectory((scratch.path / "gone").string());
    std::string reason;
    EXPECT_FALSE(saveDatabase(&reason));
    EXPECT_NE(reason.find("gone"), std::string::npos) << reason;
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Problem Occurred");
}

TEST_F(Database, FileNameComesFromTheProductTitle) {
    const std::pair<const char*, const char*> cases[] = {
        {"Corvel Utility", "Corvel Utility.data"},
        {"", "Corvel Utility.data"},
        {" ", "Corvel Utility.data"},
        {"a/b", "Corvel Utility.data"},
        {"../../etc/x", "Corvel Utility.data"},
        {".", "Corvel Utility.data"},
        {"..", "Corvel Utility.data"},
        {"...", "....data"},
    };
    for (const auto& [title, name] : cases) EXPECT_EQ(databaseFileName(title), name) << title;

    copyText(preferences().productTitle, "Other Title");
    EXPECT_EQ(databasePath(), (scratch.path / "Other Title.data").string());
    setDataDirectory("");
    EXPECT_EQ(databasePath(), "Other Title.data");
}

// Entries planted where the database should be are refused at once, never read through, never
// waited on; a read-only load leaves them where they are.
TEST_F(Database, PlantedEntriesInPlaceOfTheDatabaseAreRefusedWithoutBlocking) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& at)> plant;
    };
    const fs::path elsewhere = scratch.path.parent_path() / (scratch.path.filename().string() + "-x");
    const Case cases[] = {
        {"FIFO", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"directory", [](const fs::path& at) { fs::create_directories(at / "inside"); }},
        {"device",
         [](const fs::path& at) {
             ASSERT_EQ(::mknod(at.c_str(), S_IFCHR | 0600, ::makedev(1, 5)), 0);  // like /dev/zero
         }},
        {"symbolic link to a device", [](const fs::path& at) { fs::create_symlink("/dev/zero", at); }},
        {"symbolic link to a database",
         [&](const fs::path& at) {
             writeBytes(elsewhere, Bytes(databaseFileSize(1), 0x32));
             fs::create_symlink(elsewhere, at);
         }},
        {"larger than 32 records", [](const fs::path& at) {
             Bytes big(kMaxDatabaseFileSize + 1, 0);
             put32le(big.data(), 306);
             writeBytes(at, big);
         }},
    };
    for (const Case& c : cases) {
        for (LoadMode mode : {LoadMode::ReadOnly, LoadMode::SetAside}) {
            SCOPED_TRACE(std::string(c.what) + (mode == LoadMode::ReadOnly ? " read-only" : ""));
            fs::remove_all(scratch.path);
            fs::create_directories(scratch.path);
            fs::remove(elsewhere);
            c.plant(path);
            const auto type = fs::symlink_status(path).type();
            recorder.messages.clear();
            fill(2);

            const DatabaseLoad load = loadDatabase(mode);
            EXPECT_EQ(load.status, LoadStatus::Damaged);
            expectDefaults();
            ASSERT_EQ(recorder.messages.size(), 1u);
            EXPECT_EQ(recorder.messages[0].title, "Problem Occurred");
            if (mode == LoadMode::ReadOnly) {
                EXPECT_EQ(fs::symlink_status(path).type(), type) << "left where it was";
                EXPECT_EQ(recorder.messages[0].text,
                          "The device database " + path.string() +
                              " is damaged; it was left as it is.");
            } else {
                EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
                EXPECT_EQ(fs::symlink_status(path.string() + ".bad").type(), type);
                EXPECT_EQ(recorder.messages[0].text, asideText(path.string()));
            }
        }
    }
    fs::remove(elsewhere);
}

// A link planted where the database is saved is replaced, never written through; a link in
// place of a temporary name is never used either, since the temporary is made exclusively.
TEST_F(Database, SaveNeverWritesThroughAPlantedLink) {
    const fs::path victim = scratch.path / "victim";
    writeText(victim, "precious");
    ::chmod(victim.c_str(), 0644);
    fs::create_symlink(victim, path);
    fill(1);
    saved();
    EXPECT_EQ(fs::symlink_status(path).type(), fs::file_type::regular);
    EXPECT_EQ(readBytes(victim), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    struct stat info {};
    ASSERT_EQ(::stat(victim.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u) << "the link's target is never chmodded";
}

TEST_F(Database, NextSaveRemovesTemporariesLeftByAKilledSave) {
    const std::string stale = path.string() + ".saving-AbC123";
    const std::string running = path.string() + ".saving-XyZ789";
    const std::string unrelated = path.string() + ".backup";
    for (const std::string& name : {stale, running, unrelated}) writeText(name, "partial");
    const timeval old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimes(stale.c_str(), old), 0);
    ASSERT_EQ(::utimes(unrelated.c_str(), old), 0);
    fill(1);
    saved();
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running)) << "may belong to a save still under way";
    EXPECT_TRUE(fs::exists(unrelated));
}

TEST_F(Database, SaveIntoAnUnwritableDirectoryFailsWithThePathAndTheReasonOnce) {
    fill(1);
    const Bytes previous = saved();
    ::chmod(scratch.path.c_str(), 0555);
    std::string first, second;
    bool ok1 = true, ok2 = true;
    asNobody([&] {
        ok1 = saveDatabase(&first);
        ok2 = saveDatabase(&second);
    });
    ::chmod(scratch.path.c_str(), 0755);
    EXPECT_FALSE(ok1);
    EXPECT_FALSE(ok2);
    EXPECT_EQ(first, path.string() + ": Permission denied");
    EXPECT_TRUE(lastSave().failed);
    EXPECT_EQ(lastSave().reason, first);
    EXPECT_EQ(recorder.messages.size(), 1u) << "one message for a run of failures";
    EXPECT_EQ(readBytes(path), previous);

    EXPECT_TRUE(saveDatabase());
    EXPECT_FALSE(lastSave().failed);
    ::chmod(scratch.path.c_str(), 0555);
    asNobody([&] { EXPECT_FALSE(saveDatabase()); });
    ::chmod(scratch.path.c_str(), 0755);
    EXPECT_EQ(recorder.messages.size(), 2u) << "a new run of failures is reported again";
}

// Removing the last device must reach the file; a scan that found nothing leaves it alone.
TEST_F(Database, AnEmptyListSavedOnPurposeLoadsAsEmpty) {
    fill(2);
    saved();
    removeDevice(2);
    removeDevice(1);
    const Bytes kept = readBytes(path);
    EXPECT_TRUE(saveDatabase(nullptr, WhenEmpty::KeepFile));
    EXPECT_EQ(readBytes(path), kept);
    EXPECT_TRUE(saveDatabase(nullptr, WhenEmpty::WriteEmpty));
    EXPECT_EQ(fs::file_size(path), databaseFileSize(0));

    resetCoreState();
    recorder.messages.clear();
    const DatabaseLoad load = loadDatabase();
    EXPECT_EQ(load.status, LoadStatus::Loaded);
    EXPECT_EQ(core.deviceCount, 0);
    EXPECT_EQ(core.currentAdapter, 3);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(fs::exists(path));
}

}  // namespace
}  // namespace corvel::test
