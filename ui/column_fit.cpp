// SPDX-License-Identifier: MIT
#include "ui/column_fit.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <algorithm>

namespace corvel::ui {

ColumnFit::ColumnFit(QAbstractItemView* view, QHeaderView* header, bool fillLast)
    : QObject(view), view_(view), header_(header), fillLast_(fillLast) {
    // The header's own stretch would resize the last column behind this class's back.
    header_->setStretchLastSection(false);
    connect(header_, &QHeaderView::sectionResized, this,
            [this](int logical, int, int) { sectionResized(logical); });
    if (QAbstractItemModel* model = view_->model()) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &ColumnFit::scheduleFit);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &ColumnFit::scheduleFit);
        connect(model, &QAbstractItemModel::dataChanged, this, &ColumnFit::scheduleFit);
        connect(model, &QAbstractItemModel::modelReset, this, &ColumnFit::scheduleFit);
        connect(model, &QAbstractItemModel::layoutChanged, this, &ColumnFit::scheduleFit);
        connect(model, &QAbstractItemModel::headerDataChanged, this, &ColumnFit::scheduleFit);
    }
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
}

void ColumnFit::setSample(int logical, const QString& text) {
    samples_.insert(logical, text);
}

void ColumnFit::setUserWidth(int logical, int width) {
    userSized_.insert(logical);
    resizeByProgram(logical, width);
}

int ColumnFit::sampleWidth(const QString& text) const {
    if (text.isEmpty()) return 0;
    // Measured as the list's delegate measures a cell: the style's item size for the text.
    QStyleOptionViewItem option;
    option.initFrom(view_);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    int width =
        view_->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view_).width();
    // A table's grid line takes a pixel of each cell, as its own size hints count it.
    if (const auto* table = qobject_cast<const QTableView*>(view_); table && table->showGrid())
        ++width;
    return width;
}

int ColumnFit::neededWidth(int logical) const {
    return std::max({least_.value(logical), header_->sectionSizeHint(logical),
                     view_->sizeHintForColumn(logical), sampleWidth(samples_.value(logical))});
}

int ColumnFit::lastVisibleSection() const {
    for (int visual = header_->count() - 1; visual >= 0; --visual) {
        const int logical = header_->logicalIndex(visual);
        if (!header_->isSectionHidden(logical)) return logical;
    }
    return -1;
}

void ColumnFit::fit() {
    const int last = fillLast_ ? lastVisibleSection() : -1;
    int others = 0;
    for (int logical = 0; logical < header_->count(); ++logical) {
        if (header_->isSectionHidden(logical) || logical == last) continue;
        if (!userSized(logical)) resizeByProgram(logical, neededWidth(logical));
        others += header_->sectionSize(logical);
    }
    if (last >= 0 && !userSized(last))
        resizeByProgram(last, std::max(neededWidth(last), view_->viewport()->width() - others));
}

void ColumnFit::resizeByProgram(int logical, int width) {
    if (header_->sectionSize(logical) == width) return;
    resizing_ = true;
    header_->resizeSection(logical, width);
    resizing_ = false;
}

// Any resize this class did not make is the user's: the column keeps it from now on.
void ColumnFit::sectionResized(int logical) {
    if (!resizing_) userSized_.insert(logical);
}

void ColumnFit::scheduleFit() {
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            fit();
        },
        Qt::QueuedConnection);
}

bool ColumnFit::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::StyleChange:
            // Other metrics: every width is measured again.
            if (watched == view_) scheduleFit();
            break;
        case QEvent::Resize:
            if (fillLast_ && watched == view_->viewport()) fit();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace corvel::ui
