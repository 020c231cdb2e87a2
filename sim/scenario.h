// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/network.h"

// Scenario files: a JSON description of the ports, their local devices and stations, and the
// faults to play. Every field has a default, so a minimal file is {"ports": [{}]}.
namespace corvel::sim {

// One line naming the field and the problem, e.g.
// "ports[0].stations[1].mac: expected a MAC address like 00:B0:52:00:00:10, got \"zz\"".
class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Network parseScenario(std::string_view json);
// The file's errors start with its path.
Network loadScenario(const std::string& path);

// Every field with its type and default, and a short example (plcsim --help).
std::string scenarioFormatHelp();

// The MAC a device gets when its scenario entry names none: 00:B0:52:5E:<port>:<n>, n = 0 for
// the local device and 1, 2, ... for the stations.
Mac defaultDeviceMac(int port, int index);

}  // namespace corvel::sim
