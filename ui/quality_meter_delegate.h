// SPDX-License-Identifier: MIT
#pragma once

#include <QStyledItemDelegate>

// The Quality column drawn as a meter in the style's own progress bar and the palette's colours,
// rather than as text glyphs: the word and percentage styles carry their text on the bar
// ("Very Good", "40-60%", "75%"), the symbol styles (rings, bars) are the bar alone. The cell's
// text, and the word a screen reader reads, stay in the model (RemoteListModel).
namespace corvel::ui {

class QualityMeterDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit QualityMeterDelegate(int qualityStyle, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // As wide as the bar's widest text ("-offline -", "Excellent") or the cell's own text,
    // whichever is wider, so that the column keeps one width as the quality changes.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Whether the qualityStyle preference's texts are written on the bar: the word scales
    // (1, 2), the ranges (5) and the percentage (6); not the rings (3) and bars (4, 0).
    static bool showsText(int qualityStyle);

private:
    int style_;
};

}  // namespace corvel::ui
