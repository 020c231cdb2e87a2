// SPDX-License-Identifier: MIT
#include "ui/remote_list_refresh.h"

#include <cstdio>
#include <string>

#include "core/tables.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "store/vendor_list.h"
#include "ui/remote_list_model.h"

namespace corvel::ui {
namespace {

constexpr char kNoPassword[] = "--- not entered ---";

QString rateText(double rate) {
    if (rate == 0) return QStringLiteral("?");
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", rate);
    return QString::fromLatin1(text);
}

// The station's rate and quality into the row's cells, when its rate changed since they were
// written. Without a Rate column the change stays flagged, and the quality is written again at
// every refresh.
void updateRateCells(RemoteListModel& model, int row, StationRecord& station) {
    station.kindChanged = 0;
    if (!station.rate.rateChanged) return;
    const RemoteListOptions& options = model.options();
    if (options.showRate) {
        model.setCell(row, ColumnKind::Rate, rateText(station.rate.currentRate));
        station.rate.rateChanged = 0;
    }
    if (options.showQuality)
        model.setQualityCell(
            row, qualityCell(options.qualityStyle, station.rate.currentRate, station.stationKind));
}

void addRemoteRow(RemoteListModel& model, int slot, StationRecord& station) {
    const int k = findDeviceByMac(station.mac);
    const DeviceRecord* record = k > 0 ? &core.devices[k - 1] : nullptr;
    QString name;
    if (record != nullptr) {
        name = QString::fromStdString(stringOf(record->name));
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%s %s %hd", vendorName(station.mac).c_str(), "Device",
                      int16_t(model.rowCount() + 1));
        name = QString::fromStdString(text);
    }
    // A device whose password nobody entered shows the placeholder, with or without a record.
    const std::string password = record != nullptr ? stringOf(record->password) : "";
    const int row = model.appendRow(
        slot, name, QString::fromStdString(formatMac(station.mac)),
        password.empty() ? QString::fromLatin1(kNoPassword) : QString::fromStdString(password));
    station.rate.rateChanged = 1;
    updateRateCells(model, row, station);
}

}  // namespace

void fillRemoteList(RemoteListModel& model) {
    if (!currentAdapterRecord().localPresent) return;
    StationTable& table = currentStationTable();
    for (int slot = 0; slot < kStationsPerTable; ++slot) {
        StationRecord& station = table.stations[slot];
        if (!macIsSet(station.mac)) continue;
        const bool listed = station.present && station.stationKind >= kKindAv;
        const int row = model.findRowByMac(QString::fromStdString(formatMac(station.mac)));
        if (row >= 0 && listed) {
            updateRateCells(model, row, station);
        } else if (row >= 0) {
            model.removeRowAt(row);
        } else if (listed && !macEqual(station.mac, currentAdapterRecord().localMac)) {
            addRemoteRow(model, slot, station);
        }
    }
    model.resort();
}

}  // namespace corvel::ui
