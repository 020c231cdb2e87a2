// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "capture/capture_service.h"
#include "transport/capture_backend.h"

namespace corvel::capture {

// Serves the caller at the other end of `socket` (a SOCK_SEQPACKET socket pair) until it closes
// its end. Each turn is one poll over the socket and every open capture's descriptor, with no
// time-out: requests are answered and captured frames relayed as soon as they are there. A
// frame the socket has no room for waits, and the captures with it, until the caller reads.
// Captures without a descriptor (the in-memory wire of the tests) are looked at every
// millisecond. Returns the exit status: 0 when the caller closed, 1 on a socket failure.
int serveCaller(int socket, CaptureService& service, CaptureBackend& backend);

// Whether `fd` is one end of a Unix SOCK_SEQPACKET socket pair, as the caller must hand over.
bool isSeqpacketSocket(int fd);

}  // namespace corvel::capture
