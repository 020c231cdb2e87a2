// SPDX-License-Identifier: MIT
#include "ui/main_page_commands.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "keys/derive.h"
#include "tests/ui/ui_sim_fixture.h"
#include "ui/add_device_dialog.h"
#include "ui/device_password_dialog.h"
#include "ui/main_page.h"

using namespace corvel;
using namespace corvel::test;
using namespace corvel::ui;

namespace {

// Once the dialog the command opens is up: its title, then `act` on it (by default Cancel).
// Looked for until it shows, since the command may run an operation first.
struct ModalDialogScript {
    QString title;
    std::function<void(QDialog&)> act = [](QDialog& d) { d.reject(); };
    QTimer poll;
    void arm() {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            poll.stop();
            title = dialog->windowTitle();
            act(*dialog);
        });
        poll.start();
    }
};

QStringList texts(const RecordingNotifier& recorder) {
    QStringList out;
    for (const auto& m : recorder.messages) out << QString::fromStdString(m.title + ": " + m.text);
    return out;
}

}  // namespace

// The Main page's Enter Password, Add and Upgrade Firmware open their dialogs.
class MainPageCommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    std::unique_ptr<UiSim> sim;
    std::unique_ptr<MainPage> page;

private Q_SLOTS:
    void init() {
        sim = std::make_unique<UiSim>(scratch.path());
        page = std::make_unique<MainPage>(scratch.path().toStdString());
    }
    void cleanup() {
        page.reset();
        sim.reset();
    }

    void upgradeOpensTheDialogOfTheLocalFamily_data() {
        QTest::addColumn<bool>("turbo");
        QTest::addColumn<bool>("av");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("Turbo") << true << false << QStringList{} << "Config & Image";
        // No interface is open: the firmware type cannot be read, the dialog opens all the same.
        QTest::newRow("AV") << false << true
                            << QStringList{"Information: Can not retrive firmware type of local "
                                           "device"}
                            << "Select PIB & NVM files";
        QTest::newRow("plain 1.0")
            << false << false
            << QStringList{"Stop: Application does not have firmware upgrade capabilty for this "
                           "type of devices"}
            << "";
    }
    void upgradeOpensTheDialogOfTheLocalFamily() {
        QFETCH(bool, turbo);
        QFETCH(bool, av);
        QFETCH(QStringList, messages);
        QFETCH(QString, dialog);
        MainPageCommands commands(*page);
        core.localIsTurbo = turbo;
        core.localIsAv = av;
        ModalDialogScript script;
        script.arm();
        commands.upgradeFirmware();
        QCOMPARE(texts(sim->recorder), messages);
        QCOMPARE(script.title, dialog);
    }

    void enterPasswordWithoutASelectionOpensNothing() {
        MainPageCommands commands(*page);
        ModalDialogScript script;
        script.arm();
        commands.enterPassword();
        QCOMPARE(texts(sim->recorder),
                 QStringList{"Attention!: Please select a device first by clicking on it."});
        QCOMPARE(script.title, QString());
    }

    // On the simulated network: the password of the selected station, typed in lower case, is
    // proved on the device and shown upper-cased in the row's Password column.
    void enterPasswordProvesItOnTheSelectedStation() {
        MainPageCommands commands(*page);
        startWithOneCycle(*page, *sim);
        const QString mac = QString::fromStdString(formatMac(kAvStation));
        const int row = page->remoteModel().findRowByMac(mac);
        QVERIFY(row >= 0);
        page->remoteList().selectRow(row);
        const std::string password = sim::defaultPassword(kAvStation);
        ModalDialogScript script;
        script.act = [&](QDialog& d) {
            auto& dialog = static_cast<DevicePasswordDialog&>(d);
            dialog.passwordBox()->setText(QString::fromStdString(password).toLower());
            dialog.accept();
        };
        script.arm();
        commands.enterPassword();
        QCOMPARE(script.title, QStringLiteral("Set Device Password"));
        QCOMPARE(texts(sim->recorder), QStringList{});
        const int k = findDeviceByMac(kAvStation.data());
        QVERIFY(k != 0);
        QCOMPARE(stringOf(core.devices[k - 1].password), password);
        QCOMPARE(page->remoteModel().cell(page->remoteModel().findRowByMac(mac),
                                          ColumnKind::Password),
                 QString::fromStdString(password));
    }

    // On the simulated network: a new device on another network is added by its password
    // alone. The dialog then waits (OK disabled, so no second add can start) until the page's
    // refresh sees the device, enters it under the typed name and closes the dialog.
    void addBringsANewDeviceOnToTheNetwork() {
        MainPageCommands commands(*page);
        const Mac newcomer{0x00, 0xB0, 0x52, 0x00, 0x00, 0x31};
        DeviceConfig config = deviceConfig(sim::Family::Av, newcomer, "MNBV-CXZL-KJHG-FDSA");
        config.nmk = deriveNMK("Elsewhere");
        sim->net.addStation(0, config);
        startWithOneCycle(*page, *sim);
        QCOMPARE(findDeviceByMac(newcomer.data()), 0);

        bool waited = false;
        bool okDisabled = false;
        ModalDialogScript script;
        script.act = [&](QDialog& d) {
            auto& dialog = static_cast<AddDeviceDialog&>(d);
            dialog.nameBox()->setText(QStringLiteral("Attic"));
            dialog.passwordBox()->setText(QStringLiteral("MNBV-CXZL-KJHG-FDSA"));
            dialog.accept();
            waited = dialog.waitingForDevice() && dialog.isVisible();
            okDisabled = !dialog.okButton()->isEnabled();
            // The periodic scan runs on while the dialog waits.
            for (int i = 0; i < 20 && dialog.isVisible(); ++i) sim->timer.runFor(3000);
        };
        script.arm();
        commands.addDevice();
        QCOMPARE(script.title, QStringLiteral("Add Device to Network"));
        QVERIFY(waited);
        QVERIFY(okDisabled);
        const int k = findDeviceByMac(newcomer.data());
        QVERIFY(k != 0);
        QCOMPARE(stringOf(core.devices[k - 1].name), std::string("Attic"));
        QCOMPARE(stringOf(core.devices[k - 1].password), std::string("MNBV-CXZL-KJHG-FDSA"));
        QVERIFY(sim->net.device(newcomer)->nmk() == sim->net.port(0).local->nmk());
        QVERIFY(!pendingAdd().active);
    }

    // The page's refresh, on adopting the added device, closes the open Add Device dialog.
    void theAdoptedDeviceClosesTheAddDialog() {
        MainPageCommands commands(*page);
        ModalDialogScript script;
        int result = -1;
        script.act = [&](QDialog& d) {
            Q_EMIT page->addDeviceAdopted();
            result = d.result();
        };
        script.arm();
        commands.addDevice();
        QCOMPARE(script.title, QStringLiteral("Add Device to Network"));
        QCOMPARE(result, int(QDialog::Accepted));
    }
};

QTEST_MAIN(MainPageCommandsTest)
#include "main_page_commands_test.moc"
