// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <vector>

#include "keys/derive.h"
#include "platform/bytes.h"
#include "sim/firmware_files.h"
#include "sim/pib.h"
#include "tests/ui/page_test_state.h"
#include "ui/config_image_dialog.h"
#include "ui/operation_runner.h"
#include "ui/pib_nvm_dialog.h"
#include "ui/upgrade_progress_dialog.h"

using namespace corvel;
using namespace corvel::ui;
using corvel::test::PageTestState;

namespace {

const QString kStop = QStringLiteral("Stop: Please select a PIB and Firmware files\n");
const QString kDeviceType = QStringLiteral(
    "Local Device Type: Local Device is HomePlug AV Device\nMake sure you have selected correct "
    "files to upgrade firmware");
const QString kWarning = QStringLiteral(
    "Warning....: Cancelling Upgrade process may destroy the device. Click Ok to continue.");

// Records which kinds of file were asked for and answers with `path`.
struct ScriptedChooser {
    QString path;
    QStringList asked;
    FirmwareFileChooser chooser() {
        return [this](QWidget*, const FirmwareFileKind& kind) {
            asked << QString::fromLatin1(kind.filter) + " " + QString::fromLatin1(kind.defaultSuffix);
            return path;
        };
    }
};

QPushButton* buttonNamed(QWidget* dialog, const QString& accessibleName) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->accessibleName() == accessibleName) return b;
    return nullptr;
}

UpgradeProgressDialog* visibleProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<UpgradeProgressDialog*>(w); d && d->isVisible()) return d;
    return nullptr;
}

QString writeFile(const PageTestState& state, const char* name, const std::vector<uint8_t>& bytes) {
    const QString path = state.dataDir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}

}  // namespace

class UpgradeDialogsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void browseAsksForTheRightKindOfFile_data() {
        QTest::addColumn<int>("dialogKind");  // 0 Config & Image, 1 PIB & NVM
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<int>("box");
        QTest::newRow("config") << 0 << "Browse.... Config" << "Config File (*.CFG) cfg" << 0;
        QTest::newRow("image") << 0 << "Browse.... Image" << "Firmware File (*.IMG) bin" << 1;
        QTest::newRow("pib") << 1 << "Browse... PIB" << "PIB File (*.PIB) pib" << 0;
        QTest::newRow("nvm") << 1 << "Browse... NVM" << "Firmware File (*.NVM) nvm" << 1;
    }
    void browseAsksForTheRightKindOfFile() {
        QFETCH(int, dialogKind);
        QFETCH(QString, button);
        QFETCH(QString, asked);
        QFETCH(int, box);
        PageTestState state;
        ScriptedChooser files{QStringLiteral("/tmp/chosen"), {}};
        ConfigImageDialog configImage(nullptr, files.chooser());
        PibNvmDialog pibNvm(nullptr, files.chooser());
        QDialog* dialog = dialogKind == 0 ? static_cast<QDialog*>(&configImage) : &pibNvm;
        QLineEdit* boxes[2] = {dialogKind == 0 ? configImage.configBox() : pibNvm.pibBox(),
                               dialogKind == 0 ? configImage.imageBox() : pibNvm.nvmBox()};
        QPushButton* browse = buttonNamed(dialog, button);
        QVERIFY(browse != nullptr);
        browse->click();
        QCOMPARE(files.asked, QStringList{asked});
        QCOMPARE(boxes[box]->text(), QStringLiteral("/tmp/chosen"));
        QCOMPARE(boxes[1 - box]->text(), QString());
        // A cancelled choice keeps what the box holds.
        files.path.clear();
        browse->click();
        QCOMPARE(boxes[box]->text(), QStringLiteral("/tmp/chosen"));
        // Turbo paths only come from the file dialog; PIB and NVM paths may also be typed.
        QCOMPARE(boxes[box]->isReadOnly(), dialogKind == 0);
        QCOMPARE(corvel::test::unnamedControls(dialog), QStringList());
    }

    void aMissingChoiceStopsTheAvUpgrade_data() {
        QTest::addColumn<QString>("pib");
        QTest::addColumn<QString>("nvm");
        QTest::newRow("only the PIB") << "a.pib" << "";
        QTest::newRow("only the NVM") << "" << "a.nvm";
        QTest::newRow("neither") << "" << "";
    }
    void aMissingChoiceStopsTheAvUpgrade() {
        QFETCH(QString, pib);
        QFETCH(QString, nvm);
        PageTestState state;
        PibNvmDialog dialog;
        int runs = 0;
        dialog.setWorker([&](const AvUpgradeFiles&, UpgradeControl&, const UpgradeWorkerHooks&) {
            ++runs;
            return UpgradeOutcome::Upgraded;
        });
        dialog.show();
        dialog.pibBox()->setText(pib);
        dialog.nvmBox()->setText(nvm);
        dialog.accept();
        QCOMPARE(state.texts(), QStringList{kStop});
        QCOMPARE(state.recorder.messages[0].icon, Icon::Error);
        QVERIFY(dialog.isVisible());
        QCOMPARE(runs, 0);
    }

    void cancellingTheDeviceTypeQuestionKeepsBothPaths() {
        PageTestState state;
        state.recorder.answers = {Button::Cancel};
        PibNvmDialog dialog;
        bool ran = false;
        dialog.setWorker([&](const AvUpgradeFiles&, UpgradeControl&, const UpgradeWorkerHooks&) {
            ran = true;
            return UpgradeOutcome::Upgraded;
        });
        dialog.show();
        dialog.pibBox()->setText(QStringLiteral("/fw/a.pib"));
        dialog.nvmBox()->setText(QStringLiteral("/fw/a.nvm"));
        dialog.accept();
        QCOMPARE(state.texts(), QStringList{kDeviceType});
        QVERIFY(dialog.isVisible());
        QVERIFY(!ran);
        QCOMPARE(dialog.pibBox()->text(), QStringLiteral("/fw/a.pib"));
        QCOMPARE(dialog.nvmBox()->text(), QStringLiteral("/fw/a.nvm"));
    }

    // The worker runs off the GUI thread with the files chosen; while it runs the file dialog
    // is hidden and "Upgrading Local Device" is up; afterwards both are closed and the scan
    // stays paused.
    void aConfirmedUpgradeRunsOnTheWorker() {
        PageTestState state;
        setAutoscan(true);
        PibNvmDialog dialog;
        std::atomic<bool> onWorker{false};
        bool fileDialogHidden = false;
        QString progressTitle;
        QStringList progressUnnamed{"not shown"};
        AvUpgradeFiles seen;
        dialog.setWorker([&](const AvUpgradeFiles& files, UpgradeControl&,
                             const UpgradeWorkerHooks& hooks) {
            onWorker = QThread::currentThread() != qApp->thread();
            seen = files;
            hooks.hideFileDialog();
            runOnGuiThread([&] {
                fileDialogHidden = !dialog.isVisible();
                if (UpgradeProgressDialog* p = visibleProgressDialog()) {
                    progressTitle = p->windowTitle();
                    progressUnnamed = corvel::test::unnamedControls(p);
                }
            });
            hooks.closeProgress();
            return UpgradeOutcome::Upgraded;
        });
        dialog.show();
        dialog.pibBox()->setText(QStringLiteral("/fw/a.pib"));
        dialog.nvmBox()->setText(QStringLiteral("/fw/a.nvm"));
        dialog.accept();
        QVERIFY(onWorker);
        QCOMPARE(seen.pibPath, std::string("/fw/a.pib"));
        QCOMPARE(seen.firmwarePath, std::string("/fw/a.nvm"));
        QVERIFY(fileDialogHidden);
        QCOMPARE(progressTitle, QStringLiteral("Upgrading Local Device"));
        QCOMPARE(progressUnnamed, QStringList());
        QCOMPARE(dialog.outcome(), std::optional<UpgradeOutcome>(UpgradeOutcome::Upgraded));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QVERIFY(visibleProgressDialog() == nullptr);
        QCOMPARE(core.scanPaused, 1);
    }

    // Cancel while the upgrade runs: the warning first; OK stops the worker at its next check,
    // Cancel lets it go on.
    void cancelAsksBeforeStoppingTheUpgrade_data() {
        QTest::addColumn<Button>("answer");
        QTest::addColumn<bool>("stopped");
        QTest::newRow("stop") << Button::Ok << true;
        QTest::newRow("go on") << Button::Cancel << false;
    }
    void cancelAsksBeforeStoppingTheUpgrade() {
        QFETCH(Button, answer);
        QFETCH(bool, stopped);
        PageTestState state;
        state.recorder.answers = {Button::Ok, answer};  // device type, then the warning
        PibNvmDialog dialog;
        dialog.setWorker([&](const AvUpgradeFiles&, UpgradeControl& control,
                             const UpgradeWorkerHooks& hooks) {
            // The user presses Cancel on the progress dialog between two frames.
            runOnGuiThread([] { visibleProgressDialog()->cancelButton()->click(); });
            const bool cancelled = control.cancelRequested();
            hooks.closeProgress();
            return cancelled ? UpgradeOutcome::Cancelled : UpgradeOutcome::Upgraded;
        });
        dialog.show();
        dialog.pibBox()->setText(QStringLiteral("/fw/a.pib"));
        dialog.nvmBox()->setText(QStringLiteral("/fw/a.nvm"));
        dialog.accept();
        QCOMPARE(state.texts(), (QStringList{kDeviceType, kWarning}));
        QCOMPARE(dialog.outcome(),
                 std::optional<UpgradeOutcome>(stopped ? UpgradeOutcome::Cancelled
                                                       : UpgradeOutcome::Upgraded));
        QVERIFY(!dialog.isVisible());
    }

    // The real worker on files that cannot be read: its error, and both dialogs closed.
    void anUnreadableFirmwareFileFailsWithItsMessage() {
        PageTestState state;
        PibNvmDialog dialog;
        dialog.show();
        dialog.pibBox()->setText(state.dataDir.filePath(QStringLiteral("missing.pib")));
        dialog.nvmBox()->setText(state.dataDir.filePath(QStringLiteral("missing.nvm")));
        dialog.accept();
        QCOMPARE(dialog.outcome(), std::optional<UpgradeOutcome>(UpgradeOutcome::Failed));
        QCOMPARE(state.texts().value(1), QStringLiteral("Error: Unable to open firmware file"));
        QVERIFY(!dialog.isVisible());
        QVERIFY(visibleProgressDialog() == nullptr);
    }

    // The real worker on a firmware file whose second image has one bit flipped, its headers
    // as they were: refused with the image and both checksums, before any frame is sent.
    void aFirmwareImageWithAFlippedBitIsRefusedWithBothChecksums() {
        PageTestState state;
        state.wire.addInterface("host0", Mac{0x02, 0, 0, 0, 0, 1});
        std::vector<uint8_t> nvm = sim::buildNvm({{0x00100000, 1000}, {0x00200000, 2000}});
        const size_t second = 44 + 1000;
        nvm[second + 44 + 7] ^= 0x80;
        char values[96];
        std::snprintf(values, sizeof values, "checksum 0x%08X, its 500 words give 0x%08X",
                      get32le(&nvm[second + 16]), sim::complementedWordXor(&nvm[second + 44], 2000));
        const QString nvmPath = writeFile(state, "flipped.nvm", nvm);
        const QString pibPath = writeFile(
            state, "good.pib", sim::buildPib(PageTestState::macOf(1), publicAvKey(), 3, 3));
        PibNvmDialog dialog;
        dialog.show();
        dialog.pibBox()->setText(pibPath);
        dialog.nvmBox()->setText(nvmPath);
        dialog.accept();
        QCOMPARE(dialog.outcome(), std::optional<UpgradeOutcome>(UpgradeOutcome::Failed));
        QCOMPARE(state.texts().value(1),
                 QStringLiteral("Error: Wrong NVM Block Header: image 1 (header at 1044): its "
                                "header gives the image ") +
                     QString::fromLatin1(values));
        QVERIFY(state.wire.sent().empty());
        QVERIFY(visibleProgressDialog() == nullptr);
    }

    void configAndImageRunsTheTurboUpgradeAndKeepsTheScanPaused() {
        PageTestState state;
        setAutoscan(true);
        ConfigImageDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Config & Image"));
        QCOMPARE(core.scanPaused, 1);
        dialog.show();
        dialog.accept();  // no image chosen: the upgrade refuses with its own message
        QCOMPARE(state.texts(), QStringList{"Error: No File is selected"});
        QVERIFY(!dialog.isVisible());
        QCOMPARE(core.scanPaused, 1);
    }

    // Resuming skips the reset into the loader and writes at the loader's address: with no
    // interface to send on, the upgrade then fails at its first block instead of at the reset.
    void resumeGoesStraightToTheLoader() {
        for (const bool resume : {false, true}) {
            PageTestState state;
            QFile image(state.dataDir.filePath(QStringLiteral("mac.img")));
            QVERIFY(image.open(QIODevice::WriteOnly));
            image.write(QByteArray(3000, 'x'));
            image.close();
            core.currentAdapter = 0;
            const Mac device{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x10};
            copyMac(core.adapters[0].localMac, device.data());
            ConfigImageDialog dialog;
            QCheckBox* box = dialog.resumeBox();
            QCOMPARE(box->accessibleName(), QStringLiteral("Resume an interrupted upgrade"));
            QVERIFY(!box->isChecked());
            box->setChecked(resume);
            dialog.imageBox()->setText(image.fileName());
            dialog.show();
            dialog.accept();
            QCOMPARE(state.texts(), QStringList{resume ? "Error: MAC Image Sending Failed"
                                                       : "Error: Reset Device to Secondary "
                                                         "Loader Failed"});
            Mac local{};
            copyLocalMac(local.data());
            const Mac loader{0x00, 0x04, 0x87, 0xFE, 0x11, 0x00};
            QVERIFY(local == (resume ? loader : device));
        }
    }

    void cancelPutsTheScanBackAsFound() {
        PageTestState state;
        setAutoscan(true);
        {
            ConfigImageDialog dialog;
            dialog.reject();
        }
        QCOMPARE(core.scanPaused, 0);
        {
            PibNvmDialog dialog;
            QCOMPARE(core.scanPaused, 1);
            dialog.reject();
        }
        QCOMPARE(core.scanPaused, 0);
        QVERIFY(state.texts().isEmpty());
    }
};

QTEST_MAIN(UpgradeDialogsTest)
#include "upgrade_dialogs_test.moc"
