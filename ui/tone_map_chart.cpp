// SPDX-License-Identifier: MIT
#include "ui/tone_map_chart.h"

#include <QtCharts/QAreaSeries>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include "av/tone_map_csv.h"

namespace corvel::ui {

namespace {

constexpr double kLowestMHz = 0;
constexpr double kHighestMHz = 30;
constexpr int kMostBits = 12;  // 4096-QAM

QValueAxis* axis(const char* title, double from, double to, QChart* chart, Qt::Alignment side) {
    auto* a = new QValueAxis(chart);
    a->setTitleText(QLatin1String(title));
    a->setRange(from, to);
    a->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(a, side);
    return a;
}

}  // namespace

QString toneMapDescription(const ToneMapConfirm& map) {
    const size_t inUse = modulatedCarriers(map);
    const double mean = inUse == 0 ? 0.0 : double(bitsPerSymbol(map)) / double(inUse);
    return QStringLiteral(
               "%1 tone map, slot %2 of %3: %4 of %5 carriers in use, mean %6 bits per "
               "carrier in use.")
        .arg(map.direction == ToneMapDirection::Rx ? QStringLiteral("Receive")
                                                   : QStringLiteral("Transmit"))
        .arg(map.slot)
        .arg(map.toneMapCount)
        .arg(inUse)
        .arg(map.modulation.size())
        .arg(mean, 0, 'f', 2);
}

ToneMapChart::ToneMapChart(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart;
    chart->legend()->hide();
    bits_ = new QLineSeries(chart);
    // The area under the bits, down to the axis: notches and unused bands show as gaps.
    auto* area = new QAreaSeries(bits_);
    area->setName(QStringLiteral("Bits per carrier"));
    chart->addSeries(area);
    QValueAxis* frequency =
        axis("Frequency (MHz)", kLowestMHz, kHighestMHz, chart, Qt::AlignBottom);
    QValueAxis* bits = axis("Bits per carrier", 0, kMostBits, chart, Qt::AlignLeft);
    bits->setTickCount(7);
    area->attachAxis(frequency);
    area->attachAxis(bits);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setAccessibleName(QStringLiteral("Tone map"));
    clear();
}

void ToneMapChart::setToneMap(const ToneMapConfirm& map) {
    map_ = map;
    QList<QPointF> points;
    points.reserve(qsizetype(map.modulation.size()));
    for (size_t i = 0; i < map.modulation.size(); ++i)
        points.append(
            QPointF(carrierFrequencyMHz(i), std::max(modulationBits(map.modulation[i]), 0)));
    bits_->replace(points);
    chart()->setTitle(map.direction == ToneMapDirection::Rx ? QStringLiteral("Receive tone map")
                                                            : QStringLiteral("Transmit tone map"));
    setAccessibleDescription(toneMapDescription(map));
}

void ToneMapChart::clear() {
    map_.reset();
    bits_->clear();
    chart()->setTitle(QStringLiteral("No tone map"));
    setAccessibleDescription(QStringLiteral("No tone map."));
}

QString ToneMapChart::csv() const {
    return map_ ? QString::fromStdString(toneMapCsv(*map_)) : QString();
}

}  // namespace corvel::ui
