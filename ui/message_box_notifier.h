// SPDX-License-Identifier: MIT
#pragma once

#include "platform/notifier.h"

class QWidget;

namespace corvel::ui {

// Shows each message as a modal QMessageBox over the property sheet. Called only on the GUI
// thread: a worker that needs to tell the user something hands the message back first.
class MessageBoxNotifier : public Notifier {
public:
    explicit MessageBoxNotifier(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override;

private:
    QWidget* parent_;
};

}  // namespace corvel::ui
