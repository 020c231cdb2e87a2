// SPDX-License-Identifier: MIT
#include "ui/firmware_file_choice.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvel::ui {

QString chooseFirmwareFile(QWidget* owner, const FirmwareFileKind& kind) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // An upgrade reads the file: it must exist.
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromLatin1(kind.filter));
    dialog.setDefaultSuffix(QString::fromLatin1(kind.defaultSuffix));
    dialog.setOption(QFileDialog::ReadOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QLineEdit* addFirmwareFileRow(QGridLayout* grid, int row, const QString& label,
                              const QString& browseText, const FirmwareFileKind& kind,
                              const FirmwareFileChooser& chooser) {
    QWidget* owner = grid->parentWidget();
    auto* box = new QLineEdit(owner);
    box->setAccessibleName(label);
    auto* browse = new QPushButton(browseText, owner);
    browse->setAccessibleName(browseText + QLatin1Char(' ') + label);
    grid->addWidget(new QLabel(label, owner), row, 0);
    grid->addWidget(box, row, 1);
    grid->addWidget(browse, row, 2);
    QObject::connect(browse, &QPushButton::clicked, box, [box, owner, kind, chooser] {
        const QString path = chooser ? chooser(owner, kind) : chooseFirmwareFile(owner, kind);
        if (!path.isEmpty()) box->setText(path);
    });
    return box;
}

}  // namespace corvel::ui
