// SPDX-License-Identifier: MIT
#include "platform/notifier.h"

#include <iostream>
#include <utility>

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
    Message message{title, text, icon, buttons};
    if (shown_ != nullptr) {
        message.id = shown_->id;
        message.details = shown_->details;
        shown_ = nullptr;
    }
    messages.push_back(std::move(message));
    if (answers.empty()) return acceptButton(buttons);
    Button answer = answers.front();
    answers.pop_front();
    return answer;
}

namespace {
StreamNotifier defaultNotifier(std::cerr, false);
Notifier* installedNotifier = &defaultNotifier;
}  // namespace

Button RecordingNotifier::show(const Notice& notice) {
    // Through notify(), which a recorder derived from this one may extend.
    shown_ = &notice;
    const Button answer = notify(notice.title, notice.text, notice.icon, notice.buttons);
    shown_ = nullptr;
    return answer;
}

Notifier& notifier() { return *installedNotifier; }
void installNotifier(Notifier* n) { installedNotifier = n ? n : &defaultNotifier; }

}  // namespace corvel
