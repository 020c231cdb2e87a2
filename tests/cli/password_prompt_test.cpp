// SPDX-License-Identifier: MIT
#include "cli/password_prompt.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>

namespace corvel {
namespace {

// A pseudo-terminal: the program reads and writes `terminal`; the test types and reads the
// screen on `keyboard`.
class PromptOnTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::openpty(&keyboard, &terminal, nullptr, nullptr, nullptr), 0);
    }
    void TearDown() override {
        ::close(keyboard);
        ::close(terminal);
    }

    // Everything the terminal showed until `token` appears (or two seconds pass).
    std::string screenUntil(const std::string& token) {
        for (int waited = 0; screen.find(token) == std::string::npos && waited < 200; ++waited) {
            pollfd ready{keyboard, POLLIN, 0};
            if (::poll(&ready, 1, 10) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(keyboard, buffer, sizeof buffer);
            if (n > 0) screen.append(buffer, size_t(n));
        }
        return screen;
    }
    void type(const std::string& keys) {
        ASSERT_EQ(::write(keyboard, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    bool echoes() {
        termios now{};
        EXPECT_EQ(::tcgetattr(terminal, &now), 0);
        return (now.c_lflag & ECHO) != 0;
    }

    int keyboard = -1;
    int terminal = -1;
    std::string screen;
};

TEST_F(PromptOnTerminal, ReadsOneLineWithoutEchoAndRestoresTheTerminal) {
    ASSERT_TRUE(echoes());
    struct Case {
        const char* typed;
        const char* read;
    } cases[] = {
        {"hz4n-qk8v-mb2r-xt6c\n", "hz4n-qk8v-mb2r-xt6c"},
        {"with carriage return\r\n", "with carriage return"},
        {"\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        screen.clear();
        std::thread person([&] {
            screenUntil("Password: ");
            type(c.typed);
        });
        std::string error;
        const auto line = readSecretFromTerminal(terminal, "Password: ", error);
        person.join();
        ASSERT_TRUE(line.has_value()) << error;
        EXPECT_EQ(*line, c.read);
        EXPECT_TRUE(echoes());
        // The prompt and the line end the program writes itself; never what was typed.
        EXPECT_EQ(screenUntil("Password: \r\n"), "Password: \r\n");
    }
}

TEST_F(PromptOnTerminal, EndOfInputIsAnEmptyLine) {
    std::thread person([&] {
        screenUntil("Password: ");
        type("\x04");  // Ctrl-D at the start of a line
    });
    std::string error;
    const auto line = readSecretFromTerminal(terminal, "Password: ", error);
    person.join();
    ASSERT_TRUE(line.has_value()) << error;
    EXPECT_EQ(*line, "");
    EXPECT_TRUE(echoes());
}

std::atomic<int> interruptsSeen{0};
extern "C" void countInterrupt(int) {
    ++interruptsSeen;
}

// Ctrl-C at the prompt: the terminal echoes again before the interrupt takes its course, here
// the handler the program had before the prompt, which sees it once.
TEST_F(PromptOnTerminal, AnInterruptRestoresTheTerminalAndReachesTheEarlierHandler) {
    struct sigaction counting {};
    struct sigaction previous {};
    counting.sa_handler = countInterrupt;
    sigemptyset(&counting.sa_mask);
    ASSERT_EQ(::sigaction(SIGINT, &counting, &previous), 0);
    interruptsSeen = 0;
    const pthread_t reader = ::pthread_self();
    std::thread person([&] {
        screenUntil("Password: ");
        type("half a pass");
        ::pthread_kill(reader, SIGINT);
    });
    std::string error;
    const auto line = readSecretFromTerminal(terminal, "Password: ", error);
    person.join();
    ::sigaction(SIGINT, &previous, nullptr);
    EXPECT_FALSE(line.has_value());
    EXPECT_EQ(error, "the password was not entered: interrupted");
    EXPECT_EQ(interruptsSeen, 1);
    EXPECT_TRUE(echoes());
    EXPECT_EQ(screenUntil("\r\n").find("half"), std::string::npos);
}

TEST(PromptWithoutTerminal, IsRefusedWithAReason) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::string error;
    EXPECT_FALSE(readSecretFromTerminal(pipeEnds[0], "Password: ", error).has_value());
    EXPECT_EQ(error.rfind("no terminal to ask for the password on", 0), 0u) << error;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

// A script's line: only the first line is taken, without its line end; a long line is cut.
TEST(SecretLine, TakesTheFirstLineOfAPipe) {
    struct Case {
        std::string input;
        std::string line;
        std::string left;  // still in the pipe for the next reader
    } cases[] = {
        {"QWER-TYUI-ASDF-GHJK\nnext\n", "QWER-TYUI-ASDF-GHJK", "next\n"},
        {"crlf\r\n", "crlf", ""},
        {"no line end", "no line end", ""},
        {"", "", ""},
        {"\n\n", "", "\n"},
        {std::string(kSecretLineLimit + 10, 'x') + "\nrest", std::string(kSecretLineLimit, 'x'),
         "rest"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        ASSERT_EQ(::write(pipeEnds[1], c.input.data(), c.input.size()), ssize_t(c.input.size()));
        ::close(pipeEnds[1]);
        std::string error;
        const auto line = readSecretLine(pipeEnds[0], error);
        ASSERT_TRUE(line.has_value()) << error;
        EXPECT_EQ(*line, c.line);
        std::string left(c.input.size() + 1, '\0');
        const ssize_t n = ::read(pipeEnds[0], left.data(), left.size());
        left.resize(size_t(std::max<ssize_t>(n, 0)));
        EXPECT_EQ(left, c.left);
        ::close(pipeEnds[0]);
    }
}

}  // namespace
}  // namespace corvel
