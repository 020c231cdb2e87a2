// SPDX-License-Identifier: MIT
// plcsim's scenario reader: any text is a network or a ScenarioError, never an abort.
#include <cstdint>
#include <string_view>

#include "sim/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        corvel::sim::parseScenario(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const corvel::sim::ScenarioError&) {
    }
    return 0;
}
