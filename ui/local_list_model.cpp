// SPDX-License-Identifier: MIT
#include "ui/local_list_model.h"

#include "core/tables.h"
#include "platform/mac.h"

namespace corvel::ui {
namespace {

constexpr int kColumns = 2;

}  // namespace

LocalListModel::LocalListModel(QObject* parent) : QAbstractTableModel(parent) {}

int LocalListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int LocalListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant LocalListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) return {};
    const Row& row = rows_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return index.column() == 0 ? row.kind : row.mac;
    case Qt::DecorationRole: return index.column() == 0 ? QVariant(icon_) : QVariant();
    case Qt::ForegroundRole: return textColour_.isValid() ? QVariant(textColour_) : QVariant();
    default: return {};
    }
}

QVariant LocalListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    return section == 0 ? QStringLiteral("Device Type") : QStringLiteral("MAC Address");
}

Qt::ItemFlags LocalListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

void LocalListModel::fillLocalList(const QIcon& icon) {
    beginResetModel();
    icon_ = icon;
    rows_.clear();
    for (int i = 0; i < kMaxInterfaces; ++i) {
        const AdapterRecord& a = core.adapters[i];
        if (!a.localPresent || !macIsSet(a.localMac)) continue;
        rows_.push_back(Row{.kind = QString::fromLocal8Bit(localKindName(i)),
                            .mac = QString::fromStdString(formatMac(a.localMac))});
    }
    endResetModel();
}

void LocalListModel::setTextColour(const QColor& colour) {
    if (colour == textColour_) return;
    textColour_ = colour;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1), {Qt::ForegroundRole});
}

void LocalListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

}  // namespace corvel::ui
