// SPDX-License-Identifier: MIT
#include "ui/quality_meter_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>

#include "ui/remote_list_model.h"

namespace corvel::ui {
namespace {

const QStyle* styleOf(const QStyleOptionViewItem& option) {
    return option.widget != nullptr ? option.widget->style() : QApplication::style();
}

// The room between the cell's edge and the bar: the same as between a cell's edge and its text.
int cellMargin(const QStyleOptionViewItem& option) {
    return styleOf(option)->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
}

}  // namespace

QualityMeterDelegate::QualityMeterDelegate(int qualityStyle, QObject* parent)
    : QStyledItemDelegate(parent), style_(qualityStyle) {}

bool QualityMeterDelegate::showsText(int qualityStyle) {
    return qualityStyle == 1 || qualityStyle == 2 || qualityStyle == 5 || qualityStyle == 6;
}

void QualityMeterDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QString text = cell.text;
    // The cell's background, selection and focus as every other cell has them, without the text.
    cell.text.clear();
    const QStyle* style = styleOf(option);
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);

    const QVariant value = index.data(kQualityScaleRole);
    if (!value.canConvert<QualityScale>()) return;  // no rate measured yet
    const auto scale = value.value<QualityScale>();
    if (scale.maximum <= 0) return;
    QStyleOptionProgressBar bar;
    bar.state = (option.state & QStyle::State_Enabled) | QStyle::State_Horizontal;
    bar.direction = option.direction;
    bar.palette = option.palette;
    bar.fontMetrics = option.fontMetrics;
    const int margin = cellMargin(option);
    bar.rect = option.rect.adjusted(margin, 1, -margin, -1);
    bar.minimum = 0;
    bar.maximum = scale.maximum;
    bar.progress = std::clamp(scale.value, 0, scale.maximum);
    bar.text = text;
    bar.textVisible = showsText(style_) && !text.isEmpty();
    bar.textAlignment = Qt::AlignCenter;
    painter->save();
    if (bar.progress > 0) {
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
    } else {
        // Empty: the groove and the text alone (some styles mark even an empty bar's start).
        style->drawControl(QStyle::CE_ProgressBarGroove, &bar, painter, option.widget);
        if (bar.textVisible)
            style->drawControl(QStyle::CE_ProgressBarLabel, &bar, painter, option.widget);
    }
    painter->restore();
}

QSize QualityMeterDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QFontMetrics& metrics = cell.fontMetrics;
    int textWidth = std::max(metrics.horizontalAdvance(QStringLiteral("-offline -")),
                             metrics.horizontalAdvance(QStringLiteral("Excellent")));
    if (showsText(style_)) textWidth = std::max(textWidth, metrics.horizontalAdvance(cell.text));
    // The bar's frame and a character's room either side of its text.
    const int width = textWidth + 2 * metrics.averageCharWidth() + 2 * cellMargin(option);
    const int height =
        std::max(QStyledItemDelegate::sizeHint(option, index).height(), metrics.height() + 4);
    return {width, height};
}

}  // namespace corvel::ui
