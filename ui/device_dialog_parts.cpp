// SPDX-License-Identifier: MIT
#include "ui/device_dialog_parts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "keys/rules.h"

namespace corvel::ui {

QLineEdit* makePasswordBox(QWidget* parent, const QString& text) {
    auto* box = new QLineEdit(parent);
    box->setMaxLength(static_cast<int>(kDevicePasswordLength));
    box->setAccessibleName(QStringLiteral("Password:"));
    box->setText(text);
    box->selectAll();
    return box;
}

QLabel* makeLiveLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    setLiveText(label, text);
    return label;
}

void setLiveText(QLabel* label, const QString& text) {
    label->setText(text);
    // An empty progress line still needs a name a screen reader can announce.
    label->setAccessibleName(text.isEmpty() ? QStringLiteral("Progress") : text);
}

QDialogButtonBox* makeOkCancel(QWidget* parent) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, parent);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    return buttons;
}

}  // namespace corvel::ui
