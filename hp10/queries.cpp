// SPDX-License-Identifier: MIT
#include "hp10/queries.h"

#include "core/tables.h"
#include "hp10codec/frames.h"
#include "hp10/replies.h"
#include "hp10/requests.h"

namespace corvel {

bool sendTurboStatsRequest(const Mac& destination) {
    const bool sent = sendVendorRequest(destination, kHp10TurboRateStats);
    processHp10Replies();
    return sent;
}

bool queryTurboVersion() {
    core.turboLocalAnswered = 0;
    sendVersionQuery();
    pumpHp10Replies();
    return core.turboLocalAnswered != 0;
}

}  // namespace corvel
