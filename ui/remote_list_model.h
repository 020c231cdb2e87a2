// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <array>
#include <vector>

#include "store/list_layout.h"


// The main page's remote list: one row per HomePlug AV station seen through the selected
// interface (never the local device itself), kept between refreshes and updated cell by cell.
// Columns by creation number: Device Name, MAC Address, Rate (Mbps) and Quality when the
// preferences show them, Password. Each row keeps the index of its station slot, the key the
// sort reads the tables by.
namespace corvel::ui {

enum class ColumnKind { Name, Mac, Rate, Quality, Password };

struct RemoteListOptions {
    bool showRate = true;
    bool showQuality = true;
    int qualityStyle = 1;
    QColor textColour;
};

// The row text colour of the listTextColour preference: 1 green, 2 blue, 3 red, 4 grey, above 4
// the colour itself as 0x00BBGGRR, otherwise black.
QColor listTextColour(int32_t preference);

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

    ColumnKind kindOf(int column) const { return kinds_[size_t(column)]; }
    int columnOf(ColumnKind kind) const;  // -1 when not shown
    QString cell(int row, ColumnKind kind) const;
    void setCell(int row, ColumnKind kind, const QString& text);
    int slotOf(int row) const { return rows_[size_t(row)].slot; }
    int findRowByMac(const QString& macText) const;

    // Brings the rows in line with the selected interface's station table, then sorts.
    void fillRemoteList();
    void addRemoteRow(int slot);
    void updateRateCells(int row, int slot);
    void removeAll();
    void removeRowByMac(const QString& macText);

    // The sort state, restored from and saved with the database.
    int sortColumn() const { return sortColumn_; }
    int sortFlag() const { return sortFlag_; }
    void setSortState(int column, int flag);
    // A click on the header of column `column`: the same column again reverses the order;
    // another column takes the direction it had remembered, and remembers the other one.
    void headerClicked(int column);
    void sortRows();

Q_SIGNALS:
    void renameRequested(int row, const QString& name);

private:
    struct Row {
        int slot = 0;
        std::array<QString, 5> cells;
    };
    bool lessThan(int slotA, int slotB) const;
    void removeRowAt(int row);

    RemoteListOptions options_;
    std::vector<ColumnKind> kinds_;
    std::vector<Row> rows_;
    int sortColumn_ = 1;
    int sortFlag_ = 1;
    std::array<int, kListColumns> columnSortMemory_{};
};

}  // namespace corvel::ui
