// SPDX-License-Identifier: MIT
#include "scan/select_adapter.h"

#include "core/tables.h"

namespace corvel {

int selectAdapter(int row) {
    int counted = 0;
    for (int i = 0; i < kMaxInterfaces; ++i) {
        if (!core.adapters[i].localPresent) continue;
        if (counted++ != row) continue;
        core.currentAdapter = i;
        core.localIsTurbo = core.stationTables[i].localKind == kKindTurbo;
        break;
    }
    return core.currentAdapter;
}

}  // namespace corvel
