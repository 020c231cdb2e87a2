// SPDX-License-Identifier: MIT
#pragma once

#include <pcap/pcap.h>

#include <array>
#include <cstdint>

#include "platform/ethertypes.h"

namespace corvel {

// Classic BPF accepting exactly the two powerline management Ethertypes, the same as the filter
// expression "ether proto 0x887b or ether proto 0x88e1", installed as a ready program.
inline constexpr std::array<bpf_insn, 7> kPowerlineFilter = {{
    {0x28, 0, 0, 12},              // load the Ethertype (16-bit word at byte 12)
    {0x15, 0, 1, kHp10Ethertype},  // HomePlug 1.0 management? yes: next; no: skip one
    {0x06, 0, 0, 0xFFFFFFFF},      // accept the whole frame
    {0x28, 0, 0, 12},              // load the Ethertype again
    {0x15, 0, 1, kAvEthertype},    // HomePlug AV management? yes: next; no: skip one
    {0x06, 0, 0, 0xFFFFFFFF},      // accept the whole frame
    {0x06, 0, 0, 0},               // drop
}};

// A program view of the filter for pcap_setfilter, which does not change it.
inline bpf_program powerlineFilterProgram() {
    return bpf_program{uint32_t(kPowerlineFilter.size()),
                       const_cast<bpf_insn*>(kPowerlineFilter.data())};
}

}  // namespace corvel
