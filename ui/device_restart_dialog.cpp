// SPDX-License-Identifier: MIT
#include "ui/device_restart_dialog.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "av/device_restart.h"
#include "platform/notifier.h"
#include "ui/operation_runner.h"

namespace corvel::ui {

namespace {

constexpr char kTitle[] = "Restart Device";

// The wait: what is happening, and a bar over the longest a device may take to come back.
class RestartWaitDialog : public QDialog {
public:
    RestartWaitDialog(QWidget* parent, const QString& mac) : QDialog(parent), mac_(mac) {
        setWindowTitle(QString::fromLatin1(kTitle));
        label_ = new QLabel(this);
        bar_ = new QProgressBar(this);
        bar_->setRange(0, int(kRestartBackWithinMs / 1000));
        bar_->setAccessibleName(QStringLiteral("Seconds since the reset"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label_);
        layout->addWidget(bar_);
        say(QStringLiteral("Asking %1 to restart...").arg(mac_));
    }
    void confirmed() {
        say(QStringLiteral("Reset confirmed by %1; waiting for it to answer again (at most %2)")
                .arg(mac_, QString::fromStdString(restartSeconds(kRestartBackWithinMs))));
    }
    void waiting(uint64_t sinceResetMs) {
        say(QStringLiteral("Waiting for %1 to answer again: %2")
                .arg(mac_, QString::fromStdString(restartSeconds(sinceResetMs))));
        bar_->setValue(int(sinceResetMs / 1000));
    }

private:
    void say(const QString& text) {
        label_->setText(text);
        label_->setAccessibleName(text);
    }
    QString mac_;
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace

bool restartWithQuestion(QWidget* sheet, const Mac& device, const QString& what) {
    const std::string question =
        "Restart " + what.toStdString() + "? Its links are down until it is back.";
    if (notifier().notify(kTitle, question, Icon::Question, Buttons::YesNo) != Button::Yes)
        return false;
    const QString mac = QString::fromStdString(formatMac(device));
    RestartWaitDialog wait(sheet, mac);
    wait.show();
    RestartWatch watch;
    watch.confirmed = [&] { runOnGuiThread([&] { wait.confirmed(); }); };
    watch.waiting = [&](uint64_t ms) { runOnGuiThread([&] { wait.waiting(ms); }); };
    RestartOutcome outcome;
    runOperation(sheet, [&] { outcome = restartDevice(device, watch); });
    wait.hide();
    if (!outcome.back) {
        notifier().notify(kTitle, outcome.error, Icon::Error, Buttons::Ok);
        return false;
    }
    notifier().notify(kTitle,
                      formatMac(device) + " answers again " + restartSeconds(outcome.backAfterMs) +
                          " after its reset",
                      Icon::Information, Buttons::Ok);
    return true;
}

}  // namespace corvel::ui
