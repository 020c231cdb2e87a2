// SPDX-License-Identifier: MIT
#include "ui/station_view.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>
#include <string>

#include "av/link_health_ops.h"
#include "core/stations.h"
#include "core/tables.h"
#include "platform/text.h"
#include "scan/rate_history.h"
#include "scan/station_texts.h"
#include "store/vendor_list.h"
#include "ui/device_restart_dialog.h"
#include "ui/link_stats_table.h"
#include "ui/operation_runner.h"
#include "ui/rate_chart.h"
#include "ui/tone_map_chart.h"

namespace corvel::ui {

namespace {

// The charts' least size: readable axes and a day's line at a glance.
constexpr int kChartWidth = 460;
constexpr int kChartHeight = 230;
constexpr const char* kFields[] = {"Name",   "MAC Address",   "Vendor",      "Firmware",
                                   "Family", "Transmit rate", "Receive rate"};

QPushButton* button(const QString& text, QWidget* parent, const QString& accessibleName = {}) {
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(accessibleName.isEmpty() ? text : accessibleName);
    b->setAutoDefault(false);
    return b;
}

QLabel* statusLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setWordWrap(true);
    return l;
}

void say(QLabel* label, const QString& text) {
    label->setText(text);
    label->setAccessibleName(text);
}

QString rateText(const std::optional<int>& mbps) {
    return mbps ? QStringLiteral("%1 Mbit/s").arg(*mbps) : QStringLiteral("not measured");
}

QString readAt() {
    return QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
}

const StationRecord* stationRecord(const Mac& mac) {
    for (const StationRecord& s : currentStationTable().stations)
        if (s.present && macEqual(s.mac, mac.data())) return &s;
    return nullptr;
}

void copyToClipboard(const QString& text) {
    QApplication::clipboard()->setText(text);
}

}  // namespace

StationView::StationView(const Mac& station, QWidget* sheet) : QDialog(sheet), station_(station) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Station %1").arg(QString::fromStdString(formatMac(station))));
    setAccessibleName(windowTitle());
    noLinkDetails_ = statusLabel(this);
    auto* grid = new QGridLayout;
    grid->addWidget(buildDetails(), 0, 0);
    grid->addWidget(buildRates(), 0, 1);
    grid->addWidget(buildLinkStats(), 1, 0);
    grid->addWidget(buildToneMap(), 1, 1);
    grid->addWidget(noLinkDetails_, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    QPushButton* restartButton = button(QStringLiteral("Restart Device\u2026"), this);
    QPushButton* close = button(QStringLiteral("Close"), this);
    connect(restartButton, &QPushButton::clicked, this, &StationView::restart);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* commands = new QHBoxLayout;
    commands->addWidget(restartButton);
    commands->addStretch();
    commands->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(commands);
    refresh();
}

QWidget* StationView::buildDetails() {
    auto* box = new QGroupBox(QStringLiteral("Device"), this);
    auto* form = new QFormLayout(box);
    for (const char* field : kFields) {
        auto* value = new QLabel(box);
        value->setObjectName(QLatin1String(field));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(QStringLiteral("%1:").arg(QLatin1String(field)), value);
    }
    detailsBox_ = box;
    return box;
}

QWidget* StationView::buildRates() {
    auto* box = new QGroupBox(QStringLiteral("PHY rate history"), this);
    rates_ = new RateChart(box);
    rates_->setMinimumSize(kChartWidth, kChartHeight);
    QPushButton* copy = button(QStringLiteral("Copy as CSV"), box,
                               QStringLiteral("Copy the PHY rate history as CSV"));
    connect(copy, &QPushButton::clicked, this, [this] { copyToClipboard(rates_->csv()); });
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(rates_, 1);
    layout->addWidget(copy, 0, Qt::AlignRight);
    return box;
}

QWidget* StationView::buildLinkStats() {
    auto* box = new QGroupBox(QStringLiteral("Link statistics"), this);
    stats_ = new LinkStatsTable(box);
    linkStatus_ = statusLabel(box);
    QPushButton* refresh = button(QStringLiteral("Refresh Statistics"), box);
    connect(refresh, &QPushButton::clicked, this, &StationView::readLinkStats);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(stats_, 1);
    layout->addWidget(linkStatus_);
    layout->addWidget(refresh, 0, Qt::AlignRight);
    linkStatsBox_ = box;
    return box;
}

QWidget* StationView::buildToneMap() {
    auto* box = new QGroupBox(QStringLiteral("Tone map"), this);
    toneMap_ = new ToneMapChart(box);
    toneMap_->setMinimumSize(kChartWidth, kChartHeight);
    toneMapStatus_ = statusLabel(box);
    direction_ = new QComboBox(box);
    direction_->addItems({QStringLiteral("Transmit"), QStringLiteral("Receive")});
    direction_->setAccessibleName(QStringLiteral("Tone map direction"));
    QPushButton* refresh = button(QStringLiteral("Refresh Tone Map"), box);
    QPushButton* copy =
        button(QStringLiteral("Copy as CSV"), box, QStringLiteral("Copy the tone map as CSV"));
    connect(refresh, &QPushButton::clicked, this, &StationView::readToneMap);
    connect(copy, &QPushButton::clicked, this, [this] { copyToClipboard(toneMap_->csv()); });
    auto* commands = new QHBoxLayout;
    commands->addWidget(direction_);
    commands->addWidget(toneMapStatus_, 1);
    commands->addWidget(refresh);
    commands->addWidget(copy);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(toneMap_, 1);
    layout->addLayout(commands);
    toneMapBox_ = box;
    return box;
}

void StationView::setField(const QString& field, const QString& value) {
    auto* label = detailsBox_->findChild<QLabel*>(field);
    label->setText(value);
    label->setAccessibleName(field + QStringLiteral(": ") + value);
}

QString StationView::fieldText(const QString& field) const {
    const auto* label = detailsBox_->findChild<QLabel*>(field);
    return label == nullptr ? QString() : label->text();
}

void StationView::refresh() {
    const QString mac = QString::fromStdString(formatMac(station_));
    const int device = findDeviceByMac(station_.data());
    setField(
        QStringLiteral("Name"),
        device == 0 ? QString() : QString::fromLocal8Bit(stringOf(core.devices[device - 1].name)));
    setField(QStringLiteral("MAC Address"), mac);
    const StationRecord* record = stationRecord(station_);
    if (record != nullptr) {
        const std::string vendor = stringOf(record->vendorText);
        setField(QStringLiteral("Vendor"),
                 QString::fromStdString(vendor.empty() ? vendorName(station_.data()) : vendor));
        setField(QStringLiteral("Firmware"),
                 QString::fromLocal8Bit(stringOf(record->firmwareText)));
        const std::string_view family = stationFamilyText(record->stationKind);
        setField(QStringLiteral("Family"),
                 QString::fromLatin1(family.data(), qsizetype(family.size())));
        isAv_ = isAvStation(record->stationKind);
    }
    const PhyRates now = record != nullptr ? phyRatesOf(core.currentAdapter, *record) : PhyRates{};
    setField(QStringLiteral("Transmit rate"), rateText(now.tx));
    setField(QStringLiteral("Receive rate"), rateText(now.rx));
    rates_->setSamples(rateHistory().samplesOf(station_));
    linkStatsBox_->setVisible(isAv_);
    toneMapBox_->setVisible(isAv_);
    noLinkDetails_->setVisible(!isAv_);
    if (!isAv_)
        say(noLinkDetails_,
            QStringLiteral("This %1 device has no link statistics or tone maps: only HomePlug AV "
                           "devices report them.")
                .arg(fieldText(QStringLiteral("Family"))));
}

QWidget* StationView::sheet() const {
    return parentWidget() != nullptr ? parentWidget()->window() : const_cast<StationView*>(this);
}

void StationView::readLinkStats() {
    if (!isAv_ || operationRunning()) return;
    std::optional<LinkStatsConfirm> stats;
    std::string error;
    runOperation(sheet(), [&] { stats = requestLinkStats(station_, error); });
    if (!stats) {
        stats_->clearStats();
        say(linkStatus_, QString::fromStdString(error));
        return;
    }
    stats_->setStats(*stats);
    say(linkStatus_, QStringLiteral("Counted since the device started; read at %1").arg(readAt()));
}

void StationView::readToneMap() {
    if (!isAv_ || operationRunning()) return;
    const ToneMapDirection direction =
        direction_->currentIndex() == 1 ? ToneMapDirection::Rx : ToneMapDirection::Tx;
    std::optional<ToneMapConfirm> map;
    std::string error;
    runOperation(sheet(), [&] { map = requestToneMap(station_, direction, 0, error); });
    if (!map) {
        toneMap_->clear();
        say(toneMapStatus_, QString::fromStdString(error));
        return;
    }
    toneMap_->setToneMap(*map);
    say(toneMapStatus_, QStringLiteral("Read at %1").arg(readAt()));
}

void StationView::readLinkDetails() {
    readLinkStats();
    readToneMap();
}

void StationView::restart() {
    if (operationRunning()) return;
    restartWithQuestion(
        sheet(), station_,
        QStringLiteral("the station %1").arg(QString::fromStdString(formatMac(station_))));
}

}  // namespace corvel::ui
