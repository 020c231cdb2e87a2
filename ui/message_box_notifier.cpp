// SPDX-License-Identifier: MIT
#include "ui/message_box_notifier.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>

#include "ui/operation_runner.h"

namespace corvel::ui {
namespace {

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok: return QMessageBox::Ok;
    case Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// Closing the box through the window frame or Escape counts as the refusing answer of its set.
Button answer(int clicked, Buttons buttons) {
    switch (clicked) {
    case QMessageBox::Ok: return Button::Ok;
    case QMessageBox::Yes: return Button::Yes;
    case QMessageBox::No: return Button::No;
    case QMessageBox::Cancel: return Button::Cancel;
    default: break;
    }
    return buttons == Buttons::YesNo ? Button::No : Button::Cancel;
}

}  // namespace

// An operation's worker asks through the GUI thread. While the operation runs its window is
// disabled, and a box owned by it would be disabled too: the box is then application-modal
// without an owner.
Button MessageBoxNotifier::notify(const std::string& title, const std::string& text, Icon icon,
                                  Buttons buttons) {
    Button pressed = Button::Ok;
    runOnGuiThread([&] {
        QWidget* owner = parent_ != nullptr && parent_->isEnabled() ? parent_ : nullptr;
        QMessageBox box(boxIcon(icon), QString::fromStdString(title),
                        QString::fromStdString(text), boxButtons(buttons), owner);
        box.setWindowModality(Qt::ApplicationModal);
        box.setAccessibleName(QString::fromStdString(title));
        box.setAccessibleDescription(QString::fromStdString(text));
        pressed = answer(box.exec(), buttons);
    });
    return pressed;
}

}  // namespace corvel::ui
