// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QTableWidget>

#include "avcodec/link_health.h"

// The counters of the local device's link to a station as a table: a row per counter, a column
// per direction (Transmit, Receive), "-" where a direction has no such counter, and the PB error
// ratio (failed blocks over all blocks) of each direction, "n/a" without blocks.
namespace corvel::ui {

class LinkStatsTable : public QTableWidget {
    Q_OBJECT
public:
    explicit LinkStatsTable(QWidget* parent = nullptr);

    void setStats(const LinkStatsConfirm& stats);
    // Every cell "-": nothing read yet, or the request failed.
    void clearStats();
};

// "1.20 %", or "n/a" when no block went that way.
QString errorRatioText(uint64_t passed, uint64_t failed);

}  // namespace corvel::ui
