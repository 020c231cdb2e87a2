// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/capture_service.h"
#include "capture/confinement.h"
#include "capture/serve.h"
#include "transport/pcap_backend.h"

int main(int argc, char** argv) {
    std::string error;
    if (!corvel::capture::confine(error)) {
        std::fprintf(stderr, "corvel-capture: %s\n", error.c_str());
        return 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("corvel-capture %s\n", CORVEL_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("Usage: corvel-capture\n"
                    "The capture helper of corvel and corvel-utility: they start it with a socket "
                    "pair as its standard input\nwhen they lack the capture capabilities. It is "
                    "not run by hand.\n");
        return 0;
    }
    if (argc > 1 || !corvel::capture::isSeqpacketSocket(0)) {
        std::fprintf(stderr, "corvel-capture: started by corvel and corvel-utility with a socket "
                             "pair; not run by hand (see corvel-capture(8))\n");
        return 2;
    }
    // What is addressed to this host only: a caller must not see what other hosts exchange
    // with the powerline devices.
    corvel::PcapBackend backend(corvel::PcapBackend::Mode::AddressedToHost);
    corvel::capture::CaptureService service(backend);
    return corvel::capture::serveCaller(0, service, backend);
}
