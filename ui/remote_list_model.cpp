// SPDX-License-Identifier: MIT
#include "ui/remote_list_model.h"

#include <algorithm>
#include <string>

#include "core/tables.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "scan/quality_text.h"

namespace corvel::ui {
namespace {

constexpr const char* kTitles[] = {"Device Name", "MAC Address", "Rate (Mbps)", "Quality",
                                   "Password"};

const StationRecord& stationAt(int slot) {
    return currentStationTable().stations[slot];
}

const DeviceRecord* recordOf(int slot) {
    const int k = findDeviceByMac(stationAt(slot).mac);
    return k > 0 ? &core.devices[k - 1] : nullptr;
}

// The text a column sorts by: the device record's name and password (not the cells, which show
// a vendor name or a placeholder for a station without one), the MAC, the quality text.
std::string sortText(ColumnKind kind, int slot, int style) {
    const DeviceRecord* record = recordOf(slot);
    const StationRecord& station = stationAt(slot);
    switch (kind) {
    case ColumnKind::Name: return record != nullptr ? stringOf(record->name) : std::string();
    case ColumnKind::Mac: return formatMac(station.mac);
    case ColumnKind::Quality:
        return qualityText(style, station.rate.currentRate, station.stationKind);
    case ColumnKind::Password: return record != nullptr ? stringOf(record->password) : "";
    case ColumnKind::Rate: break;
    }
    return {};
}

}  // namespace

QColor listTextColour(int32_t preference) {
    switch (preference) {
    case 1: return QColor(0, 128, 0);
    case 2: return QColor(0, 0, 255);
    case 3: return QColor(255, 0, 0);
    case 4: return QColor(96, 96, 96);
    default: break;
    }
    if (preference <= 0) return QColor(0, 0, 0);
    return QColor(preference & 0xFF, (preference >> 8) & 0xFF, (preference >> 16) & 0xFF);
}

QualityCell qualityCell(int32_t style, double rate, StationKind stationKind) {
    QualityCell cell;
    cell.text = QString::fromStdString(qualityText(style, rate, stationKind));
    cell.scale = qualityScale(style, rate, stationKind);
    const bool symbols = style != 1 && style != 2 && style != 5 && style != 6;
    cell.spoken =
        symbols ? QString::fromStdString(qualityLevel(rate, stationKind).text) : cell.text;
    return cell;
}

RemoteListModel::RemoteListModel(RemoteListOptions options, QObject* parent)
    : QAbstractTableModel(parent), options_(options), textColour_(options.textColour) {
    kinds_.push_back(ColumnKind::Name);
    kinds_.push_back(ColumnKind::Mac);
    if (options_.showRate) kinds_.push_back(ColumnKind::Rate);
    if (options_.showQuality) kinds_.push_back(ColumnKind::Quality);
    kinds_.push_back(ColumnKind::Password);
}

int RemoteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int RemoteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(kinds_.size());
}

QVariant RemoteListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[size_t(index.row())];
    const bool quality = kindOf(index.column()) == ColumnKind::Quality;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return cell(index.row(), kindOf(index.column()));
    case Qt::AccessibleTextRole:
        return quality && !row.qualitySpoken.isEmpty() ? row.qualitySpoken
                                                       : cell(index.row(), kindOf(index.column()));
    case Qt::ToolTipRole: return quality ? QVariant(row.qualitySpoken) : QVariant();
    case Qt::ForegroundRole: return textColour_.isValid() ? QVariant(textColour_) : QVariant();
    case kQualityScaleRole:
        return quality && row.quality.maximum > 0 ? QVariant::fromValue(row.quality) : QVariant();
    default: return {};
    }
}

QVariant RemoteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    return QString::fromLatin1(kTitles[int(kindOf(section))]);
}

Qt::ItemFlags RemoteListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && kindOf(index.column()) == ColumnKind::Name) flags |= Qt::ItemIsEditable;
    return flags;
}

bool RemoteListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || kindOf(index.column()) != ColumnKind::Name)
        return false;
    Q_EMIT renameRequested(index.row(), value.toString());
    return true;
}

int RemoteListModel::columnOf(ColumnKind kind) const {
    const auto found = std::find(kinds_.begin(), kinds_.end(), kind);
    return found == kinds_.end() ? -1 : int(found - kinds_.begin());
}

QString RemoteListModel::cell(int row, ColumnKind kind) const {
    return rows_[size_t(row)].cells[size_t(kind)];
}

void RemoteListModel::setCell(int row, ColumnKind kind, const QString& text) {
    rows_[size_t(row)].cells[size_t(kind)] = text;
    const int column = columnOf(kind);
    if (column >= 0) Q_EMIT dataChanged(index(row, column), index(row, column));
}

void RemoteListModel::setQualityCell(int row, const QualityCell& quality) {
    Row& r = rows_[size_t(row)];
    r.quality = quality.scale;
    r.qualitySpoken = quality.spoken;
    setCell(row, ColumnKind::Quality, quality.text);
}

void RemoteListModel::followSlots() {
    const StationTable& table = currentStationTable();
    for (Row& row : rows_) {
        const std::string mac = row.cells[size_t(ColumnKind::Mac)].toStdString();
        for (int slot = 0; slot < kStationsPerTable; ++slot) {
            if (macIsSet(table.stations[slot].mac) && formatMac(table.stations[slot].mac) == mac) {
                row.slot = slot;
                break;
            }
        }
    }
}

void RemoteListModel::setTextColour(const QColor& colour) {
    if (colour == textColour_) return;
    textColour_ = colour;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                           {Qt::ForegroundRole});
}

int RemoteListModel::findRowByMac(const QString& macText) const {
    for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].cells[size_t(ColumnKind::Mac)] == macText) return int(row);
    return -1;
}

int RemoteListModel::appendRow(int slot, const QString& name, const QString& macText,
                               const QString& password) {
    Row row;
    row.slot = slot;
    row.cells[size_t(ColumnKind::Name)] = name;
    row.cells[size_t(ColumnKind::Mac)] = macText;
    row.cells[size_t(ColumnKind::Password)] = password;
    const int at = rowCount();
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
    return at;
}

void RemoteListModel::removeRowAt(int row) {
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void RemoteListModel::removeRowByMac(const QString& macText) {
    if (const int row = findRowByMac(macText); row >= 0) removeRowAt(row);
}

void RemoteListModel::removeAll() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

// The rate's order is the reverse of the texts' for the same flag: the flag set shows text
// columns from A and the rate from the highest.
Qt::SortOrder RemoteListModel::orderOf(int column, int flag) const {
    const bool rate = hasColumn(column) && kindOf(column) == ColumnKind::Rate;
    return (flag != 0) != rate ? Qt::AscendingOrder : Qt::DescendingOrder;
}

void RemoteListModel::headerClicked(int column) {
    if (column < 0 || column >= kListColumns) return;
    int flag = 0;
    if (column == sortColumn_) {
        flag = !sortFlag_;
    } else {
        flag = columnSortMemory_[size_t(column)];
        columnSortMemory_[size_t(column)] = !columnSortMemory_[size_t(column)];
    }
    sort(column, orderOf(column, flag));
}

void RemoteListModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortFlag_ = orderOf(column, 1) == order ? 1 : 0;
    if (!hasColumn(column)) return;
    followSlots();
    const ColumnKind kind = kindOf(column);
    const bool ascending = order == Qt::AscendingOrder;
    auto before = [&](const Row& first, const Row& second) {
        if (kind == ColumnKind::Rate) {
            const double a = stationAt(first.slot).rate.currentRate;
            const double b = stationAt(second.slot).rate.currentRate;
            return ascending ? a < b : b < a;
        }
        const std::string a = sortText(kind, first.slot, options_.qualityStyle);
        const std::string b = sortText(kind, second.slot, options_.qualityStyle);
        return ascending ? a < b : b < a;
    };

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<int> oldRows(rows_.size());
    for (size_t i = 0; i < oldRows.size(); ++i) oldRows[i] = int(i);
    std::stable_sort(oldRows.begin(), oldRows.end(),
                     [&](int a, int b) { return before(rows_[size_t(a)], rows_[size_t(b)]); });
    std::vector<Row> sorted;
    std::vector<int> newRowOf(rows_.size());
    for (size_t i = 0; i < oldRows.size(); ++i) {
        newRowOf[size_t(oldRows[i])] = int(i);
        sorted.push_back(std::move(rows_[size_t(oldRows[i])]));
    }
    rows_ = std::move(sorted);
    QModelIndexList moved;
    for (const QModelIndex& old : persistent)
        moved.push_back(index(newRowOf[size_t(old.row())], old.column()));
    changePersistentIndexList(persistent, moved);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace corvel::ui
