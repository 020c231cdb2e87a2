// SPDX-License-Identifier: MIT
#include "ui/privacy_page.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <algorithm>

#include "keys/derive.h"
#include "tests/ui/page_test_state.h"
#include "tests/ui/ui_sim_fixture.h"

using namespace corvel;
using namespace corvel::ui;
using corvel::test::PageTestState;

namespace {

const QString kInvalidName = QStringLiteral(
    "Invalid Entry: The Network Name Entered is Invalid.\nPlease Enter a Network Name between 4 "
    "and 24 characters");
const QString kConfirmAll = QStringLiteral(
    "Network Name Setting : Setting the network name on the devices whose password has been "
    "entered\nThis may take few seconds....Click on 'Ok' button.");

// The selected interface with its local device present (or not), of the AV family or not, on
// the network `name`.
void selectLocal(bool present, bool av, const char* name) {
    core.currentAdapter = 0;
    core.localIsAv = av ? 1 : 0;
    core.adapters[0].localPresent = present ? 1 : 0;
    core.stationTables[0].localPresent = present ? 1 : 0;
    copyText(core.stationTables[0].networkName, name);
}

}  // namespace

class PrivacyPageTest : public QObject {
    Q_OBJECT
    // The sheet's flag, as it is when the program starts.
    bool firstVisit = true;

private Q_SLOTS:
    void init() { firstVisit = true; }

    void theNameBoxOpensWithThePresentNetwork_data() {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("shown");
        QTest::newRow("local device present") << true << "Upstairs";
        QTest::newRow("no local device") << false << "";
    }
    void theNameBoxOpensWithThePresentNetwork() {
        QFETCH(bool, present);
        QFETCH(QString, shown);
        PageTestState state;
        selectLocal(present, false, "Upstairs");
        PrivacyPage page(firstVisit);
        QCOMPARE(page.nameBox()->text(), shown);
        QCOMPARE(page.nameBox()->selectedText(), shown);
        page.activate();
        QCOMPARE(page.nameBox()->text(), shown);
        QCOMPARE(corvel::test::unnamedControls(&page), QStringList());
    }

    void useDefaultNamesThePublicNetworkOfTheFamily_data() {
        QTest::addColumn<bool>("av");
        QTest::addColumn<QString>("name");
        QTest::newRow("AV") << true << "HomePlugAV";
        QTest::newRow("1.0 or Turbo") << false << "HomePlug";
    }
    void useDefaultNamesThePublicNetworkOfTheFamily() {
        QFETCH(bool, av);
        QFETCH(QString, name);
        PageTestState state;
        selectLocal(true, av, "Upstairs");
        PrivacyPage page(firstVisit);
        page.defaultButton()->click();
        QCOMPARE(page.nameBox()->text(), name);
        QCOMPARE(page.nameBox()->selectedText(), name);
    }

    void aTwentyFifthCharacterIsCutOff() {
        PageTestState state;
        PrivacyPage page(firstVisit);
        QTest::keyClicks(page.nameBox(), QStringLiteral("abcdefghijklmnopqrstuvwx"));
        QVERIFY(state.texts().isEmpty());
        QTest::keyClicks(page.nameBox(), QStringLiteral("y"));
        QCOMPARE(page.nameBox()->text(), QStringLiteral("abcdefghijklmnopqrstuvwx"));
        QCOMPARE(page.nameBox()->selectedText(), page.nameBox()->text());
        QCOMPARE(state.texts(), QStringList{kInvalidName});
    }

    // A refused name changes nothing and leaves the scan running.
    void anInvalidNameIsRefusedByBothButtons_data() {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("name");
        QTest::newRow("local, too short") << false << "abc";
        QTest::newRow("all, too short") << true << "abc";
        QTest::newRow("local, not ASCII") << false << QStringLiteral("Wohnzimmer\u00e4");
    }
    void anInvalidNameIsRefusedByBothButtons() {
        QFETCH(bool, all);
        QFETCH(QString, name);
        PageTestState state;
        selectLocal(true, true, "HomePlugAV");
        setAutoscan(true);
        PrivacyPage page(firstVisit);
        page.nameBox()->setText(name);
        (all ? page.setAllButton() : page.setLocalButton())->click();
        QCOMPARE(state.texts(), QStringList{kInvalidName});
        QCOMPARE(QString::fromStdString(stringOf(core.stationTables[0].networkName)),
                 QStringLiteral("HomePlugAV"));
        QCOMPARE(core.scanPaused, 0);
        QCOMPARE(core.networkNamePending, uint8_t(0));
    }

    // Cancelling the confirmation sends nothing and gives both buttons back, but the name and
    // its key are already the selected interface's.
    void cancellingSetAllDevicesKeepsTheStoredName() {
        PageTestState state;
        selectLocal(true, true, "HomePlugAV");
        setAutoscan(true);
        state.recorder.answers = {Button::Cancel};
        PrivacyPage page(firstVisit);
        page.nameBox()->setText(QStringLiteral("DemoHome"));
        page.setAllButton()->click();
        QCOMPARE(state.texts().value(0), kConfirmAll);
        QVERIFY(page.setAllButton()->isEnabled());
        QVERIFY(page.setLocalButton()->isEnabled());
        QCOMPARE(QString::fromStdString(stringOf(core.stationTables[0].networkName)),
                 QStringLiteral("DemoHome"));
        const Key16 nmk = deriveNMK("DemoHome");
        QVERIFY(std::equal(nmk.begin(), nmk.end(), core.stationTables[0].networkKey));
        QCOMPARE(core.scanPaused, 0);
    }

    // The first visit with an AV local device scans once (here finding no adapter); later
    // visits, and a first visit with another family, do not.
    void theFirstVisitScansOnceForAnAvDevice_data() {
        QTest::addColumn<bool>("av");
        QTest::addColumn<int>("scans");
        QTest::newRow("AV") << true << 1;
        QTest::newRow("1.0 or Turbo") << false << 0;
    }
    void theFirstVisitScansOnceForAnAvDevice() {
        QFETCH(bool, av);
        QFETCH(int, scans);
        PageTestState state;
        selectLocal(true, av, "HomePlugAV");
        PrivacyPage page(firstVisit);
        page.activate();
        page.activate();
        QVERIFY(!firstVisit);
        const QString notDetected = QStringLiteral(
            "HomePlug Adapter NOT DETECTED: The HomePlug Adapter was not detected.\nPlease check "
            "your computer cables.");
        QCOMPARE(state.texts().count(notDetected), scans);
    }

    // On the simulated AV network: Set Local Device Only puts the local device alone on the
    // key of the name, through the operation's worker, and says so.
    void setLocalDeviceOnlyKeysTheLocalDevice() {
        QTemporaryDir scratch;
        corvel::test::UiSim sim(scratch.path());
        QVERIFY(rescan());
        sim.recorder.answers.clear();
        PrivacyPage page(firstVisit);
        page.nameBox()->setText(QStringLiteral("DemoHome"));
        page.setLocalButton()->click();
        QVERIFY(sim.net.port(0).local->nmk() == deriveNMK("DemoHome"));
        QVERIFY(sim.net.device(corvel::test::kAvStation)->nmk() != deriveNMK("DemoHome"));
        QCOMPARE(sim.recorder.messages.back().text, std::string("Local network set to 'DemoHome'"));
        QVERIFY(page.setLocalButton()->isEnabled());
    }
};

QTEST_MAIN(PrivacyPageTest)
#include "privacy_page_test.moc"
