// SPDX-License-Identifier: MIT
#pragma once

// The local device a user picks from the list of local devices, one row per host interface whose
// local device is present, in interface order.
namespace corvel {

// The `row`-th interface (0-based) among those whose local device is present becomes the current
// interface, and localIsTurbo tells whether its station table holds a Turbo local device. A row
// beyond the present ones (or below 0) keeps the current interface and the flag. Returns the
// current interface.
int selectAdapter(int row);

}  // namespace corvel
