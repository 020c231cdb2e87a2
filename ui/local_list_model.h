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

// The local list's own text colour, chosen for a light background.
inline const QColor kLocalListColour{17, 0, 136};

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
    // The colour the rows' text is drawn in (ForegroundRole); invalid for the view's own.
    void setTextColour(const QColor& colour);

private:
    struct Row {
        QString kind;
        QString mac;
    };
    std::vector<Row> rows_;
    QIcon icon_;
    QColor textColour_ = kLocalListColour;
};

}  // namespace corvel::ui
