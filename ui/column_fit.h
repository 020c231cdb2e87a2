// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class QAbstractItemView;
class QHeaderView;

// A list's columns as wide as what they show, measured with the list's own font and style: each
// column is made as wide as its header, its cells and the sample texts it must hold before any
// row shows them, and no narrower than the width it was created with, so that no header or cell
// is cut short. A column whose width the user set
// (dragged, or restored from what the user dragged) keeps that width. With `fillLast` the last
// column also takes the room left in the list, as a report view's last column does.
namespace corvel::ui {

class ColumnFit : public QObject {
    Q_OBJECT
public:
    ColumnFit(QAbstractItemView* view, QHeaderView* header, bool fillLast = false);

    // A text column `logical` holds even while no row shows it (a MAC address, a placeholder).
    void setSample(int logical, const QString& text);
    // The least width of `logical`, however little it shows (the width it is created with).
    void setLeastWidth(int logical, int width) { least_.insert(logical, width); }
    // Sizes every column the user has not sized. Run after the rows were filled; changes of the
    // model, the font or the style are fitted on their own, once the event loop comes round.
    void fit();

    bool userSized(int logical) const { return userSized_.contains(logical); }
    // A width the user chose earlier (kept in the database): the column keeps it.
    void setUserWidth(int logical, int width);
    // The column is fitted again from now on.
    void clearUserWidth(int logical) { userSized_.remove(logical); }

    // The width `logical` needs for its header, samples and cells.
    int neededWidth(int logical) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleFit();
    void sectionResized(int logical);
    int sampleWidth(const QString& text) const;
    int lastVisibleSection() const;
    void resizeByProgram(int logical, int width);

    QAbstractItemView* view_;
    QHeaderView* header_;
    bool fillLast_;
    QHash<int, QString> samples_;
    QHash<int, int> least_;
    QSet<int> userSized_;
    bool resizing_ = false;
    bool scheduled_ = false;
};

}  // namespace corvel::ui
