// SPDX-License-Identifier: MIT
#pragma once

#include <QStyledItemDelegate>

// Renaming in place: the scan is paused while the name cell is edited, so that no refresh
// rebuilds the row under the editor, and the state found is restored when the editor closes,
// whether the edit was taken or cancelled.
namespace corvel::ui {

class RenameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

private:
    mutable bool scanWasOn_ = false;
};

}  // namespace corvel::ui
