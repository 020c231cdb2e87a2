// SPDX-License-Identifier: MIT
#include "ui/remote_list_model.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/tables.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "scan/quality_text.h"
#include "store/vendor_list.h"

namespace corvel::ui {
namespace {

constexpr const char* kTitles[] = {"Device Name", "MAC Address", "Rate (Mbps)", "Quality",
                                   "Password"};
constexpr char kNoPassword[] = "--- not entered ---";

QString rateText(double rate) {
    if (rate == 0) return QStringLiteral("?");
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", rate);
    return QString::fromLatin1(text);
}

const StationRecord& stationAt(int slot) {
    return currentStationTable().stations[slot];
}

const DeviceRecord* recordOf(int slot) {
    const int k = findDeviceByMac(stationAt(slot).mac);
    return k > 0 ? &core.devices[k - 1] : nullptr;
}

std::string qualityOf(int slot, int style) {
    const StationRecord& station = stationAt(slot);
    return qualityText(style, station.rate.currentRate, station.stationKind);
}

// The text a column sorts by: the device record's name and password (not the cells, which show
// a vendor name or a placeholder for a station without one), the MAC, the quality text.
std::string sortText(ColumnKind kind, int slot, int style) {
    const DeviceRecord* record = recordOf(slot);
    switch (kind) {
    case ColumnKind::Name: return record != nullptr ? stringOf(record->name) : std::string();
    case ColumnKind::Mac: return formatMac(stationAt(slot).mac);
    case ColumnKind::Quality: return qualityOf(slot, style);
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

RemoteListModel::RemoteListModel(RemoteListOptions options, QObject* parent)
    : QAbstractTableModel(parent), options_(options) {
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
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole: return cell(index.row(), kindOf(index.column()));
    case Qt::ForegroundRole: return options_.textColour;
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

int RemoteListModel::findRowByMac(const QString& macText) const {
    for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].cells[size_t(ColumnKind::Mac)] == macText) return int(row);
    return -1;
}

void RemoteListModel::fillRemoteList() {
    if (!currentAdapterRecord().localPresent) return;
    const StationTable& table = currentStationTable();
    for (int slot = 0; slot < kStationsPerTable; ++slot) {
        const StationRecord& station = table.stations[slot];
        if (!macIsSet(station.mac)) continue;
        const bool listed = station.present && station.stationKind >= kKindAv;
        const int row = findRowByMac(QString::fromStdString(formatMac(station.mac)));
        if (row >= 0 && listed) {
            updateRateCells(row, slot);
        } else if (row >= 0) {
            removeRowAt(row);
        } else if (listed && !macEqual(station.mac, currentAdapterRecord().localMac)) {
            addRemoteRow(slot);
        }
    }
    sortRows();
}

void RemoteListModel::addRemoteRow(int slot) {
    StationRecord& station = currentStationTable().stations[slot];
    const DeviceRecord* record = recordOf(slot);
    Row row{.slot = slot, .cells = {}};
    if (record != nullptr) {
        row.cells[size_t(ColumnKind::Name)] = QString::fromStdString(stringOf(record->name));
    } else {
        char name[64];
        std::snprintf(name, sizeof name, "%s %s %hd", vendorName(station.mac).c_str(), "Device",
                      int16_t(rows_.size() + 1));
        row.cells[size_t(ColumnKind::Name)] = QString::fromStdString(name);
    }
    row.cells[size_t(ColumnKind::Mac)] = QString::fromStdString(formatMac(station.mac));
    // A device whose password nobody entered shows the placeholder, with or without a record.
    const std::string password = record != nullptr ? stringOf(record->password) : "";
    row.cells[size_t(ColumnKind::Password)] =
        password.empty() ? QString::fromLatin1(kNoPassword) : QString::fromStdString(password);
    const int at = rowCount();
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
    station.rate.rateChanged = 1;
    updateRateCells(at, slot);
}

void RemoteListModel::updateRateCells(int row, int slot) {
    StationRecord& station = currentStationTable().stations[slot];
    station.kindChanged = 0;
    if (!station.rate.rateChanged) return;
    if (options_.showRate) {
        setCell(row, ColumnKind::Rate, rateText(station.rate.currentRate));
        station.rate.rateChanged = 0;
    }
    if (options_.showQuality)
        setCell(row, ColumnKind::Quality,
                QString::fromStdString(qualityOf(slot, options_.qualityStyle)));
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

void RemoteListModel::setSortState(int column, int flag) {
    sortColumn_ = column;
    sortFlag_ = flag;
}

void RemoteListModel::headerClicked(int column) {
    if (column < 0 || column >= kListColumns) return;
    if (column == sortColumn_) {
        sortFlag_ = !sortFlag_;
    } else {
        sortColumn_ = column;
        sortFlag_ = columnSortMemory_[size_t(column)];
        columnSortMemory_[size_t(column)] = !columnSortMemory_[size_t(column)];
    }
    sortRows();
}

// Text columns: ascending with the flag set, descending with it clear. The rate: the higher rate
// first with the flag set, the lower first with it clear.
bool RemoteListModel::lessThan(int slotA, int slotB) const {
    const ColumnKind kind = kindOf(sortColumn_);
    if (kind == ColumnKind::Rate) {
        const double a = stationAt(slotA).rate.currentRate;
        const double b = stationAt(slotB).rate.currentRate;
        return sortFlag_ ? a > b : a < b;
    }
    const std::string a = sortText(kind, slotA, options_.qualityStyle);
    const std::string b = sortText(kind, slotB, options_.qualityStyle);
    return sortFlag_ ? a < b : b < a;
}

void RemoteListModel::sortRows() {
    if (sortColumn_ < 0 || sortColumn_ >= columnCount()) return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> order(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return lessThan(rows_[a].slot, rows_[b].slot); });
    std::vector<Row> sorted;
    std::vector<int> newRowOf(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[size_t(order[i])] = int(i);
        sorted.push_back(std::move(rows_[size_t(order[i])]));
    }
    rows_ = std::move(sorted);
    QModelIndexList after;
    for (const QModelIndex& old : before)
        after.push_back(index(newRowOf[size_t(old.row())], old.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace corvel::ui
