// SPDX-License-Identifier: MIT
#pragma once

#include "upgrade/upgrade_control.h"

// Drives the write transfer the codec has prepared: each prepared frame goes out, its own
// confirmation is awaited for up to kChunkConfirmWindowMs (other frames that keep coming stretch
// that to twice the window, never more), and after a 1 ms pause the next frame goes, until the
// device confirms the finishing request.
namespace corvel {

enum class TransferEnd { Completed, Failed, Cancelled };

// Failed: "Upgrade failed. Operation aborted." has been shown. The codec's transfer is left as
// it stands; the caller ends it.
TransferEnd runChunkTransfer(UpgradeControl& control);

}  // namespace corvel
