// SPDX-License-Identifier: MIT
#include "ui/add_device_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include "tests/ui/page_test_state.h"
#include "tests/ui/ui_sim_fixture.h"
#include "ui/operation_runner.h"

using namespace corvel;
using namespace corvel::ui;
using corvel::test::PageTestState;

namespace {

const QString kPassword = QStringLiteral("ABCD-EFGH-JKMN-PQRS");
const QString kTooLong = QStringLiteral("Attention!: Device Name should be less than 31 characters");
const QString kBadFormat = QStringLiteral(
    "Invalid Entry: The Device Password Format Entered is Invalid.\nPlease Enter a Password as a "
    "number and letter code,\nin groups of four, separated by dashes.");

// The selected interface's local AV device with one present AV station, listed in the main
// page's remote list with `password` in its Password column.
void listStation(const std::string& password) {
    core.currentAdapter = 0;
    const Mac local = PageTestState::macOf(0x10);
    core.adapters[0].localPresent = 1;
    copyMac(core.adapters[0].localMac, local.data());
    StationRecord& station = core.stationTables[0].stations[0];
    const Mac mac = PageTestState::macOf(0x21);
    copyMac(station.mac, mac.data());
    station.present = 1;
    station.stationKind = StationKind::Av;
    PageTestState::addDevice(0x21, "Kitchen", password);
}

}  // namespace

class AddDeviceDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensWithItsBoxesAndTheScanPaused() {
        PageTestState state;
        setAutoscan(true);
        AddDeviceDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Device to Network"));
        QCOMPARE(dialog.nameBox()->text(), QStringLiteral("Name"));
        QCOMPARE(dialog.nameBox()->selectedText(), QStringLiteral("Name"));
        QCOMPARE(dialog.passwordBox()->text(), QStringLiteral("PASS-WORD-GOES-HERE"));
        QCOMPARE(dialog.passwordBox()->selectedText(), QStringLiteral("PASS-WORD-GOES-HERE"));
        QCOMPARE(dialog.passwordBox()->maxLength(), 19);
        QCOMPARE(dialog.progressLabel()->text(), QString());
        QVERIFY(dialog.okButton()->isDefault());
        QCOMPARE(core.scanPaused, 1);
        QCOMPARE(corvel::test::unnamedControls(&dialog), QStringList());
    }

    void aLongNameIsCutTo31Characters_data() {
        QTest::addColumn<bool>("typed");  // typed key by key, else pasted at once
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("31 typed") << true << 31 << 31 << QStringList();
        QTest::newRow("32 typed") << true << 32 << 31 << QStringList{kTooLong};
        QTest::newRow("40 pasted") << false << 40 << 31 << QStringList{kTooLong};
    }
    void aLongNameIsCutTo31Characters() {
        QFETCH(bool, typed);
        QFETCH(int, length);
        QFETCH(int, kept);
        QFETCH(QStringList, messages);
        PageTestState state;
        AddDeviceDialog dialog;
        const QString name = QStringLiteral("abcdefghij").repeated(4).left(length);
        dialog.nameBox()->clear();
        if (typed)
            QTest::keyClicks(dialog.nameBox(), name);
        else
            dialog.nameBox()->setText(name);
        QCOMPARE(dialog.nameBox()->text(), name.left(kept));
        QCOMPARE(state.texts(), messages);
        // Cut and selected, so that the next key replaces the whole name.
        if (!messages.isEmpty()) QCOMPARE(dialog.nameBox()->selectedText(), name.left(kept));
    }

    void refusedEntriesKeepTheDialogOpen_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("listed");  // the Password column of the listed station
        QTest::addColumn<QString>("message");
        const QString another = QStringLiteral("Attention!: Please enter another name.");
        QTest::newRow("no name") << "" << kPassword << "" << another;
        QTest::newRow("name taken") << "Kitchen" << kPassword << "" << another;
        QTest::newRow("no password") << "Attic" << "PASS-WORD-GOES-HERE" << ""
                                     << "Attention!: Please enter a Password.";
        QTest::newRow("bad format") << "Attic" << "ABCD-EFGH" << "" << kBadFormat;
        QTest::newRow("already listed")
            << "Attic" << kPassword << kPassword
            << "Attention!: Device is already added in the network";
    }
    void refusedEntriesKeepTheDialogOpen() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, listed);
        QFETCH(QString, message);
        PageTestState state;
        setAutoscan(true);
        listStation(listed.toStdString());
        AddDeviceDialog dialog;
        dialog.show();
        dialog.nameBox()->setText(name);
        dialog.passwordBox()->setText(password);
        dialog.accept();
        QCOMPARE(state.texts(), QStringList{message});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), 0);
        QVERIFY(!pendingAdd().active);
        QCOMPARE(core.scanPaused, 1);  // paused again while the user corrects the entry
        QCOMPARE(core.deviceCount, 1);
    }

    // An add that cannot reach any device fails with its message and closes the dialog; nothing
    // of it stays pending.
    void aFailedAddClosesTheDialog() {
        PageTestState state;
        setAutoscan(true);
        AddDeviceDialog dialog;
        dialog.show();
        dialog.nameBox()->setText(QStringLiteral("Attic"));
        dialog.passwordBox()->setText(kPassword);
        dialog.accept();
        QVERIFY(!state.texts().isEmpty());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.waitingForDevice());
        QVERIFY(!pendingAdd().active);
        QCOMPARE(core.scanPaused, 0);
    }

    // The add's progress texts reach the most recent dialog for as long as it exists.
    void progressTextsFollowTheAdd() {
        PageTestState state;
        {
            AddDeviceDialog dialog;
            addProgress(0);
            QCOMPARE(dialog.progressLabel()->text(),
                     QStringLiteral("Please wait, this operation will take approximately 30 "
                                    "seconds to complete.."));
            addProgress(1);
            QCOMPARE(dialog.progressLabel()->text(),
                     QStringLiteral("Devices will reboot while this operation..."));
            QCOMPARE(dialog.progressLabel()->accessibleName(), dialog.progressLabel()->text());
        }
        QVERIFY(!operationHooks().addProgressTarget);
    }

    void theRefreshClosesTheDialogWhenTheDeviceShowsUp() {
        PageTestState state;
        AddDeviceDialog dialog;
        dialog.show();
        dialog.deviceShowedUp();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

    // On the simulated AV network: Cancel stays live while the add runs, stops it at its next
    // safe point, and the local device is back on its own NMK when the dialog closes.
    void cancelDuringTheAddStopsItAndPutsTheLocalKeyBack() {
        QTemporaryDir scratch;
        corvel::test::UiSim sim(scratch.path());
        QVERIFY(rescan());
        sim.recorder.messages.clear();
        const Key16 own = sim.net.port(0).local->nmk();
        AddDeviceDialog dialog;
        dialog.show();
        dialog.nameBox()->setText(QStringLiteral("Attic"));
        dialog.passwordBox()->setText(kPassword);
        QPushButton* cancel =
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel);
        // Once the local device is alone on the search's random key, Cancel is pressed on the
        // window's thread.
        bool cancelLive = false;
        std::function<void()> watch = [&] {
            if (sim.net.port(0).local->nmk() == own) {
                sim.clock.scheduleAfter(1, watch);
                return;
            }
            ui::runOnGuiThread([&] {
                cancelLive = cancel->isEnabled() && !dialog.okButton()->isEnabled();
                QTest::mouseClick(cancel, Qt::LeftButton);
            });
        };
        sim.clock.scheduleAfter(1, watch);

        dialog.okButton()->click();

        QVERIFY(cancelLive);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QVERIFY(sim.net.port(0).local->nmk() == own);
        QVERIFY(!pendingAdd().active);
        QCOMPARE(sim.recorder.messages.size(), size_t(1));
        QCOMPARE(QString::fromStdString(sim.recorder.messages.back().text),
                 QStringLiteral("Stopped. What was changed is put back: the local device is on its "
                                "network 'HomePlugAV' as before."));
    }

    void cancelPutsTheScanBackAsFound() {
        PageTestState state;
        setAutoscan(true);
        AddDeviceDialog dialog;
        dialog.show();
        dialog.reject();
        QCOMPARE(core.scanPaused, 0);
        QVERIFY(state.texts().isEmpty());
    }
};

QTEST_MAIN(AddDeviceDialogTest)
#include "add_device_dialog_test.moc"
