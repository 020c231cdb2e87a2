// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "cli/context.h"
#include "platform/notifier.h"

// The command line's notifier: the messages of the shared layers in the words of a terminal.
// The desktop program's boxes carry titles ("Attention!", "Invalid Entry") and buttons to click;
// here a failure or a warning is one line on standard error behind "corvel: ", what only informs
// is a plain line there (left out with -q), and a question is asked y/N on the terminal
// (cli/confirm.h). Messages the commands report in their own result lines are not repeated.
namespace corvel {

class TerminalNotifier : public Notifier {
public:
    explicit TerminalNotifier(CliContext& context) : context_(context) {}

    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override;
    Button show(const Notice& notice) override;

private:
    Button ask(const std::string& question, Buttons buttons);
    CliContext& context_;
};

// What the terminal shows for `notice` ("" for nothing), without the "corvel: " prefix.
std::string terminalWords(const Notice& notice);

// `text` in single quotes as a terminal shows it (platform/text.h displayText); with
// `asciiOnly` every byte outside printable ASCII written as \xNN, for a text that may hold
// nothing else, so that the culprit shows.
std::string quotedText(std::string_view text, bool asciiOnly = false);

}  // namespace corvel
