// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

// Runs the utility against plcsim on a wire that exists only inside two network namespaces made
// for the run (scripts/netns), and reads what went over it with tshark.
namespace corvel::e2e {

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

bool haveRoot();
std::string sourcePath(const std::string& relative);
std::string binaryPath(const std::string& relative);

// scripts/netns --capture CAPTURE SCENARIO -- COMMAND...; COMMAND runs in the host namespace.
CommandResult runInNamespaces(const std::string& scenario, const std::string& capture,
                              const std::vector<std::string>& command);

// One line per captured frame with the requested tshark fields, tab-separated.
std::vector<std::string> dissect(const std::string& capture, const std::vector<std::string>& fields,
                                 const std::string& displayFilter = "");

}  // namespace corvel::e2e
