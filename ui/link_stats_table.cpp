// SPDX-License-Identifier: MIT
#include "ui/link_stats_table.h"

#include <QHeaderView>
#include <array>
#include <optional>

namespace corvel::ui {

namespace {

constexpr std::array<const char*, 6> kRows = {"MPDUs acknowledged", "MPDUs collided",
                                              "MPDUs failed",       "PBs passed",
                                              "PBs failed",         "PB error ratio"};

QString count(std::optional<uint64_t> value) {
    return value ? QString::number(*value) : QStringLiteral("-");
}

}  // namespace

QString errorRatioText(uint64_t passed, uint64_t failed) {
    const uint64_t all = passed + failed;
    if (all == 0) return QStringLiteral("n/a");
    return QStringLiteral("%1 %").arg(double(failed) * 100.0 / double(all), 0, 'f', 2);
}

LinkStatsTable::LinkStatsTable(QWidget* parent) : QTableWidget(int(kRows.size()), 2, parent) {
    setAccessibleName(QStringLiteral("Link statistics"));
    setHorizontalHeaderLabels({QStringLiteral("Transmit"), QStringLiteral("Receive")});
    QStringList rows;
    for (const char* row : kRows) rows << QLatin1String(row);
    setVerticalHeaderLabels(rows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    clearStats();
}

void LinkStatsTable::setStats(const LinkStatsConfirm& stats) {
    std::array<std::optional<uint64_t>, 5> tx{};
    std::array<std::optional<uint64_t>, 5> rx{};
    QString txRatio = QStringLiteral("-");
    QString rxRatio = QStringLiteral("-");
    if (stats.tx) {
        const TxLinkStats& t = *stats.tx;
        tx = {t.mpdusAcked, t.mpdusCollided, t.mpdusFailed, t.pbsPassed, t.pbsFailed};
        txRatio = errorRatioText(t.pbsPassed, t.pbsFailed);
    }
    if (stats.rx) {
        const RxLinkStats& r = *stats.rx;
        rx = {r.mpdusAcked, std::nullopt, r.mpdusFailed, r.pbsPassed, r.pbsFailed};
        rxRatio = errorRatioText(r.pbsPassed, r.pbsFailed);
    }
    for (int row = 0; row < 5; ++row) {
        setItem(row, 0, new QTableWidgetItem(count(tx[size_t(row)])));
        setItem(row, 1, new QTableWidgetItem(count(rx[size_t(row)])));
    }
    setItem(5, 0, new QTableWidgetItem(txRatio));
    setItem(5, 1, new QTableWidgetItem(rxRatio));
}

void LinkStatsTable::clearStats() {
    for (int row = 0; row < rowCount(); ++row)
        for (int column = 0; column < 2; ++column)
            setItem(row, column, new QTableWidgetItem(QStringLiteral("-")));
}

}  // namespace corvel::ui
