// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

#include "cli/context.h"
#include "platform/mac.h"

// How the link-health commands (stats, tonemap, restart) find the device they are about: the AV
// local device of each host interface, and the stations of its network. The device list is not
// touched.
namespace corvel {

struct AvTarget {
    int interfaceIndex = -1;  // the selected interface from then on
    Mac local{};              // that interface's AV local device
    Mac device{};             // the device named: the local device itself or a station
    bool isLocal = false;
};

// Opens the host interfaces and asks each for its AV local device. With `mac`: the interface
// whose local device is `mac`, or else the first whose local device lists `mac` among the
// stations of its network. Without: the one AV local device (more than one is ambiguous).
// The interface found is selected. Otherwise the reason is said (exit status 1) and nullopt.
std::optional<AvTarget> findAvTarget(CliContext& context, const std::optional<Mac>& mac);

// findAvTarget for the commands about the local device's link to a station: a `mac` that is the
// local device itself is refused as the other ones are.
std::optional<AvTarget> findAvStation(CliContext& context, const Mac& mac);

// "interface 0 host0".
std::string interfaceLabel(int index);

}  // namespace corvel
