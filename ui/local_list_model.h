// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QString>

#include <vector>

// The main page's local-device list: one row per host interface whose local device is present
// and known by its MAC, in interface order, with the columns Device Type and MAC Address. The
// rows are rebuilt from the adapter records, never edited in place.
namespace corvel::ui {

class LocalListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit LocalListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The rows of the adapter records as they are now; `icon` marks each row's device type.
    void fillLocalList(const QIcon& icon);
    void clear();

private:
    struct Row {
        QString kind;
        QString mac;
    };
    std::vector<Row> rows_;
    QIcon icon_;
};

}  // namespace corvel::ui
