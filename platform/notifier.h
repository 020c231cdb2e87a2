// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

// Every message the user must see goes through the installed Notifier: the GUI shows a modal
// box, the command line prints "title: text" to standard error, tests record and answer.
namespace corvel {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Button { Ok, Cancel, Yes, No };

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual Button notify(const std::string& title, const std::string& text, Icon icon,
                          Buttons buttons) = 0;
};

// Prints "title: text" to a stream. Questions are answered by `confirm`: Yes/Ok when it is set,
// otherwise No/Cancel, so that nothing is done without the user's consent.
class StreamNotifier : public Notifier {
public:
    StreamNotifier(std::ostream& out, bool confirm) : out_(out), confirm_(confirm) {}
    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override;
    // Whether messages that only inform (Icon::Information) are printed; a quiet command line
    // keeps warnings, errors and questions. Process-wide.
    static void showInformation(bool shown);

private:
    std::ostream& out_;
    bool confirm_;
};

// Keeps every message and answers from a script of buttons; with the script empty, each message
// gets the first button of its set (Ok or Yes).
class RecordingNotifier : public Notifier {
public:
    struct Message {
        std::string title;
        std::string text;
        Icon icon;
        Buttons buttons;
    };

    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override;

    std::vector<Message> messages;
    std::deque<Button> answers;
};

// The notifier every message uses; installing nullptr restores the default, a StreamNotifier on
// standard error that declines questions.
Notifier& notifier();
void installNotifier(Notifier* notifier);

class ScopedNotifier {
public:
    explicit ScopedNotifier(Notifier& n) { installNotifier(&n); }
    ~ScopedNotifier() { installNotifier(nullptr); }
    ScopedNotifier(const ScopedNotifier&) = delete;
    ScopedNotifier& operator=(const ScopedNotifier&) = delete;
};

}  // namespace corvel
