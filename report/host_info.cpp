// SPDX-License-Identifier: MIT
#include "report/host_info.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <vector>

namespace corvel {

namespace {

HostInfoSource& hostInfoSource() {
    static HostInfoSource source;
    return source;
}

std::string effectiveUserName() {
    const uid_t uid = ::geteuid();
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr)
        return found->pw_name;
    // An account without a name (a container's bare uid) is shown by its number, as id(1) does.
    return std::to_string(uid);
}

std::string computerName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) return "";
    return name.data();
}

}  // namespace

KernelVersion parseKernelRelease(std::string_view release) {
    int numbers[3] = {};
    const char* at = release.data();
    const char* end = release.data() + release.size();
    for (int i = 0; i < 3; ++i) {
        int value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc{}) break;
        numbers[i] = value;
        if (next == end || *next != '.') break;
        at = next + 1;
    }
    return KernelVersion{numbers[0], numbers[1], numbers[2]};
}

int processorTypeOf(std::string_view machine) {
    struct Entry {
        std::string_view machine;
        int type;
    };
    static constexpr Entry kTypes[] = {
        {"i386", 386},    {"i486", 486},   {"i586", 586},       {"i686", 586},     {"ia64", 2200},
        {"x86_64", 8664}, {"amd64", 8664}, {"aarch64", 0xAA64}, {"arm64", 0xAA64},
    };
    for (const Entry& entry : kTypes)
        if (entry.machine == machine) return entry.type;
    return 0;
}

HostInfo readHostInfo() {
    HostInfo info;
    info.computerName = computerName();
    info.userName = effectiveUserName();
    info.systemName = "Linux";
    utsname names{};
    if (::uname(&names) == 0) {
        info.systemName = names.sysname;
        info.version = parseKernelRelease(names.release);
        info.processorType = processorTypeOf(names.machine);
    }
    return info;
}

void installHostInfoSource(HostInfoSource source) {
    hostInfoSource() = std::move(source);
}

HostInfo hostInfo() {
    const HostInfoSource& source = hostInfoSource();
    return source ? source() : readHostInfo();
}

}  // namespace corvel
