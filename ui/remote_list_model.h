// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <array>
#include <vector>

#include "scan/quality_text.h"
#include "store/list_layout.h"

Q_DECLARE_METATYPE(corvel::QualityScale)

// The main page's remote list: one row per HomePlug AV station seen through the selected
// interface (never the local device itself), kept between refreshes and updated cell by cell.
// Columns by creation number: Device Name, MAC Address, Rate (Mbps) and Quality when the
// preferences show them, Password. Each row keeps the index of its station slot, the key the
// sort reads the tables by. The model only reads the tables: the refresh that fills it
// (remote_list_refresh.h) consumes the stations' change flags.
namespace corvel::ui {

enum class ColumnKind { Name, Mac, Rate, Quality, Password };

// The Quality cell's place on its scale (a QualityScale), which the meter draws; none before the
// station's rate was written.
inline constexpr int kQualityScaleRole = Qt::UserRole + 1;

struct RemoteListOptions {
    bool showRate = true;
    bool showQuality = true;
    int qualityStyle = 1;
    QColor textColour;  // the listTextColour preference's colour
};

// The row text colour of the listTextColour preference: 1 green, 2 blue, 3 red, 4 grey, above 4
// the colour itself as 0x00BBGGRR, otherwise black.
QColor listTextColour(int32_t preference);

// What the Quality cell of a station shows: the style's text, its place on the scale for the
// meter, and what a screen reader says: the text, or for the symbol styles (rings and bars),
// whose text is no word, the word scale's ("Excellent", "offline").
struct QualityCell {
    QString text;
    QualityScale scale{0, 0};
    QString spoken;
};
QualityCell qualityCell(int32_t style, double rate, StationKind stationKind);

class RemoteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RemoteListModel(RemoteListOptions options, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edit of the name cell asks the page for the rename; the page writes the cell back.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // Sorts by what column `column` stands for: the device's name or password (not the cells,
    // which show a vendor name or a placeholder for a station without a record), the MAC, the
    // quality text, all as byte strings, or the current rate. Ascending puts the smaller text or
    // the lower rate first. A column this list does not have is kept as the sort state and
    // leaves the rows as they are.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const RemoteListOptions& options() const { return options_; }
    ColumnKind kindOf(int column) const { return kinds_[size_t(column)]; }
    int columnOf(ColumnKind kind) const;  // -1 when not shown
    QString cell(int row, ColumnKind kind) const;
    void setCell(int row, ColumnKind kind, const QString& text);
    void setQualityCell(int row, const QualityCell& quality);
    int slotOf(int row) const { return rows_[size_t(row)].slot; }
    // Each row's station slot found again by its MAC in the current station table: a removed
    // station moves the later ones down a slot, and the rows must sort by their own stations.
    void followSlots();
    // The colour the rows' text is drawn in (ForegroundRole); invalid for the view's own.
    void setTextColour(const QColor& colour);
    int findRowByMac(const QString& macText) const;

    // A row at the end for the station in `slot`; the rate and quality cells start empty.
    // Returns its row number.
    int appendRow(int slot, const QString& name, const QString& macText, const QString& password);
    void removeRowAt(int row);
    void removeRowByMac(const QString& macText);
    void removeAll();

    // The sort state as the database keeps it: the column's creation number and sortFlag. The
    // flag set means ascending text (A first) but the highest rate first.
    int sortColumn() const { return sortColumn_; }
    int sortFlag() const { return sortFlag_; }
    Qt::SortOrder orderOf(int column, int flag) const;
    // Sorts again by the sort state, as after the rows changed.
    void resort() { sort(sortColumn_, orderOf(sortColumn_, sortFlag_)); }
    // A click on the header of column `column`: the same column again reverses the order;
    // another column takes the direction it had remembered, and remembers the other one.
    void headerClicked(int column);

Q_SIGNALS:
    void renameRequested(int row, const QString& name);

private:
    struct Row {
        int slot = 0;
        std::array<QString, 5> cells;
        QualityScale quality{0, 0};
        QString qualitySpoken;
    };
    bool hasColumn(int column) const { return column >= 0 && column < columnCount(); }

    RemoteListOptions options_;
    QColor textColour_;
    std::vector<ColumnKind> kinds_;
    std::vector<Row> rows_;
    int sortColumn_ = 1;
    int sortFlag_ = 1;
    std::array<int, kListColumns> columnSortMemory_{};
};

}  // namespace corvel::ui
