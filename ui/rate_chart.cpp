// SPDX-License-Identifier: MIT
#include "ui/rate_chart.h"

#include <QDateTime>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>

namespace corvel::ui {

namespace {

// The rate axis starts at 0 and leaves a tenth above the highest rate, at least 10 Mbit/s.
constexpr double kLeastTopMbps = 10;
// A single sample still gets a time span to stand in.
constexpr qint64 kLeastSpanMs = 60 * 1000;

QString directionText(const char* direction, const RateRange& range) {
    if (!range.current) return QStringLiteral("%1: not measured.").arg(QLatin1String(direction));
    return QStringLiteral("%1: current %2 Mbit/s, lowest %3 Mbit/s, highest %4 Mbit/s.")
        .arg(QLatin1String(direction))
        .arg(*range.current)
        .arg(*range.lowest)
        .arg(*range.highest);
}

QLineSeries* line(const char* name, QChart* chart) {
    auto* series = new QLineSeries(chart);
    series->setName(QLatin1String(name));
    chart->addSeries(series);
    return series;
}

QString cell(const std::optional<int>& rate) {
    return rate ? QString::number(*rate) : QString();
}

}  // namespace

QString rateChartDescription(const std::vector<RateSample>& samples) {
    return directionText("Transmit", txRange(samples)) + QLatin1Char(' ') +
           directionText("Receive", rxRange(samples));
}

RateChart::RateChart(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("PHY rate (Mbit/s)"));
    tx_ = line("Transmit", chart);
    rx_ = line("Receive", chart);
    time_ = new QDateTimeAxis(chart);
    time_->setFormat(QStringLiteral("HH:mm"));
    time_->setTitleText(QStringLiteral("Time"));
    rate_ = new QValueAxis(chart);
    rate_->setLabelFormat(QStringLiteral("%d"));
    rate_->setTitleText(QStringLiteral("Mbit/s"));
    chart->addAxis(time_, Qt::AlignBottom);
    chart->addAxis(rate_, Qt::AlignLeft);
    for (QLineSeries* series : {tx_, rx_}) {
        series->attachAxis(time_);
        series->attachAxis(rate_);
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setAccessibleName(QStringLiteral("PHY rate history"));
    setSamples({});
}

void RateChart::setSamples(std::vector<RateSample> samples) {
    samples_ = std::move(samples);
    QList<QPointF> tx;
    QList<QPointF> rx;
    for (const RateSample& s : samples_) {
        if (s.txMbps) tx.append(QPointF(double(s.atMs), *s.txMbps));
        if (s.rxMbps) rx.append(QPointF(double(s.atMs), *s.rxMbps));
    }
    tx_->replace(tx);
    rx_->replace(rx);
    fitAxes();
    setAccessibleDescription(rateChartDescription(samples_));
}

void RateChart::fitAxes() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 first = samples_.empty() ? now : samples_.front().atMs;
    const qint64 last = samples_.empty() ? now : samples_.back().atMs;
    const qint64 end = std::max(last, first + kLeastSpanMs);
    time_->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(end));
    int highest = 0;
    for (const RateSample& s : samples_)
        highest = std::max({highest, s.txMbps.value_or(0), s.rxMbps.value_or(0)});
    rate_->setRange(0, std::max(kLeastTopMbps, highest * 1.1));
}

QString RateChart::csv() const {
    QString text = QStringLiteral("time,txMbps,rxMbps\n");
    for (const RateSample& s : samples_)
        text += QDateTime::fromMSecsSinceEpoch(s.atMs, Qt::UTC).toString(Qt::ISODate) +
                QLatin1Char(',') + cell(s.txMbps) + QLatin1Char(',') + cell(s.rxMbps) +
                QLatin1Char('\n');
    return text;
}

}  // namespace corvel::ui
