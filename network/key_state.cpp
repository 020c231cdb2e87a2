// SPDX-License-Identifier: MIT
#include "network/key_state.h"

#include "platform/process_state.h"
#include "scan/device_list.h"

namespace corvel {

MembershipKeyState& membershipKeyState() {
    static MembershipKeyState state;
    return state;
}

void resetMembershipKeyState() {
    membershipKeyState() = MembershipKeyState{};
    resetPendingAdd();
}

namespace {
const RegisteredReset membershipKeyStateReset{resetMembershipKeyState};
}  // namespace

}  // namespace corvel
