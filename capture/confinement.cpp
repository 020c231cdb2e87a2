// SPDX-License-Identifier: MIT
#include "capture/confinement.h"

#include <cap-ng.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace corvel::capture {

namespace {

std::string failed(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

void closeInheritedDescriptors() {
    if (::close_range(3, ~0U, 0) == 0) return;
    rlimit limit{};
    const rlim_t last =
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    for (rlim_t fd = 3; fd < last; ++fd) ::close(int(fd));
}

void defaultSignals() {
    for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // A caller that went away is seen as a failed send, not as a signal.
    ::signal(SIGPIPE, SIG_IGN);
}

// Keeps CAP_NET_RAW (packet sockets) and CAP_NET_ADMIN (the ring's set-up, the receive filter's
// addresses) of what the file capabilities gave, permitted and effective, and nothing else:
// nothing inheritable or ambient, and an empty bounding set, so that no program the helper ran
// (it runs none) could gain a capability. Emptying the bounding set takes CAP_SETPCAP, which the
// package grants the helper for that alone and which goes with the rest; a helper given only the
// two capture capabilities keeps its bounding set, which no_new_privs already keeps from
// granting anything.
bool keepCaptureCapabilities(std::string& error) {
    if (capng_get_caps_process() != 0) {
        error = failed("reading the capabilities");
        return false;
    }
    const bool canEmptyBounds = capng_have_capability(CAPNG_EFFECTIVE, CAP_SETPCAP) != 0;
    const auto kept = capng_type_t(CAPNG_EFFECTIVE | CAPNG_PERMITTED);
    std::vector<unsigned> held;
    for (const unsigned capability : {unsigned(CAP_NET_RAW), unsigned(CAP_NET_ADMIN)})
        if (capng_have_capability(CAPNG_PERMITTED, capability) != 0) held.push_back(capability);
    capng_clear(CAPNG_SELECT_ALL);
    for (const unsigned capability : held) capng_update(CAPNG_ADD, kept, capability);
    // The bounding set first, while CAP_SETPCAP is still effective; then the sets that drop it.
    const struct {
        bool wanted;
        capng_select_t set;
        const char* step;
    } steps[] = {{canEmptyBounds, CAPNG_SELECT_BOUNDS, "emptying the capability bounding set"},
                 {true, CAPNG_SELECT_CAPS, "dropping capabilities"},
                 {true, CAPNG_SELECT_AMBIENT, "clearing the ambient capabilities"}};
    for (const auto& step : steps) {
        if (!step.wanted) continue;
        if (const int result = capng_apply(step.set); result != 0) {
            error = std::string(step.step) + ": libcap-ng error " + std::to_string(result);
            return false;
        }
    }
    return true;
}

}  // namespace

bool confine(std::string& error) {
    ::clearenv();
    closeInheritedDescriptors();
    defaultSignals();
    ::umask(077);
    if (::chdir("/") != 0) {
        error = failed("changing to /");
        return false;
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        error = failed("forbidding new privileges");
        return false;
    }
    // The kernel already makes a process that gained capabilities non-dumpable; said here so
    // that it holds however the helper was started: its caller may not trace or read it.
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
        error = failed("making the process non-dumpable");
        return false;
    }
    return keepCaptureCapabilities(error);
}

}  // namespace corvel::capture
