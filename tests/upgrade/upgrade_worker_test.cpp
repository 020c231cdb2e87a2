// SPDX-License-Identifier: MIT
#include "tests/upgrade/upgrade_sim_fixture.h"
#include "upgrade/upgrade_thread.h"

namespace corvel::test {
namespace {

const std::string kSuccessText = " Device Upgraded\n Device will now reboot, do not remove power. ";

// Records when each message was shown, on the virtual clock.
class TimedNotifier : public Notifier {
public:
    explicit TimedNotifier(Clock& clock) : clock_(clock) {}
    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override {
        at.push_back(clock_.tickCount());
        return recorder.notify(title, text, icon, buttons);
    }
    RecordingNotifier recorder;
    std::vector<uint64_t> at;

private:
    Clock& clock_;
};

class UpgradeWorker : public UpgradeSim {
protected:
    void startAv() {
        DeviceConfig config = deviceConfig(Family::Av, kAvLocal);
        local = &start(config);
        copyText(avExchangeState().localChipName, "QRB1000");
        avExchangeState().upgradeCommits = true;
        files = {write("fw.nvm", sim::buildNvmOfSize(20000)),
                 write("fw.pib", sim::buildPib(kAvLocal, publicAvKey(), 3, 3))};
    }
    // What the front end saw, in order.
    UpgradeWorkerHooks hooks() {
        return {[this] { seen.push_back("hide"); }, [this] { seen.push_back("close"); }};
    }
    uint64_t commitSentAt() const {
        for (const auto& f : sent())
            if (get16le(&f.bytes[15]) == 0xA028) return f.atMs;
        return 0;
    }

    sim::Device* local = nullptr;
    AvUpgradeFiles files;
    std::vector<std::string> seen;
};

TEST_F(UpgradeWorker, SuccessIsShownTenSecondsAfterTheCommit) {
    startAv();
    TimedNotifier timed(clock);
    ScopedNotifier scope(timed);
    EXPECT_EQ(upgradeWorker(files, control, hooks()), UpgradeOutcome::Upgraded);
    EXPECT_EQ(seen, (std::vector<std::string>{"hide", "close"}));
    ASSERT_EQ(timed.recorder.messages.size(), 1u);
    EXPECT_EQ(timed.recorder.messages[0].title, "Success");
    EXPECT_EQ(timed.recorder.messages[0].text, kSuccessText);
    EXPECT_EQ(timed.recorder.messages[0].icon, Icon::Information);
    ASSERT_NE(commitSentAt(), 0u);
    EXPECT_GE(timed.at[0] - commitSentAt(), 10000u);
    EXPECT_LE(timed.at[0] - commitSentAt(), 10010u);
}

TEST_F(UpgradeWorker, AFailureClosesTheProgressWithItsOwnMessageOnly) {
    startAv();
    files.firmwarePath = missing();
    EXPECT_EQ(upgradeWorker(files, control, hooks()), UpgradeOutcome::Failed);
    EXPECT_EQ(seen, (std::vector<std::string>{"hide", "close"}));
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Unable to open firmware file"});
}

// The worker runs on its own thread; a cancel from the front end stops it between frames and
// no success is claimed.
TEST_F(UpgradeWorker, TheThreadEndsWithItsOutcome) {
    startAv();
    {
        AvUpgradeThread thread;
        EXPECT_FALSE(thread.join().has_value());
        ASSERT_TRUE(thread.start(files, hooks()));
        EXPECT_FALSE(thread.start(files, {}));
        EXPECT_EQ(thread.join(), UpgradeOutcome::Upgraded);
    }
    {
        AvUpgradeThread thread;
        thread.control().progress = [&thread](const UpgradeProgress& p) {
            if (p.framesDone == 3) thread.cancel();
        };
        ASSERT_TRUE(thread.start(files, hooks()));
        EXPECT_EQ(thread.join(), UpgradeOutcome::Cancelled);
    }
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kSuccessText});
    EXPECT_EQ(avOperation().kind, 0);
}

TEST_F(UpgradeWorker, TheChecksBeforeStartingAskTheUser) {
    struct Case {
        AvUpgradeFiles files;
        Button answer;
        UpgradeStart start;
        const char* title;
    };
    const Case cases[] = {
        {{"", "fw.pib"}, Button::Ok, UpgradeStart::filesMissing, "Stop"},
        {{"fw.nvm", ""}, Button::Ok, UpgradeStart::filesMissing, "Stop"},
        {{"fw.nvm", "fw.pib"}, Button::Cancel, UpgradeStart::declined, "Local Device Type"},
        {{"fw.nvm", "fw.pib"}, Button::Ok, UpgradeStart::confirmed, "Local Device Type"},
    };
    for (const Case& c : cases) {
        recorder.messages.clear();
        recorder.answers = {c.answer};
        EXPECT_EQ(confirmAvUpgradeStart(c.files), c.start) << c.title;
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].title, c.title);
    }
    EXPECT_EQ(recorder.messages[0].text,
              "Local Device is HomePlug AV Device\nMake sure you have selected correct files to "
              "upgrade firmware");
    EXPECT_EQ(recorder.messages[0].buttons, Buttons::OkCancel);

    recorder.answers = {Button::Cancel, Button::Ok};
    EXPECT_FALSE(confirmUpgradeCancel());
    EXPECT_TRUE(confirmUpgradeCancel());
    EXPECT_EQ(recorder.messages.back().title, "Warning....");
    EXPECT_EQ(recorder.messages.back().text,
              "Cancelling Upgrade process may destroy the device. Click Ok to continue.");
}

}  // namespace
}  // namespace corvel::test
