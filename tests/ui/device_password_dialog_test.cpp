// SPDX-License-Identifier: MIT
#include "ui/device_password_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "tests/ui/page_test_state.h"

using namespace corvel;
using namespace corvel::ui;
using corvel::test::PageTestState;

namespace {
const QString kMac = QStringLiteral("00:B0:52:00:00:07");
const QString kBadFormat = QStringLiteral(
    "Invalid Entry: The Device Password Format Entered is Invalid.\nPlease Enter a Password as a "
    "number and letter code,\nin groups of four, separated by dashes.");
}  // namespace

class DevicePasswordDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensWithTheBarePassword_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("none") << "" << "PASS-WORD-GOES-HERE";
        QTest::newRow("verified") << "ABCD-EFGH-JKMN-PQRS" << "ABCD-EFGH-JKMN-PQRS";
        QTest::newRow("refused") << "Not ABCD-EFGH-JKMN-PQRS" << "ABCD-EFGH-JKMN-PQRS";
        QTest::newRow("unchecked") << "CHECK ABCD-EFGH-JKMN-PQRS" << "ABCD-EFGH-JKMN-PQRS";
        QTest::newRow("both prefixes") << "CHECK Not ABCD-EFGH-JKMN-PQRS"
                                       << "ABCD-EFGH-JKMN-PQRS";
    }
    void opensWithTheBarePassword() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        PageTestState state;
        const int k = PageTestState::addDevice(7, "Kitchen", stored.toStdString());
        DevicePasswordDialog dialog(QStringLiteral("Kitchen"), kMac);
        QCOMPARE(dialog.passwordBox()->text(), shown);
        QCOMPARE(dialog.passwordBox()->selectedText(), shown);
        QCOMPARE(dialog.passwordBox()->maxLength(), 19);
        // The record loses its prefixes when the dialog opens.
        const QString bare = shown == "PASS-WORD-GOES-HERE" ? QString() : shown;
        QCOMPARE(QString::fromStdString(stringOf(core.devices[k - 1].password)), bare);
        QVERIFY(dialog.findChild<QLabel*>() != nullptr);
        QCOMPARE(corvel::test::unnamedControls(&dialog), QStringList());
    }

    void showsTheDeviceAndHelp() {
        PageTestState state;
        PageTestState::addDevice(7, "Kitchen", "");
        DevicePasswordDialog dialog(QStringLiteral("Kitchen"), kMac);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Set Device Password"));
        QStringList labels;
        for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
        QVERIFY(labels.contains(QStringLiteral("Kitchen  (00:B0:52:00:00:07)")));
        QVERIFY(labels.contains(QStringLiteral(
            "The Password typically appears as a number and letter code, in groups of four, "
            "separated by dashes.\n\n(ie RT5V-KM38-PX2N-HCQA)\nIt is found on the device or "
            "packaging.")));
        QCOMPARE(dialog.progressLabel()->text(), QString());
    }

    void noDeviceRecordOpensNothing_data() {
        QTest::addColumn<QString>("mac");
        QTest::newRow("no row selected") << QString();
        QTest::newRow("row without a record") << QStringLiteral("00:B0:52:00:00:08");
    }
    void noDeviceRecordOpensNothing() {
        QFETCH(QString, mac);
        PageTestState state;
        setAutoscan(true);
        PageTestState::addDevice(7, "Kitchen", "");
        QCOMPARE(DevicePasswordDialog::execForRow(QStringLiteral("Acme Device 2"), mac, nullptr), 0);
        QCOMPARE(state.texts(),
                 QStringList{"Attention!: Please select a device first by clicking on it."});
        QCOMPARE(core.scanPaused, 0);
    }

    void refusedEntriesKeepTheDialogOpen_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("boxAfter");
        QTest::addColumn<QString>("message");
        QTest::newRow("placeholder") << "PASS-WORD-GOES-HERE" << "PASS-WORD-GOES-HERE"
                                     << "Attention!: Please enter a Password.";
        QTest::newRow("bad format, upper-cased in the box")
            << "abcd-efgh-jk" << "ABCD-EFGH-JK" << kBadFormat;
        QTest::newRow("empty") << "" << "" << kBadFormat;
    }
    void refusedEntriesKeepTheDialogOpen() {
        QFETCH(QString, typed);
        QFETCH(QString, boxAfter);
        QFETCH(QString, message);
        PageTestState state;
        setAutoscan(true);
        const int k = PageTestState::addDevice(7, "Kitchen", "");
        DevicePasswordDialog dialog(QStringLiteral("Kitchen"), kMac);
        dialog.show();
        dialog.passwordBox()->setText(typed);
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), 0);
        QCOMPARE(dialog.passwordBox()->text(), boxAfter);
        QCOMPARE(state.texts(), QStringList{message});
        QCOMPARE(QString::fromStdString(stringOf(core.devices[k - 1].password)), QString());
        QCOMPARE(core.scanPaused, 1);  // still paused while the dialog is open
    }

    // Without a host address nothing can be checked: the password is kept with "CHECK ", typed
    // in lower case but stored upper-cased, and the scan goes back on as it was.
    void anUncheckablePasswordIsStoredWithItsMark() {
        PageTestState state;
        setAutoscan(true);
        const int k = PageTestState::addDevice(7, "Kitchen", "");
        DevicePasswordDialog dialog(QStringLiteral("Kitchen"), kMac);
        dialog.show();
        dialog.passwordBox()->setText(QStringLiteral("abcd-efgh-jkmn-pqrs"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.storedPassword(), QStringLiteral("CHECK ABCD-EFGH-JKMN-PQRS"));
        QCOMPARE(QString::fromStdString(stringOf(core.devices[k - 1].password)),
                 QStringLiteral("CHECK ABCD-EFGH-JKMN-PQRS"));
        QCOMPARE(dialog.progressLabel()->text(),
                 QStringLiteral("Please be patient, this may take some time."));
        QCOMPARE(core.scanPaused, 0);
        QVERIFY(!operationHooks().passwordProgressTarget);  // unregistered after the check
    }

    // The refusal's immediate scan sets autoscan as the preferences say (off here); the dialog
    // must not turn it back on as it found it.
    void oldTurboFirmwareClosesWithTheScanPaused() {
        PageTestState state;
        preferences().autoScan = 0;
        setAutoscan(true);
        PageTestState::addDevice(7, "Kitchen", "");
        core.turboFirmwareTooOld = 1;
        DevicePasswordDialog dialog(QStringLiteral("Kitchen"), kMac);
        dialog.show();
        dialog.passwordBox()->setText(QStringLiteral("ABCD-EFGH-JKMN-PQRS"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(state.texts().value(0),
                 QStringLiteral("Attention!: Please upgrade the Device's FirmWare to 1.8 and then "
                                "try to Enter Password.\nThe present device has older FirmWare "
                                "version."));
        QCOMPARE(core.turboFirmwareTooOld, uint8_t(0));
        QCOMPARE(core.scanPaused, 1);
    }

    void cancelPutsTheScanBackAsFound_data() {
        QTest::addColumn<bool>("autoscan");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }
    void cancelPutsTheScanBackAsFound() {
        QFETCH(bool, autoscan);
        PageTestState state;
        setAutoscan(autoscan);
        PageTestState::addDevice(7, "Kitchen", "ABCD-EFGH-JKMN-PQRS");
        DevicePasswordDialog dialog(QStringLiteral("Kitchen"), kMac);
        QCOMPARE(core.scanPaused, 1);
        dialog.show();
        dialog.reject();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(core.scanPaused, autoscan ? 0 : 1);
        QVERIFY(state.texts().isEmpty());
    }
};

QTEST_MAIN(DevicePasswordDialogTest)
#include "device_password_dialog_test.moc"
