// SPDX-License-Identifier: MIT
#include "scan/select_adapter.h"

#include <gtest/gtest.h>

#include "core/tables.h"
#include "platform/process_state.h"

namespace corvel::test {
namespace {

// Local devices on interfaces 1 (AV), 3 (Turbo) and 5 (HomePlug 1.0); interface 2 remembers a
// Turbo device that is gone, so its row is not in the list. The selection starts on interface 6
// with the Turbo and AV flags set, to show what a row leaves alone.
class SelectAdapter : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        local(1, kKindAv, true);
        local(2, kKindTurbo, false);
        local(3, kKindTurbo, true);
        local(5, kKindHomePlug10, true);
        core.currentAdapter = 6;
        core.localIsTurbo = 1;
        core.localIsAv = 1;
    }
    void TearDown() override { resetProcessState(); }

    static void local(int i, int32_t kind, bool present) {
        core.adapters[i].localPresent = present ? 1 : 0;
        core.adapters[i].localKind = kind;
        core.stationTables[i].localKind = kind;
    }
};

TEST_F(SelectAdapter, RowCountsOnlyInterfacesWithALocalDevice) {
    struct Case {
        int row;
        int interface;
        int turbo;
    };
    const Case cases[] = {
        {0, 1, 0},  // the AV device clears the Turbo flag
        {1, 3, 1},  // the absent interface 2 is passed over
        {2, 5, 0},
        {3, 6, 1},  // beyond the list: nothing changes
        {-1, 6, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        SetUp();
        EXPECT_EQ(selectAdapter(c.row), c.interface);
        EXPECT_EQ(core.currentAdapter, c.interface);
        EXPECT_EQ(core.localIsTurbo, c.turbo);
        EXPECT_EQ(core.localIsAv, 1) << "the AV flag is the full scan's";
    }
}

// The kind is read from the interface's station table, where the full scan leaves it, not from
// its adapter record.
TEST_F(SelectAdapter, TurboIsTheStationTablesKind) {
    core.adapters[3].localKind = kKindAv;
    EXPECT_EQ(selectAdapter(1), 3);
    EXPECT_EQ(core.localIsTurbo, 1);
    core.stationTables[3].localKind = kKindAv;
    core.adapters[3].localKind = kKindTurbo;
    selectAdapter(1);
    EXPECT_EQ(core.localIsTurbo, 0);
}

}  // namespace
}  // namespace corvel::test
