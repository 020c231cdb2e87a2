// SPDX-License-Identifier: MIT
#include "ui/diagnostics_page.h"

#include <sys/stat.h>

#include <QFile>
#include <QHeaderView>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "report/host_info.h"
#include "report/report.h"
#include "tests/ui/page_test_state.h"
#include "ui/report_printing.h"

using namespace corvel;
using namespace corvel::ui;
using corvel::test::PageTestState;

namespace {

const QString kSelectFirst =
    QStringLiteral("Attention!: Please select a device first by clicking on it.");
const QString kAskDelete = QStringLiteral(
    "Attention!: A Password for this device has been entered. \nAre you sure you want to delete "
    "it?");
const QString kNoPrinter = QStringLiteral(
    "Attention!: Before you can perform printer-related tasks such as page setup or printing a "
    "document, you need to install a printer.");

// The host facts the report names, fixed for the test.
struct FixedHost {
    FixedHost() {
        installHostInfoSource([] {
            HostInfo info;
            info.computerName = "workbench";
            info.userName = "ada";
            info.processorType = 8664;
            info.systemName = "Linux";
            return info;
        });
    }
    ~FixedHost() { installHostInfoSource({}); }
};

// Station slot `slot` of the selected interface: an AV station 00:B0:52:00:00:<last> at
// `rate` Mbit/s with a device record.
int addStation(int slot, uint8_t last, const char* name, const char* password, double rate) {
    StationRecord& station = core.stationTables[0].stations[slot];
    const Mac mac = PageTestState::macOf(last);
    copyMac(station.mac, mac.data());
    station.present = 1;
    station.stationKind = StationKind::Av;
    station.rate.currentRate = rate;
    return PageTestState::addDevice(last, name, password);
}

QStringList headerTitles(QTreeWidget* list) {
    QStringList titles;
    for (int i = 0; i < list->columnCount(); ++i) titles << list->headerItem()->text(i);
    return titles;
}

QStringList rowTexts(QTreeWidgetItem* item, int columns) {
    QStringList texts;
    for (int i = 0; i < columns; ++i) texts << item->text(i);
    return texts;
}

// The Print Report services, recording what reaches the printer.
struct ScriptedPrinter {
    QString defaultPrinter;
    bool accepts = true;
    QStringList printed;  // "path on printer"
    DiagnosticsPage::Services services() {
        DiagnosticsPage::Services s;
        s.defaultPrinterName = [this] { return defaultPrinter; };
        s.printFile = [this](const QString& path, const QString& printer) {
            printed << path + " on " + printer;
            return accepts;
        };
        return s;
    }
};

}  // namespace

class DiagnosticsPageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theHistoryListHasItsColumnsByLevel_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("titles");
        const QStringList basic = {"Device",    "MAC Address", "Password", "Rate (Mbps)",
                                   "Network",   "Last Seen",   "Vendor",   "Firmware"};
        QTest::newRow("level 1") << 1 << basic;
        QTest::newRow("level 2") << 2
                                 << basic + QStringList{"Sent",  "Misses",  "Drops",
                                                        "Fails", "Hi Rate", "Low Rate"};
    }
    void theHistoryListHasItsColumnsByLevel() {
        QFETCH(int, level);
        QFETCH(QStringList, titles);
        PageTestState state;
        DiagnosticsPage page(level, state.dataDir.path(), {});
        QCOMPARE(headerTitles(page.historyList()), titles);
        QCOMPARE(page.historyList()->columnWidth(1), 110);
        QCOMPARE(page.historyList()->columnWidth(7), 290);
        QCOMPARE(headerTitles(page.systemList()), QStringList{"System Information"});
        QCOMPARE(page.systemList()->columnWidth(0), 545);
        QCOMPARE(corvel::test::unnamedControls(&page), QStringList());
    }

    // Both lists come from the report's list mode: the host lines, and one row per known AV
    // station with its counters from level 2 on.
    void theListsShowTheReport_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("cells");
        QTest::newRow("level 1") << 1 << 8;
        QTest::newRow("level 2") << 2 << 14;
    }
    void theListsShowTheReport() {
        QFETCH(int, level);
        QFETCH(int, cells);
        PageTestState state;
        FixedHost host;
        preferences().diagnosticsLevel = int16_t(level);
        addStation(0, 0x21, "Kitchen", "", 7.9);
        addStation(1, 0x22, "Attic", "ABCD-EFGH-JKMN-PQRS", 0);
        DiagnosticsPage page(level, state.dataDir.path(), {});
        page.rebuildLists();
        QTreeWidget* system = page.systemList();
        QVERIFY(system->topLevelItemCount() >= 2);
        QCOMPARE(system->topLevelItem(0)->text(0), QStringLiteral("Computer network name: workbench"));
        QCOMPARE(system->topLevelItem(1)->text(0), QStringLiteral("User name: ada"));
        QTreeWidget* history = page.historyList();
        QCOMPARE(history->topLevelItemCount(), 2);
        QCOMPARE(rowTexts(history->topLevelItem(0), 4),
                 (QStringList{"Kitchen", "00:B0:52:00:00:21", "--- not entered ---", "07"}));
        QCOMPARE(rowTexts(history->topLevelItem(1), 4),
                 (QStringList{"Attic", "00:B0:52:00:00:22", "ABCD-EFGH-JKMN-PQRS", "?"}));
        QCOMPARE(history->topLevelItem(0)->text(cells - 1).isEmpty(), level == 1);
        // Built again from the tables, not added to.
        page.rebuildLists();
        QCOMPARE(history->topLevelItemCount(), 2);
    }

    void deleteRemovesTheSelectedDevice_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QList<Button>>("answers");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("no password: no question") << "" << QList<Button>{} << QStringList{} << true;
        QTest::newRow("password, Yes") << "ABCD-EFGH-JKMN-PQRS" << QList<Button>{Button::Yes}
                                       << QStringList{kAskDelete} << true;
        QTest::newRow("password, No") << "ABCD-EFGH-JKMN-PQRS" << QList<Button>{Button::No}
                                      << QStringList{kAskDelete} << false;
    }
    void deleteRemovesTheSelectedDevice() {
        QFETCH(QString, password);
        QFETCH(QList<Button>, answers);
        QFETCH(QStringList, messages);
        QFETCH(bool, deleted);
        PageTestState state;
        state.recorder.answers.assign(answers.begin(), answers.end());
        addStation(0, 0x21, "Kitchen", "", 50);
        addStation(1, 0x22, "Attic", password.toStdString().c_str(), 50);
        QStringList droppedRows;
        DiagnosticsPage page(1, state.dataDir.path(),
                             [&](const QString& mac) { droppedRows << mac; });
        page.rebuildLists();
        page.historyList()->setCurrentItem(page.historyList()->topLevelItem(1));
        page.deleteButton()->click();
        QCOMPARE(state.texts(), messages);
        QCOMPARE(core.deviceCount, deleted ? 1 : 2);
        QCOMPARE(droppedRows, deleted ? QStringList{"00:B0:52:00:00:22"} : QStringList{});
        QCOMPARE(page.historyList()->topLevelItemCount(), deleted ? 1 : 2);
        QCOMPARE(findStationByMac(PageTestState::macOf(0x22).data()) == nullptr, deleted);
        QCOMPARE(QString::fromStdString(stringOf(core.devices[0].name)), QStringLiteral("Kitchen"));
    }

    void deleteWithoutASelectionAsksForOne() {
        PageTestState state;
        addStation(0, 0x21, "Kitchen", "", 50);
        DiagnosticsPage page(1, state.dataDir.path(), {});
        page.rebuildLists();
        page.deleteButton()->click();
        QCOMPARE(state.texts(), QStringList{kSelectFirst});
        QCOMPARE(core.deviceCount, 1);
    }

    void saveReportWritesTheChosenFile_data() {
        QTest::addColumn<QString>("name");  // in the scratch directory; empty: cancelled
        QTest::addColumn<bool>("writable");
        QTest::newRow("chosen") << "report.TXT" << true;
        QTest::newRow("cancelled") << "" << false;
        QTest::newRow("folder gone") << "gone/report.TXT" << false;
    }
    void saveReportWritesTheChosenFile() {
        QFETCH(QString, name);
        QFETCH(bool, writable);
        PageTestState state;
        const QString path = name.isEmpty() ? QString() : state.dataDir.filePath(name);
        DiagnosticsPage::Services services;
        services.chooseSavePath = [&](QWidget*) { return path; };
        DiagnosticsPage page(1, state.dataDir.path(), {}, nullptr, services);
        page.saveButton()->click();
        QFile file(path);
        QCOMPARE(file.exists(), writable);
        if (writable) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.readAll().startsWith("Diagnostics Report:\t\t\t\t\t"));
            // It lists the device passwords: private to the user.
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0600));
        }
        const bool failed = !name.isEmpty() && !writable;
        QCOMPARE(state.texts(),
                 failed ? QStringList{"Attention!: The diagnostics report could not be written "
                                      "to\n" + path}
                        : QStringList{});
    }

    // diagnostics.txt is written first; only a real default printer gets it.
    void printReportNeedsAPrinter_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<bool>("printed");
        QTest::addColumn<QString>("message");
        QTest::newRow("printer") << "Office" << true << true << "";
        QTest::newRow("no default printer") << "" << true << false << kNoPrinter;
        QTest::newRow("XPS writer") << "Microsoft XPS Document Writer" << true << false
                                    << kNoPrinter;
        QTest::newRow("job refused")
            << "Office" << false << true
            << "Attention!: The diagnostics report could not be printed on Office.";
    }
    void printReportNeedsAPrinter() {
        QFETCH(QString, printer);
        QFETCH(bool, accepts);
        QFETCH(bool, printed);
        QFETCH(QString, message);
        PageTestState state;
        ScriptedPrinter printing{printer, accepts, {}};
        DiagnosticsPage page(1, state.dataDir.path(), {}, nullptr, printing.services());
        page.printButton()->click();
        const QString path = state.dataDir.filePath(QStringLiteral("diagnostics.txt"));
        QVERIFY(QFile::exists(path));
        QCOMPARE(printing.printed, printed ? QStringList{path + " on " + printer} : QStringList{});
        QCOMPARE(state.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    }

    void theReportPrintsThroughPrintSupport() {
        PageTestState state;
        const QString text = state.dataDir.filePath(QStringLiteral("diagnostics.txt"));
        QVERIFY(saveReport(text.toStdString()));
        const QString pdf = state.dataDir.filePath(QStringLiteral("printed.pdf"));
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QVERIFY(printTextFile(text, printer));
        QFile out(pdf);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY(out.readAll().startsWith("%PDF"));
        QVERIFY(!printTextFile(state.dataDir.filePath(QStringLiteral("missing.txt")), printer));
    }

    // The lists hold still while the page is active: the scan is paused, and resumed as found
    // when the user leaves the page.
    void theScanIsPausedWhileThePageIsActive() {
        PageTestState state;
        setAutoscan(true);
        addStation(0, 0x21, "Kitchen", "", 50);
        DiagnosticsPage page(1, state.dataDir.path(), {});
        page.show();
        QCOMPARE(core.scanPaused, 1);
        QCOMPARE(page.historyList()->topLevelItemCount(), 1);
        page.hide();
        QCOMPARE(core.scanPaused, 0);
    }
};

QTEST_MAIN(DiagnosticsPageTest)
#include "diagnostics_page_test.moc"
