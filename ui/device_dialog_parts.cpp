// SPDX-License-Identifier: MIT
#include "ui/device_dialog_parts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

QDialogButtonBox* layOutDeviceDialog(QDialog* dialog, const QString& firstLabel,
                                     QWidget* firstField, QLineEdit* password, QLabel* progress) {
    auto* form = new QFormLayout;
    form->addRow(firstLabel, firstField);
    form->addRow(QStringLiteral("Password:"), password);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addWidget(makeLiveLabel(dialog, QString::fromUtf8(kPasswordHelpText)));
    layout->addWidget(progress);
    auto* buttons = makeOkCancel(dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace corvel::ui
