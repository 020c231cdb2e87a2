// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "transport/capture_backend.h"

// The host interfaces a user restricted the program to (corvel -i, CORVEL_INTERFACE), so that a
// scan never sends on an interface it was told to leave alone. Empty: every interface.
namespace corvel {

void setInterfaceChoice(std::vector<std::string> names);
const std::vector<std::string>& interfaceChoice();

// Keeps, in the library's order, the listed interfaces the choice names. False, with `error`
// naming it, when the choice names an interface the library did not list.
bool applyInterfaceChoice(std::vector<HostInterface>& listed, std::string& error);

}  // namespace corvel
