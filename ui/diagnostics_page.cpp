// SPDX-License-Identifier: MIT
#include "ui/diagnostics_page.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>
#include <utility>

#include "core/tables.h"
#include "network/device_list_edits.h"
#include "platform/notifier.h"
#include "report/report.h"
#include "ui/column_fit.h"
#include "ui/report_printing.h"

namespace corvel::ui {

namespace {

struct Column {
    const char* title;
    int width;
};

constexpr std::array<Column, 8> kHistoryColumns = {{{"Device", 80},
                                                    {"MAC Address", 110},
                                                    {"Password", 120},
                                                    {"Rate (Mbps)", 70},
                                                    {"Network", 80},
                                                    {"Last Seen", 100},
                                                    {"Vendor", 80},
                                                    {"Firmware", 290}}};
// The station's counters, shown from diagnosticsLevel 2 on.
constexpr std::array<Column, 6> kCounterColumns = {
    {{"Sent", 45}, {"Misses", 45}, {"Drops", 45}, {"Fails", 45}, {"Hi Rate", 50}, {"Low Rate", 60}}};
constexpr int kSystemColumnWidth = 545;
constexpr int kMacColumn = 1;

// The XPS writer is a printer that prints nothing: a machine whose default printer it is has no
// printer the report could go to.
constexpr char kNoPrintingPrinter[] = "Microsoft XPS Document Writer";

QTreeWidget* makeList(const QString& name, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setAccessibleName(name);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The rows carry no sort key: a header click leaves them in the order they were built.
    list->setSortingEnabled(false);
    list->header()->setSectionsClickable(false);
    return list;
}

template <size_t N>
void addColumns(QStringList& titles, std::vector<int>& widths, const std::array<Column, N>& add) {
    for (const Column& column : add) {
        titles << QString::fromLatin1(column.title);
        widths.push_back(column.width);
    }
}

void setColumns(QTreeWidget* list, ColumnFit& fit, int diagnosticsLevel) {
    QStringList titles;
    std::vector<int> widths;
    addColumns(titles, widths, kHistoryColumns);
    if (diagnosticsLevel > 1) addColumns(titles, widths, kCounterColumns);
    list->setHeaderLabels(titles);
    for (size_t i = 0; i < widths.size(); ++i) fit.setLeastWidth(int(i), widths[i]);
}

QStringList rowTexts(const std::vector<std::string>& cells) {
    QStringList texts;
    for (const std::string& cell : cells) texts << QString::fromStdString(cell);
    return texts;
}

QString chooseReportPath(QWidget* owner) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Diagnostics (*.TXT)"), QStringLiteral("All (*.*)")});
    dialog.selectNameFilter(QStringLiteral("Diagnostics (*.TXT)"));
    dialog.setDefaultSuffix(QStringLiteral("TXT"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void reportNotWritten(const QString& path) {
    notifier().notify("Attention!",
                      "The diagnostics report could not be written to\n" + path.toStdString(),
                      Icon::Warning, Buttons::Ok);
}

DiagnosticsPage::Services withDefaults(DiagnosticsPage::Services services) {
    if (!services.chooseSavePath) services.chooseSavePath = chooseReportPath;
    if (!services.defaultPrinterName) services.defaultPrinterName = defaultPrinterName;
    if (!services.printFile) services.printFile = printTextFileOn;
    return services;
}

}  // namespace

DiagnosticsPage::DiagnosticsPage(int diagnosticsLevel, QString startDirectory,
                                 std::function<void(const QString&)> deviceDeleted,
                                 QWidget* parent, Services services)
    : QWidget(parent),
      services_(withDefaults(std::move(services))),
      startDirectory_(std::move(startDirectory)),
      deviceDeleted_(std::move(deviceDeleted)) {
    system_ = makeList(QStringLiteral("System Information"), this);
    system_->setHeaderLabels({QStringLiteral("System Information")});
    history_ = makeList(QStringLiteral("Remote Device History (Log)"), this);
    // Every column as wide as its header and cells, the created widths as the least; the last
    // also takes the room left.
    systemFit_ = new ColumnFit(system_, system_->header(), /*fillLast=*/true);
    systemFit_->setLeastWidth(0, kSystemColumnWidth);
    historyFit_ = new ColumnFit(history_, history_->header(), /*fillLast=*/true);
    setColumns(history_, *historyFit_, diagnosticsLevel);
    delete_ = new QPushButton(QStringLiteral("Delete"), this);
    save_ = new QPushButton(QStringLiteral("Save Report"), this);
    print_ = new QPushButton(QStringLiteral("Print Report"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(delete_);
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(print_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(system_);
    layout->addWidget(new QLabel(QStringLiteral("Remote Device History (Log)"), this));
    layout->addWidget(history_);
    layout->addLayout(buttons);

    systemFit_->fit();
    historyFit_->fit();

    connect(delete_, &QPushButton::clicked, this, &DiagnosticsPage::deleteSelected);
    connect(save_, &QPushButton::clicked, this, &DiagnosticsPage::saveReportAs);
    connect(print_, &QPushButton::clicked, this, &DiagnosticsPage::printReport);
}

void DiagnosticsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    scanPause_.pause();
    rebuildLists();
}

void DiagnosticsPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) scanPause_.restore();
}

void DiagnosticsPage::rebuildLists() {
    DiagnosticsLists lists;
    writeDiagnostics(lists);
    system_->clear();
    for (const std::string& row : lists.systemRows)
        system_->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(row)}));
    history_->clear();
    for (const std::vector<std::string>& row : lists.historyRows)
        history_->addTopLevelItem(new QTreeWidgetItem(rowTexts(row)));
    systemFit_->fit();
    historyFit_->fit();
}

void DiagnosticsPage::deleteSelected() {
    const QList<QTreeWidgetItem*> selected = history_->selectedItems();
    if (selected.isEmpty()) {
        // No device: refused with "Please select a device first by clicking on it.".
        deleteDevice(0);
        return;
    }
    const QString mac = selected.constFirst()->text(kMacColumn);
    const int record = findDeviceByMacText(mac.toStdString());
    if (record == 0) return;
    if (deleteDevice(record) != DeleteResult::deleted) return;
    if (deviceDeleted_) deviceDeleted_(mac);
    rebuildLists();
}

void DiagnosticsPage::saveReportAs() {
    const QString path = services_.chooseSavePath(this);
    if (path.isEmpty()) return;
    if (!saveReport(QFile::encodeName(path).toStdString())) reportNotWritten(path);
}

void DiagnosticsPage::printReport() {
    const QString path = QDir(startDirectory_).filePath(QStringLiteral("diagnostics.txt"));
    if (!saveReport(QFile::encodeName(path).toStdString())) {
        reportNotWritten(path);
        return;
    }
    const QString printer = services_.defaultPrinterName();
    if (printer.isEmpty() || printer == QLatin1String(kNoPrintingPrinter)) {
        notifier().notify("Attention!",
                          "Before you can perform printer-related tasks such as page setup or "
                          "printing a document, you need to install a printer.",
                          Icon::Warning, Buttons::Ok);
        return;
    }
    if (!services_.printFile(path, printer))
        notifier().notify("Attention!",
                          "The diagnostics report could not be printed on " +
                              printer.toStdString() + ".",
                          Icon::Warning, Buttons::Ok);
}

}  // namespace corvel::ui
