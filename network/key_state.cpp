// SPDX-License-Identifier: MIT
#include "network/key_state.h"

namespace corvel {

MembershipKeyState& membershipKeyState() {
    static MembershipKeyState state;
    return state;
}

void resetMembershipKeyState() {
    membershipKeyState() = MembershipKeyState{};
}

}  // namespace corvel
