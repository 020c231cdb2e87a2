// SPDX-License-Identifier: MIT
#include "cli/password_prompt.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>

namespace corvel {

namespace {

// In place of the password: read it as one line of standard input.
constexpr char kPasswordFromInput[] = "-";

volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void noteSignal(int number) {
    caughtSignal = number;
}

// What would otherwise end or stop the program while the terminal does not echo: each is caught,
// the terminal restored, and the signal raised again.
constexpr std::array kPromptSignals = {SIGALRM, SIGHUP,  SIGINT,  SIGPIPE, SIGQUIT,
                                       SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU};

bool stopsTheProgram(int number) {
    return number == SIGTSTP || number == SIGTTIN || number == SIGTTOU;
}

// Installs noteSignal for the prompt's signals and keeps them blocked but while waiting for a
// key (waitMask), so that one arriving at any moment ends the wait, and none slips in between
// looking for it and starting to wait. Puts the earlier handlers and mask back when it goes;
// a signal that came in meanwhile then reaches the earlier handler.
class PromptSignals {
public:
    PromptSignals() {
        caughtSignal = 0;
        sigset_t prompt;
        sigemptyset(&prompt);
        for (int number : kPromptSignals) sigaddset(&prompt, number);
        ::pthread_sigmask(SIG_BLOCK, &prompt, &waitMask_);
        struct sigaction catcher {};
        catcher.sa_handler = noteSignal;
        sigemptyset(&catcher.sa_mask);
        for (size_t i = 0; i < kPromptSignals.size(); ++i)
            ::sigaction(kPromptSignals[i], &catcher, &previous_[i]);
    }
    ~PromptSignals() {
        for (size_t i = 0; i < kPromptSignals.size(); ++i)
            ::sigaction(kPromptSignals[i], &previous_[i], nullptr);
        ::pthread_sigmask(SIG_SETMASK, &waitMask_, nullptr);
    }
    PromptSignals(const PromptSignals&) = delete;
    PromptSignals& operator=(const PromptSignals&) = delete;

    const sigset_t* waitMask() const { return &waitMask_; }

private:
    sigset_t waitMask_{};
    std::array<struct sigaction, kPromptSignals.size()> previous_{};
};

void writeText(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(size_t(n));
    }
}

enum class LineEnd { line, failed, interrupted };

// Reads byte by byte, so that nothing after the line is taken from a pipe another reader shares.
// With `waitMask`, each byte is waited for with those signals let through.
LineEnd readLine(int fd, std::string& line, const sigset_t* waitMask = nullptr) {
    line.clear();
    for (;;) {
        if (waitMask != nullptr) {
            pollfd ready{fd, POLLIN, 0};
            const int n = ::ppoll(&ready, 1, nullptr, waitMask);
            if (n < 0 && errno == EINTR) {
                if (caughtSignal != 0) return LineEnd::interrupted;
                continue;
            }
            if (n < 0) return LineEnd::failed;
        }
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LineEnd::failed;
        if (n == 0 || c == '\n') break;
        if (line.size() < kSecretLineLimit) line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return LineEnd::line;
}

}  // namespace

std::optional<std::string> readSecretFromTerminal(int fd, const std::string& prompt,
                                                  std::string& error) {
    for (;;) {
        termios saved{};
        if (::tcgetattr(fd, &saved) != 0) {
            error = std::string("no terminal to ask for the password on: ") + std::strerror(errno);
            return std::nullopt;
        }
        std::string line;
        LineEnd end = LineEnd::failed;
        int readError = 0;
        {
            PromptSignals signals;
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO | ECHONL);
            if (::tcsetattr(fd, TCSAFLUSH, &quiet) != 0) {
                error = std::string("the terminal's echo could not be turned off: ") +
                        std::strerror(errno);
                return std::nullopt;
            }
            writeText(fd, prompt);
            end = readLine(fd, line, signals.waitMask());
            readError = errno;
            ::tcsetattr(fd, TCSAFLUSH, &saved);
            // The line end typed was not echoed either.
            writeText(fd, "\n");
        }
        const int signal = caughtSignal;
        if (signal == 0 && end == LineEnd::line) return line;
        if (signal == 0) {
            error = std::string("the password could not be read: ") + std::strerror(readError);
            return std::nullopt;
        }
        // With the terminal as it was and the earlier handler back, the signal does what it
        // would have done: end the program, or stop it until it is resumed.
        ::raise(signal);
        if (stopsTheProgram(signal)) continue;
        error = "the password was not entered: interrupted";
        return std::nullopt;
    }
}

std::optional<std::string> readSecretLine(int fd, std::string& error) {
    std::string line;
    if (readLine(fd, line) == LineEnd::line) return line;
    error = std::string("the password could not be read: ") + std::strerror(errno);
    return std::nullopt;
}

CLI::Option* addPasswordArgument(CLI::App& command, std::string& password) {
    return command.add_option(
        "password", password,
        "the device password; - reads it from standard input; without it, it is asked for");
}

bool passwordKeptOutOfSight(bool given, const std::string& text) {
    return !given || text == kPasswordFromInput;
}

std::optional<std::string> passwordOf(bool given, const std::string& text,
                                      const std::string& prompt, CliContext& context) {
    if (!passwordKeptOutOfSight(given, text)) return text;
    std::string error;
    std::optional<std::string> password;
    if (given && !::isatty(STDIN_FILENO)) {
        password = readSecretLine(STDIN_FILENO, error);
    } else if (given) {
        password = readSecretFromTerminal(STDIN_FILENO, prompt, error);
    } else {
        const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminal < 0) {
            context.fail(1, "no password given and no terminal to ask for it on (give - to read "
                            "it from standard input)");
            return std::nullopt;
        }
        password = readSecretFromTerminal(terminal, prompt, error);
        ::close(terminal);
    }
    if (!password) {
        context.fail(1, error);
        return std::nullopt;
    }
    if (password->empty()) {
        context.fail(1, "no password was entered; nothing was checked");
        return std::nullopt;
    }
    return password;
}

}  // namespace corvel
