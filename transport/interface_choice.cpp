// SPDX-License-Identifier: MIT
#include "transport/interface_choice.h"

#include <algorithm>

#include "platform/process_state.h"

namespace corvel {

namespace {
std::vector<std::string> chosen;

const RegisteredReset interfaceChoiceReset{[] { chosen.clear(); }};
}  // namespace

void setInterfaceChoice(std::vector<std::string> names) { chosen = std::move(names); }

const std::vector<std::string>& interfaceChoice() { return chosen; }

bool applyInterfaceChoice(std::vector<HostInterface>& listed, std::string& error) {
    if (chosen.empty()) return true;
    for (const std::string& name : chosen) {
        const bool found = std::any_of(listed.begin(), listed.end(),
                                       [&](const HostInterface& host) { return host.name == name; });
        if (!found) {
            error = "no Ethernet interface named " + name;
            return false;
        }
    }
    std::erase_if(listed, [](const HostInterface& host) {
        return std::find(chosen.begin(), chosen.end(), host.name) == chosen.end();
    });
    return true;
}

}  // namespace corvel
