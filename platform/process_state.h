// SPDX-License-Identifier: MIT
#pragma once

// The process-wide state of every layer, found and put back in one call. Each layer keeps its
// state (tables, scalars, the hooks a front end installs, loaded preferences and lists) in the
// file that owns it, and that file registers how to put it back as it is at process start. A
// layer that is not linked into the program has no state and registers nothing, so the lower
// layers need not know the upper ones.
//
// Not put back: the seams a caller installs for a scope and removes again when it ends (the
// clock, the notifier, the capture backend, the scan timer, the calendar and host-information
// sources, the data directory, the product data folders). The captures open on the installed
// backend are closed.
namespace corvel {

using StateReset = void (*)();

// Registers `reset` while the program starts: a namespace-scope object in the file that holds
// the state, `const RegisteredReset tablesReset{resetCoreState};`.
class RegisteredReset {
public:
    explicit RegisteredReset(StateReset reset);
};

// Runs every registered reset: the state of all linked layers as at process start (tests, between
// cases).
void resetProcessState();

}  // namespace corvel
