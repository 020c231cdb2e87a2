// SPDX-License-Identifier: MIT
#pragma once

#include "platform/mac.h"

// HomePlug 1.0 / Turbo exchanges: a request on the selected interface and the drain of the
// replies it brings.
namespace corvel {

// The Turbo rate statistics request (vendor code 24) to `destination`, then one drain of the
// replies. Returns whether the request went out; the drain runs either way, as the scan's other
// replies are waiting too.
bool sendTurboStatsRequest(const Mac& destination);

// Whether the local device on the selected interface is Turbo-capable: it answers the broadcast
// version query within 100 ms. Its answer records its MAC and texts.
bool queryTurboVersion();

}  // namespace corvel
