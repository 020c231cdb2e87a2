// SPDX-License-Identifier: MIT
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "keys/derive.h"
#include "sim/pcap_server.h"
#include "sim/scenario.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

// PORTNAME=IFNAME moves the port whose interface the scenario calls PORTNAME; a bare IFNAME
// moves the next port in scenario order. False with `error` for a port the scenario lacks.
bool applyInterfaceOverrides(corvel::sim::Network& network,
                             const std::vector<std::string>& overrides, std::string& error) {
    std::vector<std::string> original;
    for (size_t i = 0; i < network.portCount(); ++i)
        original.push_back(network.port(int(i)).interfaceName);
    size_t nextBare = 0;
    for (const std::string& text : overrides) {
        const size_t equals = text.find('=');
        size_t port = 0;
        std::string name;
        if (equals == std::string::npos) {
            port = nextBare++;
            name = text;
            if (port >= original.size()) {
                error = "--interface " + text + ": the scenario has only " +
                        std::to_string(original.size()) + " port(s)";
                return false;
            }
        } else {
            const std::string from = text.substr(0, equals);
            name = text.substr(equals + 1);
            port = original.size();
            for (size_t i = 0; i < original.size(); ++i)
                if (original[i] == from) port = i;
            if (port == original.size()) {
                error = "--interface " + text + ": the scenario has no port on " + from;
                return false;
            }
        }
        if (name.empty()) {
            error = "--interface " + text + ": no interface name";
            return false;
        }
        network.port(int(port)).interfaceName = name;
    }
    return true;
}

void showDevice(const char* role, const corvel::sim::Device& d) {
    const bool av = d.family() == corvel::sim::Family::Av;
    std::printf("  %-8s %s  %-12s  password %s  %s %s\n", role, corvel::formatMac(d.mac()).c_str(),
                std::string(corvel::sim::familyName(d.family())).c_str(), d.password().c_str(),
                av ? "NMK" : "NEK",
                av ? corvel::keyHex(d.nmk().data(), 16).c_str()
                   : corvel::keyHex(d.nek().data(), 8).c_str());
}

void showNetwork(const corvel::sim::Network& network) {
    for (size_t i = 0; i < network.portCount(); ++i) {
        const corvel::sim::Port& port = network.port(int(i));
        std::printf("%s\n", port.interfaceName.c_str());
        if (port.local) showDevice("local", *port.local);
        for (const auto& station : port.stations) showDevice("station", *station);
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"plcsim: plays the powerline adapters of a scenario on network interfaces."};
    std::vector<std::string> overrides;
    std::string scenarioPath;
    bool show = false;
    app.add_option("--interface", overrides,
                   "Serve a port on another interface: PORTNAME=IFNAME for the port whose "
                   "scenario interface is PORTNAME, or IFNAME alone for the next port in order. "
                   "Repeatable.")
        ->type_name("PORTNAME=IFNAME")
        ->allow_extra_args(false);
    app.add_flag("--show", show,
                 "Print the devices (MAC, family, password, network key) and exit without "
                 "opening any interface.");
    app.add_option("scenario", scenarioPath, "Scenario file (JSON, format below).")->required();
    app.footer("\n" + corvel::sim::scenarioFormatHelp());
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "plcsim: %s\nTry 'plcsim --help' for more information.\n", e.what());
        return 2;
    }

    corvel::sim::Network network;
    try {
        network = corvel::sim::loadScenario(scenarioPath);
    } catch (const corvel::sim::ScenarioError& e) {
        std::fprintf(stderr, "plcsim: %s\n", e.what());
        return 2;
    }
    std::string error;
    if (!applyInterfaceOverrides(network, overrides, error)) {
        std::fprintf(stderr, "plcsim: %s\n", error.c_str());
        return 2;
    }
    if (show) {
        showNetwork(network);
        return 0;
    }

    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the server's poll() returns at once and sees the request.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    corvel::sim::PcapServer server(network);
    if (!server.open(error)) {
        std::fprintf(stderr, "plcsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("plcsim: serving %s\n", corvel::sim::PcapServer::describe(network).c_str());
    std::fflush(stdout);
    if (!server.run(stopRequested, error)) {
        std::fprintf(stderr, "plcsim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
