// SPDX-License-Identifier: MIT
#include "platform/process_state.h"

#include <vector>

namespace corvel {

namespace {

// Built on first use: registrations run during static initialisation, in no fixed order.
std::vector<StateReset>& registeredResets() {
    static std::vector<StateReset> resets;
    return resets;
}

}  // namespace

RegisteredReset::RegisteredReset(StateReset reset) {
    registeredResets().push_back(reset);
}

void resetProcessState() {
    for (const StateReset reset : registeredResets()) reset();
}

}  // namespace corvel
