// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtCharts/QChartView>
#include <optional>

#include "avcodec/link_health.h"

class QLineSeries;

// A tone map as a chart: the bits each carrier carries a symbol against its frequency, 1.8 to
// 30 MHz. For a screen reader the view names itself "Tone map" and describes the carriers in use
// (modulated) and their mean bits.
namespace corvel::ui {

class ToneMapChart : public QChartView {
    Q_OBJECT
public:
    explicit ToneMapChart(QWidget* parent = nullptr);

    void setToneMap(const ToneMapConfirm& map);
    // No map (none asked for yet, or the last request failed): an empty chart that says so.
    void clear();
    // The map as the command line's `corvel tonemap --csv` writes it; empty without a map.
    QString csv() const;

    const QLineSeries& bitsSeries() const { return *bits_; }

private:
    QLineSeries* bits_ = nullptr;
    std::optional<ToneMapConfirm> map_;
};

// "Transmit tone map, slot 1 of 2: 1033 of 1155 carriers in use, mean 8.21 bits per carrier in
// use."
QString toneMapDescription(const ToneMapConfirm& map);

}  // namespace corvel::ui
