// SPDX-License-Identifier: MIT
#include "av/av_state.h"

#include "platform/process_state.h"

namespace corvel {

namespace {
AvExchangeState state;
}  // namespace

AvExchangeState& avExchangeState() {
    return state;
}

void resetAvExchangeState() {
    state = AvExchangeState{};
}

namespace {
const RegisteredReset avExchangeStateReset{resetAvExchangeState};
}  // namespace

}  // namespace corvel
