// SPDX-License-Identifier: MIT
#include "platform/notifier.h"

#include <iostream>

#include "platform/process_state.h"

namespace corvel {

namespace {
Button acceptButton(Buttons buttons) {
    return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Button::Ok : Button::Yes;
}
Button declineButton(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok: return Button::Ok;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel: return Button::Cancel;
        case Buttons::YesNo: return Button::No;
    }
    return Button::Cancel;
}
}  // namespace

namespace {
bool informationShown = true;

const RegisteredReset informationShownReset{[] { informationShown = true; }};
}  // namespace

void StreamNotifier::showInformation(bool shown) { informationShown = shown; }

Button StreamNotifier::notify(const std::string& title, const std::string& text, Icon icon,
                              Buttons buttons) {
    if (icon != Icon::Information || informationShown) {
        out_ << title << ": " << text << '\n';
        out_.flush();
    }
    return confirm_ ? acceptButton(buttons) : declineButton(buttons);
}

Button RecordingNotifier::notify(const std::string& title, const std::string& text, Icon icon,
                                 Buttons buttons) {
    messages.push_back({title, text, icon, buttons});
    if (answers.empty()) return acceptButton(buttons);
    Button answer = answers.front();
    answers.pop_front();
    return answer;
}

namespace {
StreamNotifier defaultNotifier(std::cerr, false);
Notifier* installedNotifier = &defaultNotifier;
}  // namespace

Notifier& notifier() { return *installedNotifier; }
void installNotifier(Notifier* n) { installedNotifier = n ? n : &defaultNotifier; }

}  // namespace corvel
