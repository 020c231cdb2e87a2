// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>

#include "platform/mac.h"

class QComboBox;
class QLabel;
class QPushButton;

// The station view: one station of the Main page's list in a window of its own, with its name,
// MAC address, vendor, firmware and family; its PHY rates in both directions and their history
// as a chart; and, for a HomePlug AV station, the counters of the local device's link to it and
// its tone map as a chart, each read again with a button. The link exchanges run through the
// operation runner, with the sheet (and this window, its child) disabled meanwhile. A HomePlug
// 1.0 or Turbo station has no such counters or tone maps: the view says so instead.
namespace corvel::ui {

class LinkStatsTable;
class RateChart;
class ToneMapChart;

class StationView : public QDialog {
    Q_OBJECT
public:
    // `sheet`: the property sheet, the window's parent, disabled while an exchange runs.
    StationView(const Mac& station, QWidget* sheet);

    const Mac& station() const { return station_; }
    // The details, rates and history as the tables and the rate history have them now. GUI
    // thread, with the tables (not while an operation runs).
    void refresh();
    // Whether the station is HomePlug AV, so has link statistics and tone maps.
    bool hasLinkDetails() const { return isAv_; }
    // Reads the link statistics and the tone map (the direction chosen) from the local device.
    void readLinkStats();
    void readToneMap();
    void readLinkDetails();
    void restart();

    RateChart& rateChart() { return *rates_; }
    ToneMapChart& toneMapChart() { return *toneMap_; }
    LinkStatsTable& linkStats() { return *stats_; }
    const QLabel& linkStatus() const { return *linkStatus_; }
    const QLabel& toneMapStatus() const { return *toneMapStatus_; }
    const QLabel& noLinkDetails() const { return *noLinkDetails_; }
    QComboBox& toneMapDirection() { return *direction_; }
    QString fieldText(const QString& field) const;

private:
    QWidget* buildDetails();
    QWidget* buildRates();
    QWidget* buildLinkStats();
    QWidget* buildToneMap();
    void setField(const QString& field, const QString& value);
    QWidget* sheet() const;

    Mac station_{};
    bool isAv_ = false;
    QWidget* detailsBox_ = nullptr;
    RateChart* rates_ = nullptr;
    LinkStatsTable* stats_ = nullptr;
    ToneMapChart* toneMap_ = nullptr;
    QComboBox* direction_ = nullptr;
    QLabel* linkStatus_ = nullptr;
    QLabel* toneMapStatus_ = nullptr;
    QLabel* noLinkDetails_ = nullptr;
    QWidget* linkStatsBox_ = nullptr;
    QWidget* toneMapBox_ = nullptr;
};

}  // namespace corvel::ui
