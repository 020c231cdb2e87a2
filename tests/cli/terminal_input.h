// SPDX-License-Identifier: MIT
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

// Standard input is a pseudo-terminal for the scope of a test, with `typed` already typed on it:
// what a person at the keyboard answers to a question. corvel() (cli_run.h) otherwise keeps a
// developer's own terminal out of the runs.
namespace corvel::test {

class TerminalInput {
public:
    explicit TerminalInput(const std::string& typed) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(::grantpt(master_), 0);
        EXPECT_EQ(::unlockpt(master_), 0);
        const int terminal = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
        EXPECT_GE(terminal, 0);
        saved_ = ::dup(STDIN_FILENO);
        ::dup2(terminal, STDIN_FILENO);
        ::close(terminal);
        EXPECT_EQ(::write(master_, typed.data(), typed.size()), ssize_t(typed.size()));
        active() = true;
    }
    ~TerminalInput() {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
        ::close(master_);
        active() = false;
    }
    TerminalInput(const TerminalInput&) = delete;
    TerminalInput& operator=(const TerminalInput&) = delete;

    static bool& active() {
        static bool installed = false;
        return installed;
    }

private:
    int master_ = -1;
    int saved_ = -1;
};

}  // namespace corvel::test
