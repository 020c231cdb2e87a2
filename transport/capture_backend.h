// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/mac.h"

// What the frame I/O needs from a capture library. The product uses libpcap; tests use an
// in-memory wire joined to the simulator. Nothing above the transport knows which one runs.
namespace corvel {

struct HostInterface {
    std::string name;         // the name the backend opens it by ("eth0")
    std::string description;  // the library's readable text, empty when it has none
    Mac mac{};                // its own Ethernet address, all zero when unknown
};

enum class PollResult { Frame, None };

// Thrown by a backend when sending or receiving fails inside the library rather than returning
// an error; the frame I/O turns it into the user's "Send Packet Error" / "Reading Error".
class CaptureFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;
    // Ethernet, non-loopback interfaces in the library's order; false with `error` when the
    // library cannot list them.
    virtual bool listInterfaces(std::vector<HostInterface>& out, std::string& error) = 0;
    // Opens an interface for capture of the two powerline Ethertypes only; a handle >= 0, or -1
    // with `error` (for example when capture is not permitted).
    virtual int openCapture(const std::string& name, std::string& error) = 0;
    virtual void closeCapture(int handle) = 0;
    // Called when a round of opens is over: closes whatever a backend kept for reuse that no
    // open took back.
    virtual void releaseUnused() {}
    // False when the library reports a failed send.
    virtual bool sendRaw(int handle, const uint8_t* data, size_t length) = 0;
    // Waits at most the read time-out for one frame.
    virtual PollResult pollRaw(int handle, std::vector<uint8_t>& frame) = 0;
    // One frame that has already arrived, without waiting.
    virtual PollResult takeRaw(int handle, std::vector<uint8_t>& frame) = 0;
    // Waits at most the read time-out until any of `handles` has a frame waiting: one wait for
    // all of them, so that idle interfaces do not each cost a read time-out. True when one has.
    virtual bool waitAny(const std::vector<int>& handles) = 0;
    // Whether the last open that failed was refused for want of privileges.
    virtual bool permissionDenied() const { return false; }
    // A descriptor that polls readable when `handle` has a frame waiting, or -1 when the
    // backend has none (an in-memory wire).
    virtual int selectableDescriptor(int /*handle*/) const { return -1; }
    // On a capture without promiscuous mode, also receive frames addressed to `address` (the
    // HomePlug 1.0 local device answers a query made in its name to its own address), in place
    // of an address given before; nullopt takes it back. A backend that receives every frame
    // anyway (a promiscuous capture, the in-memory wire) has nothing to do.
    virtual void receiveAlsoAddressedTo(int /*handle*/, const std::optional<Mac>& /*address*/) {}
};

// The backend the frame I/O uses; installing nullptr restores the product's: libpcap in a
// process that may capture, else the capture helper corvel-capture.
CaptureBackend& captureBackend();
void installCaptureBackend(CaptureBackend* backend);

}  // namespace corvel
