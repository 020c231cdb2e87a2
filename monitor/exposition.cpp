// SPDX-License-Identifier: MIT
#include "monitor/exposition.h"

#include <arpa/inet.h>

#include <charconv>
#include <stdexcept>
#include <vector>

namespace corvel {

namespace {

constexpr char kListenUsage[] = "expected ADDRESS:PORT, as 127.0.0.1:9647 or [::1]:9647";

// The embedded server gives each connection a worker until its request has come whole. A
// client that connects and then sends nothing, or a byte now and then, holds its worker until
// the read time-out: with two workers and the server's 30 s, two idle connections of any local
// user kept every scrape out. With 64 workers and 2 s for a whole request, 200 such clients
// reconnecting without pause hold a scrape back at most 200 / 64 x 2 s, well within
// Prometheus' 10 s scrape time-out; a scrape itself sends its request at once.
constexpr char kWorkers[] = "64";
constexpr char kRequestTimeoutMs[] = "2000";

bool isAddress(int family, const std::string& host) {
    unsigned char bytes[16];
    return ::inet_pton(family, host.c_str(), bytes) == 1;
}

}  // namespace

std::string ListenAddress::text() const {
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        error = "\"" + std::string(text) + "\": " + kListenUsage;
        return std::nullopt;
    }
    ListenAddress address;
    std::string_view host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            error = "\"" + std::string(text) + "\": " + kListenUsage;
            return std::nullopt;
        }
        host = host.substr(1, host.size() - 2);
        address.ipv6 = true;
    }
    address.host = std::string(host);
    if (!isAddress(address.ipv6 ? AF_INET6 : AF_INET, address.host)) {
        error = "\"" + address.host + "\" is not a numeric IP" + (address.ipv6 ? "v6" : "v4") +
                " address (" + kListenUsage + ")";
        return std::nullopt;
    }
    const std::string_view port = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, problem] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || problem != std::errc{} || end != port.data() + port.size() || value == 0 ||
        value > 65535) {
        error = "\"" + std::string(port) + "\" is not a port from 1 to 65535";
        return std::nullopt;
    }
    address.port = uint16_t(value);
    return address;
}

MetricsExposition::MetricsExposition(const ListenAddress& address,
                                     std::shared_ptr<prometheus::Registry> registry) {
    try {
        exposer_ = std::make_unique<prometheus::Exposer>(std::vector<std::string>{
            "listening_ports", address.text(), "num_threads", kWorkers, "request_timeout_ms",
            kRequestTimeoutMs});
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot listen on " + address.text() +
                                 " (the address is not this host's, or the port is taken): " +
                                 e.what());
    }
    exposer_->RegisterCollectable(registry, "/metrics");
}

uint16_t MetricsExposition::port() const {
    const std::vector<int> ports = exposer_->GetListeningPorts();
    return ports.empty() ? 0 : uint16_t(ports.front());
}

}  // namespace corvel
