// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
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

// scripts/netns --capture CAPTURE SCENARIO -- COMMAND...; COMMAND runs in the host namespace,
// and `beside` (a shell command line, when given) in the simulator's while it runs.
CommandResult runInNamespaces(const std::string& scenario, const std::string& capture,
                              const std::vector<std::string>& command,
                              const std::string& beside = "");

// COMMAND as it is, without namespaces or a wire: for what a program refuses before it captures.
CommandResult runCommand(const std::vector<std::string>& command);

// One line per captured frame with the requested tshark fields, tab-separated.
std::vector<std::string> dissect(const std::string& capture, const std::vector<std::string>& fields,
                                 const std::string& displayFilter = "");

// A test on the namespaced wire: skipped without root, and given a scratch directory of its own
// (named after the process and the case, made empty first, removed afterwards) holding the
// device list's directory and the capture of the wire.
class NamespacedTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveRoot()) GTEST_SKIP() << "network namespaces need root";
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');  // a parameterised case's name
        dir = std::filesystem::temp_directory_path() /
              ("corvel-e2e-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(dir);
        dataDir = dir / "data";
        std::filesystem::create_directories(dataDir);
        capture = (dir / "wire.pcap").string();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    std::filesystem::path dir;
    std::filesystem::path dataDir;
    std::string capture;
};

}  // namespace corvel::e2e
