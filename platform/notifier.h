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

// What a message is about, whatever its words. The desktop program shows every message with the
// title and text it comes with; a front end that speaks to a terminal words the messages it
// knows by this, from the facts in Notice::details, and shows the rest (Other) as they come.
// The facts each message carries are listed beside it.
enum class MessageId {
    Other,
    // Input refused before anything is sent.
    DevicePasswordFormat,   // -
    PasswordNotEntered,     // - (the placeholder was given)
    NetworkNameInvalid,     // the name
    DeviceNameEmpty,        // -
    DeviceNameTaken,        // the name
    DeviceNameTooLong,      // the name
    PasswordAlreadyListed,  // -
    NoDeviceSelected,       // -
    OldTurboFirmware,       // what was to be done ("add the device", "Enter Password")
    // Questions.
    ConfirmSetAllDevices,   // the network name
    ConfirmDeleteDevice,    // the device's MAC text
    ConfirmUpgrade,         // the local device's family ("HomePlug AV Device", ...)
    ConfirmUpgradeCancel,   // -
    // Outcomes a command line reports in its own result lines.
    LocalNetworkSet,        // the network name
    AllDevicesSet,          // -
    SomeDevicesNotSet,      // -
    DeviceAdded,            // -
    PasswordVerified,       // -
    UpgradeDone,            // -
    // Failures.
    AdapterNotDetected,     // -
    LocalKeyNotSet,         // -
    LocalKeyUnread,         // -
    NoDeviceTookKey,        // -
    DeviceNotSingledOut,    // -
    DeviceNotFound,         // - (no device with the password answered)
    PasswordRefused,        // -
    UnexpectedFailure,      // what failed ("the scan", "setting the local key", ...)
    UpgradeFileUnreadable,  // the file's role ("firmware image", ...), its path, the reason
    UpgradeFileRefused,     // the file's role, its path, the reason
    UpgradeFailed,          // the step that failed, as the text says it
};

// One message: its identity and facts, and the desktop program's words for it.
struct Notice {
    MessageId id = MessageId::Other;
    std::string title;
    std::string text;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    std::vector<std::string> details = {};
};

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual Button notify(const std::string& title, const std::string& text, Icon icon,
                          Buttons buttons) = 0;
    // A message with its identity: shown with its title and text unless a notifier words it
    // itself.
    virtual Button show(const Notice& notice) {
        return notify(notice.title, notice.text, notice.icon, notice.buttons);
    }
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
        MessageId id = MessageId::Other;
        std::vector<std::string> details = {};
    };

    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override;
    Button show(const Notice& notice) override;

    std::vector<Message> messages;
    std::deque<Button> answers;

private:
    // The message show() is passing to notify(), whose identity it records.
    const Notice* shown_ = nullptr;
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
