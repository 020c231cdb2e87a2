// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtCharts/QChartView>
#include <vector>

#include "scan/rate_history.h"

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

// A station's PHY rates over the time the program has run: one line for each direction, Mbit/s
// against the time of day, from the samples the rate history keeps. For a screen reader the view
// names itself "PHY rate history" and describes the current, lowest and highest rate of each
// direction.
namespace corvel::ui {

class RateChart : public QChartView {
    Q_OBJECT
public:
    explicit RateChart(QWidget* parent = nullptr);

    void setSamples(std::vector<RateSample> samples);
    // "time,txMbps,rxMbps" and a line per sample: the time in UTC (ISO 8601, whole seconds), an
    // empty cell for a direction not measured.
    QString csv() const;

    const QLineSeries& txSeries() const { return *tx_; }
    const QLineSeries& rxSeries() const { return *rx_; }

private:
    void fitAxes();

    QLineSeries* tx_ = nullptr;
    QLineSeries* rx_ = nullptr;
    QDateTimeAxis* time_ = nullptr;
    QValueAxis* rate_ = nullptr;
    std::vector<RateSample> samples_;
};

// "Transmit: current 140 Mbit/s, lowest 130 Mbit/s, highest 150 Mbit/s. Receive: not measured."
QString rateChartDescription(const std::vector<RateSample>& samples);

}  // namespace corvel::ui
