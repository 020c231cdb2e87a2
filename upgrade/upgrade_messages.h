// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Every failure of an upgrade is a box with caption "Error" and the error icon.
namespace corvel {

void showUpgradeError(const std::string& text);

}  // namespace corvel
