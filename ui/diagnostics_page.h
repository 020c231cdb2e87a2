// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "ui/scan_pause_while_open.h"

class QPushButton;
class QTreeWidget;

// The Diagnostics page: the host and its interfaces with their local devices ("System
// Information") and the known HomePlug AV stations of the selected interface ("Remote Device
// History (Log)"), both filled by the diagnostics report's list mode. Delete removes a device
// from the user's list; Save Report and Print Report write the report as text. The scan is
// paused while the page is active, so the lists do not change under the user.
namespace corvel::ui {

class ColumnFit;

class DiagnosticsPage : public QWidget {
    Q_OBJECT
public:
    // The platform services the page calls; each defaults to Qt's (a save-file dialog with the
    // report's filters, QPrinterInfo's default printer, printing the file with PrintSupport).
    struct Services {
        std::function<QString(QWidget* owner)> chooseSavePath;
        std::function<QString()> defaultPrinterName;
        std::function<bool(const QString& path, const QString& printerName)> printFile;
    };

    // `diagnosticsLevel` above 1 adds the history list's six counter columns. "diagnostics.txt"
    // for printing is written in `startDirectory`. `deviceDeleted` is told the MAC text of a
    // deleted device, whose row the main page's remote list drops at once.
    DiagnosticsPage(int diagnosticsLevel, QString startDirectory,
                    std::function<void(const QString& macText)> deviceDeleted,
                    QWidget* parent = nullptr, Services services = {});

    // Fills both lists from the tables again.
    void rebuildLists();
    void deleteSelected();
    void saveReportAs();
    void printReport();

    QTreeWidget* systemList() const { return system_; }
    QTreeWidget* historyList() const { return history_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* printButton() const { return print_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Services services_;
    QString startDirectory_;
    std::function<void(const QString&)> deviceDeleted_;
    ScanPauseWhileOpen scanPause_;
    QTreeWidget* system_;
    QTreeWidget* history_;
    ColumnFit* systemFit_;
    ColumnFit* historyFit_;
    QPushButton* delete_;
    QPushButton* save_;
    QPushButton* print_;
};

}  // namespace corvel::ui
