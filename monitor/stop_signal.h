// SPDX-License-Identifier: MIT
#pragma once

#include <csignal>

// SIGTERM (systemd stopping the service) and SIGINT (Ctrl-C) ask the monitor to stop: the
// handler only notes the request; the loop sees it between two ticks of the scan, ends the cycle
// there, saves the device list and exits normally.
namespace corvel {

class StopSignals {
public:
    // Installs the handlers; the earlier ones come back when this goes.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static bool requested();
    // Which signal asked (0: none yet).
    static int signal();

private:
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

}  // namespace corvel
