// SPDX-License-Identifier: MIT
#include "transport/powerline_filter.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <vector>

namespace corvel {
namespace {

// The ready program must accept exactly what the filter expression accepts.
TEST(PowerlineFilter, AgreesWithTheCompiledExpressionOnEveryEthertype) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65536);
    ASSERT_NE(dead, nullptr);
    bpf_program compiled{};
    ASSERT_EQ(pcap_compile(dead, &compiled, "ether proto 0x887b or ether proto 0x88e1", 1,
                           PCAP_NETMASK_UNKNOWN),
              0);
    std::vector<uint8_t> frame(60, 0);
    int accepted = 0;
    for (uint32_t type = 0; type <= 0xFFFF; ++type) {
        frame[12] = uint8_t(type >> 8);
        frame[13] = uint8_t(type);
        const u_int ours = bpf_filter(kPowerlineFilter.data(), frame.data(), 60, 60);
        const u_int reference = bpf_filter(compiled.bf_insns, frame.data(), 60, 60);
        ASSERT_EQ(ours != 0, reference != 0) << std::hex << type;
        accepted += ours != 0;
    }
    EXPECT_EQ(accepted, 2);
    pcap_freecode(&compiled);
    pcap_close(dead);
}

}  // namespace
}  // namespace corvel
