// SPDX-License-Identifier: MIT
#include "transport/memory_wire.h"

#include "platform/bytes.h"
#include "platform/ethertypes.h"
#include "platform/clock.h"

namespace corvel {

int MemoryWire::addInterface(const std::string& name, const Mac& mac,
                             const std::string& description) {
    Port port;
    port.host = HostInterface{name, description, mac};
    ports_.push_back(std::move(port));
    return int(ports_.size() - 1);
}

void MemoryWire::deliver(int port, std::vector<uint8_t> frame) {
    if (port < 0 || size_t(port) >= ports_.size() || !ports_[size_t(port)].open) return;
    if (frame.size() < 14) return;
    const uint16_t ethertype = get16be(frame.data() + 12);
    if (!isPowerlineEthertype(ethertype)) return;
    ports_[size_t(port)].inbox.push_back(std::move(frame));
}

bool MemoryWire::listInterfaces(std::vector<HostInterface>& out, std::string& error) {
    if (failListing) {
        error = "no interfaces could be listed";
        return false;
    }
    out.clear();
    for (const Port& port : ports_) out.push_back(port.host);
    return true;
}

int MemoryWire::openCapture(const std::string& name, std::string& error) {
    for (size_t i = 0; i < ports_.size(); ++i) {
        if (ports_[i].host.name != name) continue;
        if (refuseOpen) {
            error = name + ": " + refusalText;
            return -1;
        }
        ports_[i].open = true;
        return int(i);
    }
    error = name + ": No such device exists";
    return -1;
}

MemoryWire::Port* MemoryWire::portOf(int handle) {
    if (handle < 0 || size_t(handle) >= ports_.size() || !ports_[size_t(handle)].open)
        return nullptr;
    return &ports_[size_t(handle)];
}

void MemoryWire::closeCapture(int handle) {
    if (Port* port = portOf(handle)) {
        port->open = false;
        port->inbox.clear();
    }
}

bool MemoryWire::sendRaw(int handle, const uint8_t* data, size_t length) {
    if (faultOnSend) throw CaptureFault("send fault");
    if (portOf(handle) == nullptr) return false;
    std::vector<uint8_t> frame(data, data + length);
    sent_.push_back({handle, frame, systemClock().tickCount()});
    if (receiver_) receiver_(handle, frame);
    return true;
}

bool MemoryWire::anyWaiting(const std::vector<int>& handles) {
    for (int handle : handles)
        if (const Port* port = portOf(handle); port != nullptr && !port->inbox.empty()) return true;
    return false;
}

bool MemoryWire::waitAny(const std::vector<int>& handles) {
    // Like a capture with a read time-out: a frame arriving within it ends the wait at once.
    for (uint32_t waited = 0; !anyWaiting(handles) && waited < readTimeoutMs; ++waited)
        systemClock().sleepMs(1);
    return anyWaiting(handles);
}

PollResult MemoryWire::takeRaw(int handle, std::vector<uint8_t>& frame) {
    if (faultOnPoll) throw CaptureFault("read fault");
    Port* port = portOf(handle);
    if (port == nullptr || port->inbox.empty()) return PollResult::None;
    frame = std::move(port->inbox.front());
    port->inbox.pop_front();
    if (takeMs != 0) systemClock().sleepMs(takeMs);
    return PollResult::Frame;
}

PollResult MemoryWire::pollRaw(int handle, std::vector<uint8_t>& frame) {
    if (faultOnPoll) throw CaptureFault("read fault");
    waitAny({handle});
    return takeRaw(handle, frame);
}

}  // namespace corvel
