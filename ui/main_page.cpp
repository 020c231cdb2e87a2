// SPDX-License-Identifier: MIT
#include "ui/main_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>

#include "core/view_hooks.h"
#include "network/device_list_edits.h"
#include "network/network_name_ops.h"
#include "network/operation_hooks.h"
#include "network/scan_now.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "scan/device_list.h"
#include "scan/logs.h"
#include "scan/scan.h"
#include "scan/select_adapter.h"
#include "scan/station_texts.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/list_layout.h"
#include "store/preferences.h"
#include "store/vendor_list.h"
#include "ui/column_fit.h"
#include "ui/logo_view.h"
#include "ui/operation_runner.h"
#include "ui/quality_meter_delegate.h"
#include "ui/readable_colour.h"
#include "ui/remote_list_refresh.h"
#include "ui/rename_delegate.h"

namespace corvel::ui {
namespace {

constexpr int kDeviceTypeWidth = 145;

// Texts the remote list's columns hold before any station shows them, so that the sheet opens
// wide enough: the widest MAC address, a rate, the longest stored password form.
constexpr char kSampleMac[] = "DD:DD:DD:DD:DD:DD";
constexpr char kSampleRate[] = "888.88";
constexpr char kSamplePassword[] = "CHECK DDDD-DDDD-DDDD-DDDD";

QString fromText(const char* text) {
    return QString::fromLocal8Bit(text);
}

QPushButton* button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setAccessibleName(b->text());
    return b;
}

QLabel* label(const char* text, QWidget* parent) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setAccessibleName(l->text());
    return l;
}

void setLabelText(QLabel* l, const QString& text) {
    l->setText(text);
    l->setAccessibleName(text);
}

QString autoscanText(bool on) {
    return on ? QStringLiteral(" Autoscan On ") : QStringLiteral(" Autoscan Off ");
}

bool anyLocalPresent() {
    return std::any_of(std::begin(core.adapters), std::end(core.adapters),
                       [](const AdapterRecord& a) { return a.localPresent != 0; });
}

}  // namespace

MainPage::MainPage(std::string dataDirectory, QWidget* parent)
    : QWidget(parent),
      dataDirectoryOverride_(std::move(dataDirectory)),
      startDirectory_(QDir::currentPath()) {
    setAccessibleName(QStringLiteral("Main"));
    const Preferences& prefs = preferences();
    remoteModel_ = new RemoteListModel(
        RemoteListOptions{.showRate = prefs.showRateColumn != 0,
                          .showQuality = prefs.showQualityColumn != 0,
                          .qualityStyle = prefs.qualityStyle,
                          .textColour = listTextColour(prefs.listTextColour)},
        this);
    localModel_ = new LocalListModel(this);
    buildControls();
    connectCommands();
    applyPalette();
    fitColumns();
}

MainPage::~MainPage() {
    uninstallHooks();
}

void MainPage::buildControls() {
    localCaption_ = label("Powerline device detected:", this);
    localList_ = new QTreeView(this);
    localList_->setAccessibleName(QStringLiteral("Powerline device detected"));
    localList_->setModel(localModel_);
    localList_->setRootIsDecorated(false);
    localList_->setSelectionMode(QAbstractItemView::SingleSelection);
    localList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    localList_->header()->setSectionsClickable(false);
    const int icon = std::max<int>(preferences().iconSize, 16);
    localList_->setIconSize(QSize(icon, icon));
    // Three rows and the header; the rows' height follows the icon and the font.
    localList_->setMaximumHeight(3 * std::max(icon, fontMetrics().height()) +
                                 2 * fontMetrics().height() + 16);
    localFit_ = new ColumnFit(localList_, localList_->header(), /*fillLast=*/true);
    localFit_->setLeastWidth(0, kDeviceTypeWidth);
    localFit_->setSample(1, QString::fromLatin1(kSampleMac));

    connectionLabel_ = label("HomePlug Adapter NOT DETECTED", this);
    connectButton_ = button("Connect", this);
    upgradeButton_ = button("Upgrade Firmware", this);
    upgradeButton_->setEnabled(false);
    autoscanBox_ = new QCheckBox(autoscanText(true), this);
    autoscanBox_->setAccessibleName(autoscanBox_->text());
    remoteCaption_ = label("0 Additional devices found on the network:", this);
    networkTypeLabel_ = label("Network Type: Public", this);
    statusLine_ = label(" ", this);
    statusLine_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    remoteList_ = new QTableView(this);
    remoteList_->setAccessibleName(QStringLiteral("Additional devices found on the network"));
    remoteList_->setModel(remoteModel_);
    remoteList_->setItemDelegateForColumn(0, new RenameDelegate(remoteList_));
    remoteList_->setSelectionMode(QAbstractItemView::SingleSelection);
    remoteList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    remoteList_->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::SelectedClicked);
    remoteList_->setShowGrid(true);
    remoteList_->verticalHeader()->hide();
    remoteList_->horizontalHeader()->setSectionsMovable(true);
    remoteList_->horizontalHeader()->setSectionsClickable(true);
    remoteList_->horizontalHeader()->setHighlightSections(false);
    // The sheet opens wide enough for every column as fitted (PropertySheet).
    remoteList_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    remoteFit_ = new ColumnFit(remoteList_, remoteList_->horizontalHeader());
    const auto sample = [this](ColumnKind kind, const char* text) {
        if (const int column = remoteModel_->columnOf(kind); column >= 0)
            remoteFit_->setSample(column, QString::fromLatin1(text));
    };
    sample(ColumnKind::Mac, kSampleMac);
    sample(ColumnKind::Rate, kSampleRate);
    sample(ColumnKind::Password, kSamplePassword);
    const ListLayout created = defaultListLayout();
    for (int logical = 0; logical < remoteModel_->columnCount(); ++logical)
        remoteFit_->setLeastWidth(logical, created.widths[logical]);
    if (const int quality = remoteModel_->columnOf(ColumnKind::Quality); quality >= 0)
        remoteList_->setItemDelegateForColumn(
            quality, new QualityMeterDelegate(remoteModel_->options().qualityStyle, remoteList_));

    renameButton_ = button("Rename", this);
    passwordButton_ = button("Enter Password", this);
    addButton_ = button("Add", this);
    scanButton_ = button("Scan", this);
    scanButton_->setDefault(true);

    auto* localCommands = new QVBoxLayout;
    localCommands->addWidget(connectButton_);
    localCommands->addWidget(upgradeButton_);
    localCommands->addWidget(autoscanBox_);
    localCommands->addStretch();
    localCommands->addWidget(new LogoView(48, this), 0, Qt::AlignRight);
    auto* localRow = new QHBoxLayout;
    localRow->addWidget(localList_, 1);
    localRow->addLayout(localCommands);
    auto* remoteHeader = new QHBoxLayout;
    remoteHeader->addWidget(remoteCaption_, 1);
    remoteHeader->addWidget(networkTypeLabel_);
    auto* commands = new QHBoxLayout;
    commands->addWidget(statusLine_, 1);
    for (QPushButton* b : {renameButton_, passwordButton_, addButton_, scanButton_})
        commands->addWidget(b);
    auto* page = new QVBoxLayout(this);
    page->addWidget(localCaption_);
    page->addLayout(localRow);
    page->addWidget(connectionLabel_);
    page->addLayout(remoteHeader);
    page->addWidget(remoteList_, 1);
    page->addLayout(commands);
}

void MainPage::connectCommands() {
    connect(connectButton_, &QPushButton::clicked, this, [this] {
        selectLocalFromList();
        setUpgradeEnabled(false);
        runScanNow();
    });
    connect(scanButton_, &QPushButton::clicked, this, [this] {
        setUpgradeEnabled(false);
        runScanNow();
    });
    connect(autoscanBox_, &QCheckBox::clicked, this, &MainPage::toggleAutoscan);
    connect(renameButton_, &QPushButton::clicked, this, &MainPage::startRename);
    connect(passwordButton_, &QPushButton::clicked, this, &MainPage::enterPasswordRequested);
    connect(addButton_, &QPushButton::clicked, this, [this] {
        Q_EMIT addDeviceRequested();
        if (!preferences().autoScan) runScanNow();
    });
    connect(upgradeButton_, &QPushButton::clicked, this, &MainPage::upgradeRequested);
    connect(localList_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = localList_->selectionModel()->selectedRows();
        if (!rows.isEmpty()) localRow_ = rows.first().row();
    });
    connect(remoteList_->horizontalHeader(), &QHeaderView::sectionClicked, remoteModel_,
            &RemoteListModel::headerClicked);
    connect(remoteList_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = remoteList_->selectionModel()->selectedRows();
        if (!rows.isEmpty()) selectedRow_ = rows.first().row();
    });
    connect(remoteModel_, &RemoteListModel::renameRequested, this, &MainPage::renameRow);
}

// The scan and the operations call these from the GUI thread, or from an operation's worker
// that waits meanwhile (operation_runner.h).
void MainPage::installHooks() {
    viewHooks().refreshView = [this](int phase) { runOnGuiThread([&] { refreshView(phase); }); };
    viewHooks().setUpgradeEnabled = [this](bool on) {
        runOnGuiThread([&] { setUpgradeEnabled(on); });
    };
    operationHooks().localListRebuilt = [this](bool found) {
        runOnGuiThread([&] {
            localModel_->clear();
            if (found) fillLocalList();
        });
    };
    operationHooks().cursor = [](bool wait) {
        runOnGuiThread([wait] {
            if (wait)
                QApplication::setOverrideCursor(Qt::WaitCursor);
            else
                QApplication::restoreOverrideCursor();
        });
    };
    listLayoutHooks().readFromList = [this](ListLayout& layout) {
        runOnGuiThread([&] { readListLayout(layout); });
    };
    listLayoutHooks().applyToList = [this](const ListLayout& layout) {
        runOnGuiThread([&] { applyListLayout(layout); });
    };
}

void MainPage::uninstallHooks() {
    viewHooks() = {};
    operationHooks().localListRebuilt = nullptr;
    operationHooks().cursor = nullptr;
    listLayoutHooks() = {};
}

void MainPage::openDataDirectory() {
    if (dataDirectoryOverride_.empty()) {
        prepareDataPaths();
        chooseDataDirectory();
        return;
    }
    // Checked and made by the program's start (useDataDirectory) before the page exists.
    setDataDirectory(dataDirectoryOverride_);
}

void MainPage::start() {
    localSeenOnActivate_ = false;
    openDataDirectory();
    loadVendorList();
    installDeviceLog();
    installHooks();
    applyListLayout(defaultListLayout());
    fillRemoteList(*remoteModel_);
    loadDatabase();
    // showUpgradeButton can only show the button, which the page shows from the start anyway:
    // upgrades stay reachable whatever the preference says.
    runOperation(window(), [] { rescan(); });
    setAutoscan(preferences().autoScan != 0);
    selectLocalFromList();
    refreshView(5);
    autoscanBox_->setChecked(preferences().autoScan != 0);
    autoscanBox_->setText(autoscanText(preferences().autoScan != 0));
    autoscanBox_->setAccessibleName(autoscanBox_->text());
}

void MainPage::activate() {
    setStatusLine(3);
    corvel::startTimer();
    if (preferences().autoScan && localSeenOnActivate_ && networkSetIdle())
        runScanNow();
    else
        localSeenOnActivate_ = anyLocalPresent();
}

void MainPage::deactivate() {
    saveDatabase();
}

void MainPage::runScanNow() {
    Q_EMIT scanStarted();
    runOperation(window(), [] { scanNow(); });
}

void MainPage::setStatusLine(int phase) {
    QString status = QStringLiteral(" ");
    if (pendingAdd().active)
        status = QStringLiteral("Adding device. Please Wait...");
    else if (phase < 3)
        status = QStringLiteral(" Scanning...");
    setLabelText(statusLine_, status);
    const StationTable& table = currentStationTable();
    const std::string_view type = networkTypeText(textOf(table.networkName), core.localIsAv != 0);
    setLabelText(networkTypeLabel_,
                 QStringLiteral("Network Type: ") + QString::fromLatin1(type.data(), type.size()));
    setLabelText(remoteCaption_, QStringLiteral("%1 %2:")
                                     .arg(table.stationCount)
                                     .arg(QStringLiteral("Additional devices found on the network")));
}

void MainPage::refreshView(int phase) {
    setStatusLine(phase);
    bool addCompleted = false;
    if (currentStationTable().localPresent) {
        const MergeOutcome merge = mergeStationsIntoDevices(std::time(nullptr), &pendingAdd());
        if (merge.pendingTaken) {
            addCompleted = true;
            Q_EMIT addDeviceAdopted();
        }
    }
    if (adaptersChanged() || addCompleted) {
        if (!currentAdapterRecord().localPresent) warnAdapterMissing();
        fillLocalList();
        selectLocalFromList();
        clearStationList();
    }
    fillRemoteList(*remoteModel_);
    fitColumns();
    if (core.localIsAv) addProgress(1);
}

void MainPage::fitColumns() {
    localFit_->fit();
    remoteFit_->fit();
}

// The preferences' text colours where they stand out from the theme's base colour. The page's
// palette is the lists' (they inherit it, and learn of a change only after the page does).
void MainPage::applyPalette() {
    remoteModel_->setTextColour(readableTextColour(remoteModel_->options().textColour, palette()));
    localModel_->setTextColour(readableTextColour(kLocalListColour, palette()));
}

void MainPage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyPalette();
}

bool MainPage::adaptersChanged() {
    bool changed = false;
    for (int i = 0; i < kMaxInterfaces; ++i) {
        const AdapterRecord& a = core.adapters[i];
        AdapterSnapshot now{.present = a.localPresent, .kind = a.localKind, .mac = {}};
        std::copy_n(a.localMac, 6, now.mac.begin());
        if (now == snapshot_[size_t(i)]) continue;
        snapshot_[size_t(i)] = now;
        changed = true;
    }
    return changed;
}

// One box at a time: the scan keeps running in the box's own event loop, and the next refresh
// that still finds the adapter missing must not open a second one.
void MainPage::warnAdapterMissing() {
    if (notDetectedShown_) return;
    notDetectedShown_ = true;
    notifier().notify("Problem Occurred", "HomePlug Adapter NOT DETECTED", Icon::Error,
                      Buttons::Ok);
    notDetectedShown_ = false;
}

void MainPage::clearStationList() {
    clearStations();
    remoteModel_->removeAll();
}

// The remembered row is selected again, and made current, in the rebuilt list.
void MainPage::fillLocalList() {
    localModel_->fillLocalList(windowIcon());
    if (localRow_ >= localModel_->rowCount()) return;
    const QModelIndex row = localModel_->index(localRow_, 0);
    localList_->setCurrentIndex(row);
    localList_->selectionModel()->select(row, QItemSelectionModel::Select |
                                                  QItemSelectionModel::Rows);
}

void MainPage::selectLocalFromList() {
    const QModelIndexList rows = localList_->selectionModel()->selectedRows();
    localRow_ = rows.isEmpty() ? 0 : rows.first().row();
    const int current = selectAdapter(localRow_);
    setLabelText(connectionLabel_,
                 core.adapters[current].localPresent
                     ? QStringLiteral("Connected to %1").arg(fromText(localKindName(current)))
                     : QStringLiteral("HomePlug Adapter NOT DETECTED"));
}

void MainPage::setUpgradeEnabled(bool on) {
    upgradeButton_->setEnabled(on);
}

void MainPage::toggleAutoscan() {
    const bool on = preferences().autoScan == 0;
    preferences().autoScan = on ? 1 : 0;
    setAutoscan(on);
    autoscanBox_->setChecked(on);
    autoscanBox_->setText(autoscanText(on));
    autoscanBox_->setAccessibleName(autoscanBox_->text());
    if (!on) setLabelText(statusLine_, QStringLiteral(" "));
}

void MainPage::startRename() {
    if (selectedRow_ >= remoteModel_->rowCount()) return;
    remoteList_->setFocus();
    remoteList_->edit(remoteModel_->index(selectedRow_, 0));
}

void MainPage::renameRow(int row, const QString& name) {
    const QString macText = remoteModel_->cell(row, ColumnKind::Mac);
    const int record = findDeviceByMacText(macText.toStdString());
    if (record == 0) return;
    if (renameDevice(record, name.toStdString()) != RenameResult::renamed) return;
    remoteModel_->setCell(row, ColumnKind::Name, fromText(core.devices[record - 1].name));
}

QString MainPage::selectedMacText() const {
    const QModelIndexList rows = remoteList_->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : remoteModel_->cell(rows.first().row(), ColumnKind::Mac);
}

QString MainPage::selectedNameText() const {
    const QModelIndexList rows = remoteList_->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : remoteModel_->cell(rows.first().row(), ColumnKind::Name);
}

void MainPage::setSelectedNameCell(const QString& text) {
    const QModelIndexList rows = remoteList_->selectionModel()->selectedRows();
    if (!rows.isEmpty()) remoteModel_->setCell(rows.first().row(), ColumnKind::Name, text);
}

void MainPage::setSelectedPasswordCell(const QString& text) {
    const QModelIndexList rows = remoteList_->selectionModel()->selectedRows();
    if (!rows.isEmpty()) remoteModel_->setCell(rows.first().row(), ColumnKind::Password, text);
}

// The order holds, for each display position, a column's creation number; entries for columns
// this list does not have (an optional column hidden) are passed over.
void MainPage::applyListLayout(const ListLayout& layout) {
    QHeaderView* header = remoteList_->horizontalHeader();
    const int columns = remoteModel_->columnCount();
    int position = 0;
    for (int logical : layout.order) {
        if (logical < 0 || logical >= columns || position >= columns) continue;
        header->moveSection(header->visualIndex(logical), position++);
    }
    // A width other than the one the column is created with is one the user dragged: kept. The
    // created width stands for "as wide as the column needs".
    const ListLayout created = defaultListLayout();
    for (int logical = 0; logical < columns; ++logical) {
        const int width = layout.widths[logical];
        if (width > 0 && width != created.widths[logical])
            remoteFit_->setUserWidth(logical, width);
        else
            remoteFit_->clearUserWidth(logical);
    }
    remoteFit_->fit();
    remoteModel_->sort(layout.sortColumn,
                       remoteModel_->orderOf(layout.sortColumn, layout.sortFlag));
}

void MainPage::readListLayout(ListLayout& layout) const {
    const QHeaderView* header = remoteList_->horizontalHeader();
    const int columns = remoteModel_->columnCount();
    for (int position = 0; position < columns; ++position)
        layout.order[position] = header->logicalIndex(position);
    const ListLayout created = defaultListLayout();
    for (int logical = 0; logical < columns; ++logical)
        layout.widths[logical] = remoteFit_->userSized(logical) ? header->sectionSize(logical)
                                                                : created.widths[logical];
    layout.sortColumn = remoteModel_->sortColumn();
    layout.sortFlag = remoteModel_->sortFlag();
}

}  // namespace corvel::ui
