// SPDX-License-Identifier: MIT
#pragma once

#include "core/tables.h"

// Every membership operation has one variant per family of the local device on the selected
// interface, as the scan found it.
namespace corvel {

enum class LocalFamily { av, turbo, homePlug10 };

inline LocalFamily localFamily() {
    if (core.localIsAv) return LocalFamily::av;
    if (core.localIsTurbo) return LocalFamily::turbo;
    return LocalFamily::homePlug10;
}

}  // namespace corvel
