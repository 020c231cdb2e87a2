// SPDX-License-Identifier: MIT
#pragma once

#include <prometheus/exposer.h>
#include <prometheus/registry.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The metrics served over HTTP at /metrics in the Prometheus text format, by prometheus-cpp's
// embedded server, on one address and port.
namespace corvel {

// The port corvel monitor listens on when its system service runs: free in the Prometheus
// exporters' range, and bound to the loopback address unless the administrator says otherwise.
inline constexpr uint16_t kDefaultMetricsPort = 9647;

struct ListenAddress {
    std::string host;  // an IPv4 address, or an IPv6 address without its brackets
    uint16_t port = 0;
    bool ipv6 = false;
    // "127.0.0.1:9647", "[::1]:9647": as the user wrote it and as the server takes it.
    std::string text() const;
};

// "ADDRESS:PORT" with a numeric IPv4 address or a bracketed IPv6 one and a port 1..65535;
// nullopt, with the reason in `error`, for anything else (a host name is not looked up: the
// service must not depend on the resolver to decide where it listens).
std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error);

class MetricsExposition {
public:
    // Starts listening; throws std::runtime_error saying which address could not be bound.
    MetricsExposition(const ListenAddress& address, std::shared_ptr<prometheus::Registry> registry);
    // The port bound.
    uint16_t port() const;

private:
    std::unique_ptr<prometheus::Exposer> exposer_;
};

}  // namespace corvel
