// SPDX-License-Identifier: MIT
#include "tests/e2e/netns_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvel::e2e {

namespace {

std::string quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

CommandResult runShell(const std::string& commandLine) {
    const std::string errPath =
        (std::filesystem::temp_directory_path() / ("corvel-e2e-err-" + std::to_string(::getpid())))
            .string();
    CommandResult result;
    FILE* pipe = ::popen((commandLine + " 2>" + quote(errPath)).c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.err = readFile(errPath);
    std::filesystem::remove(errPath);
    return result;
}

}  // namespace

bool haveRoot() { return ::geteuid() == 0; }

std::string sourcePath(const std::string& relative) {
    return std::string(CORVEL_SOURCE_DIR) + "/" + relative;
}

std::string binaryPath(const std::string& relative) {
    return std::string(CORVEL_BINARY_DIR) + "/" + relative;
}

CommandResult runInNamespaces(const std::string& scenario, const std::string& capture,
                              const std::vector<std::string>& command, const std::string& beside) {
    std::string line = quote(sourcePath("scripts/netns")) + " --plcsim " +
                       quote(binaryPath("app/plcsim"));
    if (!capture.empty()) line += " --capture " + quote(capture);
    if (!beside.empty()) line += " --beside " + quote(beside);
    line += " " + quote(scenario) + " --";
    for (const std::string& word : command) line += " " + quote(word);
    return runShell(line);
}

CommandResult runCommand(const std::vector<std::string>& command) {
    std::string line;
    for (const std::string& word : command) line += (line.empty() ? "" : " ") + quote(word);
    return runShell(line);
}

std::vector<std::string> dissect(const std::string& capture, const std::vector<std::string>& fields,
                                 const std::string& displayFilter) {
    std::string line = "tshark -r " + quote(capture) + " -T fields";
    for (const std::string& field : fields) line += " -e " + quote(field);
    if (!displayFilter.empty()) line += " -Y " + quote(displayFilter);
    const CommandResult result = runShell(line);
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string l; std::getline(in, l);)
        if (!l.empty()) lines.push_back(l);
    return lines;
}

}  // namespace corvel::e2e
