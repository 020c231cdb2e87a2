// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

#include "core/tables.h"
#include "ui/local_list_model.h"
#include "ui/remote_list_model.h"

class QCheckBox;
class QEvent;
class QLabel;
class QPushButton;
class QTableView;
class QTreeView;

// The first page of the property sheet: the local device on each host interface, the HomePlug AV
// stations seen through the selected one with their rates, quality and passwords, and the
// commands. After every full scan the scan calls refreshView, which merges what was seen into
// the device list and redraws both lists.
namespace corvel::ui {

class ColumnFit;

class MainPage : public QWidget {
    Q_OBJECT
public:
    // `dataDirectory` replaces the per-machine data directory when not empty (--data-dir).
    explicit MainPage(std::string dataDirectory = {}, QWidget* parent = nullptr);
    ~MainPage() override;

    // The page's start: data directory, vendor list, lists, database, the first full scan.
    void start();
    // The page becomes the sheet's active page, or stops being it (the database is saved).
    void activate();
    void deactivate();

    // The page's Scan: a scan at once (scanNow) on a worker, with the sheet disabled meanwhile.
    // Says scanStarted first.
    void runScanNow();
    void refreshView(int phase);
    void setStatusLine(int phase);
    void fillLocalList();
    void selectLocalFromList();
    void setUpgradeEnabled(bool on);
    // Both lists' columns as wide as their headers and cells (those the user sized kept).
    void fitColumns();
    // The rename in place of the row last reported selected (row 0 before any selection).
    void startRename();

    // The working directory when the page was made; the Diagnostics page writes its printed
    // report there.
    const QString& startDirectory() const { return startDirectory_; }
    // Column 1 (MAC) and column 0 (name) of the first selected remote row, empty when none.
    QString selectedMacText() const;
    QString selectedNameText() const;
    void setSelectedNameCell(const QString& text);
    void setSelectedPasswordCell(const QString& text);

    RemoteListModel& remoteModel() { return *remoteModel_; }
    QTableView& remoteList() { return *remoteList_; }
    LocalListModel& localModel() { return *localModel_; }
    QTreeView& localList() { return *localList_; }
    const QLabel& connectionLabel() const { return *connectionLabel_; }
    const QLabel& networkTypeLabel() const { return *networkTypeLabel_; }
    const QLabel& remoteCaption() const { return *remoteCaption_; }
    const QLabel& statusLine() const { return *statusLine_; }
    QCheckBox& autoscanBox() { return *autoscanBox_; }
    QPushButton& upgradeButton() { return *upgradeButton_; }

Q_SIGNALS:
    // The pending add found its device: the Add Device dialog closes.
    void addDeviceAdopted();
    // Commands that open the dialogs of other parts of the program.
    void enterPasswordRequested();
    void addDeviceRequested();
    void upgradeRequested();
    // runScanNow is about to scan.
    void scanStarted();

protected:
    void changeEvent(QEvent* event) override;

private:
    struct AdapterSnapshot {
        int32_t present = 0;
        int32_t kind = 0;
        std::array<uint8_t, 6> mac{};
        bool operator==(const AdapterSnapshot&) const = default;
    };

    void buildControls();
    void connectCommands();
    void installHooks();
    void uninstallHooks();
    void openDataDirectory();
    void toggleAutoscan();
    void renameRow(int row, const QString& name);
    bool adaptersChanged();
    void warnAdapterMissing();
    // clearStations, and the rows of the remote list with them.
    void clearStationList();
    void applyPalette();
    void applyListLayout(const ListLayout& layout);
    void readListLayout(ListLayout& layout) const;

    std::string dataDirectoryOverride_;
    QString startDirectory_;
    RemoteListModel* remoteModel_ = nullptr;
    LocalListModel* localModel_ = nullptr;
    QTreeView* localList_ = nullptr;
    QTableView* remoteList_ = nullptr;
    ColumnFit* localFit_ = nullptr;
    ColumnFit* remoteFit_ = nullptr;
    QLabel* localCaption_ = nullptr;
    QLabel* connectionLabel_ = nullptr;
    QLabel* remoteCaption_ = nullptr;
    QLabel* networkTypeLabel_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* upgradeButton_ = nullptr;
    QCheckBox* autoscanBox_ = nullptr;
    QPushButton* renameButton_ = nullptr;
    QPushButton* passwordButton_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* scanButton_ = nullptr;

    int selectedRow_ = 0;
    int localRow_ = 0;
    bool localSeenOnActivate_ = false;
    bool notDetectedShown_ = false;
    std::array<AdapterSnapshot, kMaxInterfaces> snapshot_{};
};

}  // namespace corvel::ui
