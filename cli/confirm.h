// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "cli/context.h"

// Asking the user before a command changes devices or files: y/N on the terminal, or --yes.
namespace corvel {

enum class Consent {
    Given,       // --yes, or "y" typed
    Refused,     // anything else typed, or the input ended
    NoTerminal,  // no --yes and no terminal on standard input to ask on
};

// Whether standard input is a terminal a question can be asked on.
bool canAsk();

// With context.yes: Given at once, nothing shown. Otherwise `question` goes to standard error as
// "corvel: QUESTION [y/N] " and one line is read from standard input, when it is a terminal;
// "y" or "yes" (any case) gives consent.
Consent askConsent(CliContext& context, const std::string& question);

// askConsent, and on anything but consent one line on standard error (status 1) saying that
// `action` was not done and why: "not confirmed", or for want of a terminal, to add --yes.
bool confirmed(CliContext& context, const std::string& question, const std::string& action);

// The refusal of `action` without --yes where no terminal can ask: status 1.
void refuseWithoutTerminal(CliContext& context, const std::string& action);

}  // namespace corvel
