// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mac.h"
#include "sim/device.h"
#include "sim/faults.h"

// A simulated powerline network: for each host interface (a port) the local device cabled to it
// and the stations on the same wiring. Frames the host sends come in through onHostFrame; every
// answer leaves through the emitter with the delay after which it reaches the host. The network
// knows no transport: the memory link and the pcap server join it to one.
namespace corvel::sim {

struct Port {
    // The host interface the local device is cabled to.
    std::string interfaceName;
    // Absent: nothing is cabled to the interface.
    std::unique_ptr<Device> local;
    std::vector<std::unique_ptr<Device>> stations;
    Faults faults;
    NoiseStream noise;
    uint64_t nextNoiseMs = 0;  // when the stream's next frame is due; 0 before the first
    // The host interface's own address, as its requests carry it; all zero until one came.
    Mac hostMac{};
};

// To whom the request an answer goes with was sent: one device's own address, or an address any
// device may answer (the local-management or a group address). A forged version confirmation
// goes ahead of the answer in the first case and after it in the second.
enum class AskedAt { Device, AnyDevice };

class Network {
public:
    using Emit = std::function<void(int port, std::vector<uint8_t> frame, uint32_t delayMs)>;
    using TimeSource = std::function<uint64_t()>;

    Network();

    // Building. MACs must be unique over the whole network (std::invalid_argument otherwise).
    int addPort(std::string interfaceName);
    Device& setLocal(int port, const DeviceConfig& config);
    Device& addStation(int port, const DeviceConfig& config);

    size_t portCount() const { return ports_.size(); }
    Port& port(int index) { return ports_.at(size_t(index)); }
    const Port& port(int index) const { return ports_.at(size_t(index)); }
    // The device with that MAC on any port, or nullptr.
    Device* device(const Mac& mac);
    // The port of the first interface of that name, or -1.
    int portByInterface(const std::string& interfaceName) const;

    void setEmitter(Emit emit) { emit_ = std::move(emit); }
    // Milliseconds on the clock that paces reboots; the installed system clock by default. The
    // network starts when its clock is set (or when it is made, on the system clock).
    void setTimeSource(TimeSource now);
    uint64_t now() const { return now_(); }
    // Milliseconds since the network started: the time line of the scenario's schedules.
    uint64_t elapsedMs() const;

    // One frame the host sent on a port's interface. Anything that is not a well-formed request
    // of a device on that port is ignored.
    void onHostFrame(int port, const std::vector<uint8_t>& frame);

    // The devices on a port's wiring: the local device first, then the stations; only those
    // available now.
    std::vector<Device*> wiring(int port);
    // The stations the local device bridges to: available ones sharing its network key.
    std::vector<Device*> bridgedStations(int port);

    // Sends one answer of `from` on `port`, to the destination written in it, through the
    // faults of the device and of the port.
    void answer(int port, const Device& from, std::vector<uint8_t> frame,
                AskedAt askedAt = AskedAt::Device);
    // The failure status forced on `from`'s AV confirmations, 0 when none.
    uint8_t forcedAvStatus(int port, const Device& from) const;
    // The delay with which an answer of `from` on `port` reaches the host.
    uint32_t answerDelay(int port, const Device& from) const;

    // Sends the noise frames that are due at `nowMs` on every port with a stream (the first at
    // once) and returns when the next one falls due; UINT64_MAX when no port has a stream.
    // The link that carries the network calls it again at that time.
    uint64_t emitDueNoise(uint64_t nowMs);

private:
    void checkUnique(const Mac& mac) const;
    void routeAv(int port, const std::vector<uint8_t>& frame);
    void routeHp10(int port, const std::vector<uint8_t>& frame);
    void emit(int port, std::vector<uint8_t> frame, uint32_t delayMs);
    // The frames other hosts send in other names around one answer (Faults: spoofing).
    void emitSpoofed(int port, const Device& from, const std::vector<uint8_t>& answer,
                     AskedAt askedAt, bool afterAnswer, uint32_t delayMs);
    // The host addresses learnt so far, the port's own first.
    std::vector<Mac> hostMacs(int port) const;

    std::vector<Port> ports_;
    Emit emit_;
    TimeSource now_;
    uint64_t startMs_ = 0;
};

}  // namespace corvel::sim
