// SPDX-License-Identifier: MIT
#include "ui/rename_delegate.h"

#include <QLineEdit>

#include "core/tables.h"

namespace corvel::ui {

// The text is read with room for 80 characters; the name rules cut it further.
constexpr int kEditedNameRoom = 79;

QWidget* RenameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setMaxLength(kEditedNameRoom);
        line->setAccessibleName(QStringLiteral("Device Name"));
    }
    scanWasOn_ = setAutoscan(false);
    return editor;
}

void RenameDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    QStyledItemDelegate::destroyEditor(editor, index);
    setAutoscan(scanWasOn_);
}

}  // namespace corvel::ui
