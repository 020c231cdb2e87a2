// SPDX-License-Identifier: MIT
#include "cli/confirm.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace corvel {

namespace {

// One line of standard input, read byte by byte so that nothing after it is taken from a
// caller who reads on. Empty at the end of input.
std::string readAnswerLine() {
    std::string line;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') return line;
        if (line.size() < 64) line += c;
    }
}

bool isYes(std::string answer) {
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
        answer.pop_back();
    for (char& c : answer) c = char(std::tolower(static_cast<unsigned char>(c)));
    return answer == "y" || answer == "yes";
}

}  // namespace

bool canAsk() {
    return ::isatty(STDIN_FILENO) != 0;
}

Consent askConsent(CliContext& context, const std::string& question) {
    if (context.yes) return Consent::Given;
    if (!canAsk()) return Consent::NoTerminal;
    context.err << "corvel: " << question << " [y/N] " << std::flush;
    const std::string answer = readAnswerLine();
    return isYes(answer) ? Consent::Given : Consent::Refused;
}

void refuseWithoutTerminal(CliContext& context, const std::string& action) {
    context.fail(1, action + " needs confirmation and there is no terminal to ask on: add --yes "
                             "to confirm it; nothing was changed");
}

bool confirmed(CliContext& context, const std::string& question, const std::string& action) {
    switch (askConsent(context, question)) {
        case Consent::Given:
            return true;
        case Consent::Refused:
            context.fail(1, action + " was not confirmed; nothing was changed");
            return false;
        case Consent::NoTerminal:
            refuseWithoutTerminal(context, action);
            return false;
    }
    return false;
}

}  // namespace corvel
