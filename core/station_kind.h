// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The family of a station seen through a host interface, as its StationRecord stores it. The
// enumerators are the values the station tables hold, and the database file holds those tables
// as they are in memory: a value is never renumbered. A table read from a file may hold any
// other value; it is kept as it came.
namespace corvel {

enum class StationKind : int32_t {
    HomePlug10 = 1,  // a station seen through a HomePlug 1.0 or Turbo local device
    Turbo = 2,       // a 1.0 station that answered the vendor version query: the 85 Mbit/s scale
    Av = 4,          // a station seen through a HomePlug AV local device
};

static_assert(sizeof(StationKind) == 4);
static_assert(static_cast<int32_t>(StationKind::HomePlug10) == 1);
static_assert(static_cast<int32_t>(StationKind::Turbo) == 2);
static_assert(static_cast<int32_t>(StationKind::Av) == 4);

// The stations the AV lists show (the main page, its dialogs, the report): HomePlug AV, and any
// stored value above it.
constexpr bool isAvStation(StationKind kind) {
    return static_cast<int32_t>(kind) >= static_cast<int32_t>(StationKind::Av);
}

}  // namespace corvel
