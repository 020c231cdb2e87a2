// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include "transport/capture_backend.h"

struct pcap;

namespace corvel {

// libpcap: snapshot 65536, promiscuous, 2 ms read time-out, immediate delivery, incoming frames
// only, and the powerline filter installed as a ready program.
class PcapBackend : public CaptureBackend {
public:
    ~PcapBackend() override;
    bool listInterfaces(std::vector<HostInterface>& out, std::string& error) override;
    int openCapture(const std::string& name, std::string& error) override;
    void closeCapture(int handle) override;
    bool sendRaw(int handle, const uint8_t* data, size_t length) override;
    PollResult pollRaw(int handle, std::vector<uint8_t>& frame) override;

private:
    pcap* handleAt(int handle) const;
    std::vector<pcap*> handles_;
};

}  // namespace corvel
