// SPDX-License-Identifier: MIT
#include "ui/remote_list_refresh.h"

#include <string>
#include <string_view>

#include "core/tables.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "scan/quality_text.h"
#include "scan/station_texts.h"
#include "ui/remote_list_model.h"

namespace corvel::ui {
namespace {

// The station's rate and quality into the row's cells, when its rate changed since they were
// written. Without a Rate column the change stays flagged, and the quality is written again at
// every refresh.
void updateRateCells(RemoteListModel& model, int row, StationRecord& station) {
    station.kindChanged = 0;
    if (!station.rate.rateChanged) return;
    const RemoteListOptions& options = model.options();
    if (options.showRate) {
        model.setCell(row, ColumnKind::Rate,
                      QString::fromStdString(rateText(station.rate.currentRate)));
        station.rate.rateChanged = 0;
    }
    if (options.showQuality)
        model.setQualityCell(
            row, qualityCell(options.qualityStyle, station.rate.currentRate, station.stationKind));
}

void addRemoteRow(RemoteListModel& model, int slot, StationRecord& station) {
    const int k = findDeviceByMac(station.mac);
    const DeviceRecord* record = k > 0 ? &core.devices[k - 1] : nullptr;
    const int number = model.rowCount() + 1;
    const std::string name =
        record != nullptr ? stringOf(record->name) : vendorDeviceName(station.mac, number);
    // A device whose password nobody entered shows the placeholder, with or without a record.
    const std::string_view password = record != nullptr ? textOf(record->password) : "";
    const int row = model.appendRow(slot, QString::fromStdString(name),
                                    QString::fromStdString(formatMac(station.mac)),
                                    QString::fromStdString(passwordText(password)));
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
        const bool listed = station.present && isAvStation(station.stationKind);
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
