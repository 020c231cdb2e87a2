// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <string_view>

// What the diagnostics report says about the host computer, read from the system or supplied by
// tests through the installed source.
namespace corvel {

struct KernelVersion {
    int majorNumber = 0;
    int minorNumber = 0;
    int patchNumber = 0;
};

struct HostInfo {
    std::string computerName;
    std::string userName;
    int processorType = 0;
    std::string systemName;  // the kernel's own name, "Linux"
    KernelVersion version;
};

// The leading "major.minor.patch" of a kernel release text such as "6.1.0-18-amd64"; numbers
// that are missing or do not fit read 0.
KernelVersion parseKernelRelease(std::string_view release);

// A processor type number for the machine name the kernel reports, in the numbering the report
// has always used: 386, 486 and 586 for the 32-bit x86 generations (586 for every later one
// too), 2200 for Itanium, 8664 for x86-64 and 0xAA64 for 64-bit ARM; 0 for anything else.
int processorTypeOf(std::string_view machine);

// The running system's facts: uname, gethostname, the effective user's account name.
HostInfo readHostInfo();

using HostInfoSource = std::function<HostInfo()>;
// An empty source goes back to readHostInfo.
void installHostInfoSource(HostInfoSource source);
HostInfo hostInfo();

}  // namespace corvel
