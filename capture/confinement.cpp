// SPDX-License-Identifier: MIT
#include "capture/confinement.h"

#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace corvel::capture {

namespace {

std::string failed(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

void closeInheritedDescriptors() {
    if (::close_range(3, ~0U, 0) == 0) return;
    rlimit limit{};
    const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                            ? limit.rlim_cur
                            : 65536;
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

// Keeps CAP_NET_RAW (packet sockets) and CAP_NET_ADMIN (promiscuous mode, ring set-up) of what
// the file capabilities gave, permitted and effective; nothing else, nothing inheritable.
bool keepCaptureCapabilities(std::string& error) {
    // Ambient capabilities would survive an exec; the helper never execs, but holds none.
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) {
        error = failed("clearing the ambient capabilities");
        return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        error = failed("reading the capabilities");
        return false;
    }
    static_assert(CAP_NET_RAW < 32 && CAP_NET_ADMIN < 32);
    const uint32_t keep = (1u << CAP_NET_RAW) | (1u << CAP_NET_ADMIN);
    data[0].permitted &= keep;
    data[0].effective = data[0].permitted;
    data[0].inheritable = 0;
    data[1] = {};
    if (::syscall(SYS_capset, &header, data) != 0) {
        error = failed("dropping capabilities");
        return false;
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
