// SPDX-License-Identifier: MIT
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

#include "keys/derive.h"
#include "sim/device.h"
#include "store/database.h"
#include "tests/ui/ui_sim_fixture.h"
#include "ui/main_page.h"
#include "ui/operation_runner.h"
#include "ui/privacy_page.h"
#include "ui/property_sheet.h"

using namespace corvel;
using namespace corvel::test;
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

    // Closing the window while Set All Devices runs stops it: the device that took the new key
    // goes back to the network's key, and the window closes once that is done.
    void closeDuringSetAllDevicesStopsItAndClosesAfterwards() {
        PropertySheet sheet(scratch.path().toStdString());
        sheet.start();
        sim->timer.runFor(3000);
        for (const Mac& mac : {kAvStation, kAvStation2}) {
            const int k = findDeviceByMac(mac.data());
            QVERIFY(k != 0);
            copyText(core.devices[k - 1].password, sim::defaultPassword(mac));
        }
        const Key16 before = sim->net.port(0).local->nmk();
        sheet.show();
        sheet.tabs().setCurrentIndex(1);
        auto* privacy = qobject_cast<ui::PrivacyPage*>(sheet.tabs().currentWidget());
        QVERIFY(privacy != nullptr);
        privacy->nameBox()->setText(QStringLiteral("DemoHome"));
        sim->recorder.answers = {Button::Ok};
        sim->recorder.messages.clear();
        std::function<void()> watch = [&] {
            if (sim->net.device(kAvStation)->nmk() != deriveNMK("DemoHome")) {
                sim->clock.scheduleAfter(1, watch);
                return;
            }
            ui::runOnGuiThread([&] { sheet.close(); });
        };
        sim->clock.scheduleAfter(1, watch);

        privacy->setAllButton()->click();

        QTRY_VERIFY(!sheet.isVisible());
        for (const Mac& mac : {kAvLocal, kAvStation, kAvStation2})
            QVERIFY(sim->net.device(mac)->nmk() == before);
        QCOMPARE(QString::fromStdString(sim->recorder.messages.back().text),
                 QStringLiteral("Stopped. What was changed is put back: the local device is on its "
                                "network 'HomePlugAV' as before."));
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
};

QTEST_MAIN(PropertySheetTest)
#include "property_sheet_test.moc"
