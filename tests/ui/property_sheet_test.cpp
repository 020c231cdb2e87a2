// SPDX-License-Identifier: MIT
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "store/database.h"
#include "tests/ui/ui_sim_fixture.h"
#include "ui/diagnostics_page.h"
#include "ui/main_page.h"
#include "ui/privacy_page.h"
#include "ui/property_sheet.h"

#include <QTreeWidget>

using namespace corvel;
using namespace corvel::test;
using corvel::ui::ColumnKind;
using corvel::ui::PrivacyPage;
using corvel::ui::PropertySheet;

// The sheet: its tabs by the diagnosticsLevel preference, caption, single Close button, and the
// device list saved when it closes or the Main page is left.
class PropertySheetTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    std::unique_ptr<UiSim> sim;

    static QStringList tabTitles(QTabWidget& tabs) {
        QStringList titles;
        for (int i = 0; i < tabs.count(); ++i) titles << tabs.tabText(i);
        return titles;
    }
    QString databaseFile() const {
        return QDir(scratch.path()).filePath(QString::fromStdString(databaseFileName("Corvel Utility")));
    }

private Q_SLOTS:
    void init() {
        QFile::remove(databaseFile());
        sim = std::make_unique<UiSim>(scratch.path());
    }
    void cleanup() { sim.reset(); }

    void tabsByDiagnosticsLevel_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("tabs");
        QTest::newRow("level 0: no Diagnostics") << 0 << QStringList{"Main", "Privacy", "About"};
        QTest::newRow("level 1") << 1 << QStringList{"Main", "Privacy", "Diagnostics", "About"};
        QTest::newRow("level 2") << 2 << QStringList{"Main", "Privacy", "Diagnostics", "About"};
    }
    void tabsByDiagnosticsLevel() {
        QFETCH(int, level);
        QFETCH(QStringList, tabs);
        preferences().diagnosticsLevel = int16_t(level);
        PropertySheet sheet(scratch.path().toStdString());
        QCOMPARE(tabTitles(sheet.tabs()), tabs);
        QCOMPARE(sheet.tabs().currentIndex(), 0);
    }

    // The caption is the productTitle as it is, an empty one included; Close is the only button.
    void captionAndButtons_data() {
        QTest::addColumn<QString>("title");
        QTest::newRow("product") << QStringLiteral("Corvel Utility");
        QTest::newRow("empty") << QString();
    }
    void captionAndButtons() {
        QFETCH(QString, title);
        copyText(preferences().productTitle, title.toStdString());
        PropertySheet sheet(scratch.path().toStdString());
        QCOMPARE(sheet.windowTitle(), title);
        QVERIFY(sheet.windowFlags() & Qt::WindowMinimizeButtonHint);
        const QList<QPushButton*> buttons = sheet.findChildren<QPushButton*>(
            QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(sheet.closeButton().text(), QStringLiteral("Close"));
        QVERIFY(!sheet.windowIcon().isNull());
        QVERIFY(sheet.findChildren<QDialogButtonBox*>().size() == 1);
        QCOMPARE(sheet.findChildren<QDialogButtonBox*>().first()->buttons().size(), 1);
        QVERIFY(buttons.isEmpty());
    }

    void closeSavesTheDeviceList() {
        PropertySheet sheet(scratch.path().toStdString());
        sheet.start();
        sim->timer.runFor(3000);
        QVERIFY(core.deviceCount > 0);
        QFile::remove(databaseFile());
        QTest::mouseClick(&sheet.closeButton(), Qt::LeftButton);
        QCOMPARE(sheet.result(), int(QDialog::Rejected));
        QVERIFY(QFile::exists(databaseFile()));
    }

    // The first visit of the Privacy page with an AV local device scans once; a scan from the
    // Main page before it takes its place. The flag belongs to the sheet: each sheet starts with
    // it set.
    void privacyFirstVisitIsTheSheets_data() {
        QTest::addColumn<bool>("mainScansFirst");
        QTest::newRow("first visit") << false;
        QTest::newRow("after the Main page's scan") << true;
    }
    void privacyFirstVisitIsTheSheets() {
        QFETCH(bool, mainScansFirst);
        PropertySheet sheet(scratch.path().toStdString());
        sheet.start();
        QVERIFY(sheet.privacyFirstVisit());
        if (mainScansFirst) {
            sheet.mainPage().runScanNow();
            QVERIFY(!sheet.privacyFirstVisit());
        }
        const size_t sent = sim->wire.sent().size();
        sheet.findChild<PrivacyPage*>()->activate();
        QVERIFY(!sheet.privacyFirstVisit());
        QCOMPARE(sim->wire.sent().size() > sent, !mainScansFirst);
    }

    // Leaving the Main page saves; coming back to it starts the cycle's timer again.
    void leavingTheMainPageSaves() {
        PropertySheet sheet(scratch.path().toStdString());
        sheet.start();
        sim->timer.runFor(3000);
        QFile::remove(databaseFile());
        sheet.tabs().setCurrentIndex(2);  // About
        QVERIFY(QFile::exists(databaseFile()));
        corvel::stopTimer();
        sheet.tabs().setCurrentIndex(0);
        QVERIFY(scanState().timerRunning);
    }

    // Delete on the Diagnostics page moves the later stations down a slot; the Main page's rows
    // follow their stations, so a header click orders them by their own rates and names, not by
    // the station that now has the slot a row had.
    void sortAfterDeleteReadsTheStationsCurrentSlots() {
        preferences().diagnosticsLevel = 1;
        PropertySheet sheet(scratch.path().toStdString());
        ui::MainPage& main = sheet.mainPage();
        const struct {
            const char* name;
            double rate;
        } stations[] = {{"Attic", 50}, {"Bedroom", 10}, {"Cellar", 100}, {"Den", 30}};
        const auto putStations = [&] {
            for (int slot = 0; slot < 4; ++slot)
                putStation(slot, uiStationMac(slot + 1), StationKind::Av, stations[slot].rate);
        };
        putLocal();
        putStations();
        main.refreshView(7);  // the adapter seen for the first time: the stations start over
        putStations();
        for (int slot = 0; slot < 4; ++slot) {  // the records the first refresh made, renamed
            const int k = findDeviceByMac(uiStationMac(slot + 1).data());
            QVERIFY(k > 0);
            copyText(core.devices[k - 1].name, stations[slot].name);
        }
        main.refreshView(7);
        ui::RemoteListModel& model = main.remoteModel();
        QCOMPARE(model.rowCount(), 4);

        auto* diagnostics = qobject_cast<ui::DiagnosticsPage*>(sheet.tabs().widget(2));
        QVERIFY(diagnostics != nullptr);
        diagnostics->rebuildLists();
        const QString attic = QString::fromStdString(formatMac(uiStationMac(1)));
        const QList<QTreeWidgetItem*> found =
            diagnostics->historyList()->findItems(attic, Qt::MatchExactly, 1);
        QCOMPARE(found.size(), 1);
        diagnostics->historyList()->setCurrentItem(found.first());
        diagnostics->deleteSelected();
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.findRowByMac(attic), -1);

        const auto names = [&] {
            QStringList order;
            for (int row = 0; row < model.rowCount(); ++row)
                order << model.cell(row, ColumnKind::Name);
            return order;
        };
        model.headerClicked(model.columnOf(ColumnKind::Rate));  // the lowest rate first
        QCOMPARE(names(), (QStringList{"Bedroom", "Den", "Cellar"}));
        model.headerClicked(model.columnOf(ColumnKind::Rate));
        QCOMPARE(names(), (QStringList{"Cellar", "Den", "Bedroom"}));
        model.headerClicked(model.columnOf(ColumnKind::Name));  // text columns: Z first
        QCOMPARE(names(), (QStringList{"Den", "Cellar", "Bedroom"}));
    }
};

QTEST_MAIN(PropertySheetTest)
#include "property_sheet_test.moc"
