// SPDX-License-Identifier: MIT
#include "platform/notifier.h"

#include <gtest/gtest.h>

#include <sstream>

namespace corvel {
namespace {

TEST(RecordingNotifier, RecordsMessagesAndAnswersFromScriptThenDefault) {
    RecordingNotifier recorder;
    ScopedNotifier scope(recorder);
    recorder.answers = {Button::No};
    EXPECT_EQ(notifier().notify("Attention!", "Sure?", Icon::Question, Buttons::YesNo), Button::No);
    EXPECT_EQ(notifier().notify("Information", "Done", Icon::Information, Buttons::Ok), Button::Ok);
    EXPECT_EQ(notifier().notify("Attention!", "Again?", Icon::Question, Buttons::YesNo),
              Button::Yes);
    ASSERT_EQ(recorder.messages.size(), 3u);
    EXPECT_EQ(recorder.messages[1].title, "Information");
    EXPECT_EQ(recorder.messages[1].text, "Done");
    EXPECT_EQ(recorder.messages[1].icon, Icon::Information);
}

TEST(StreamNotifier, PrintsTitleAndTextAndAnswersByConsent) {
    std::ostringstream out;
    StreamNotifier declining(out, false);
    StreamNotifier consenting(out, true);
    EXPECT_EQ(declining.notify("Attention!", "Proceed?", Icon::Question, Buttons::YesNo), Button::No);
    EXPECT_EQ(declining.notify("Stop", "Go?", Icon::Question, Buttons::OkCancel), Button::Cancel);
    EXPECT_EQ(consenting.notify("Attention!", "Proceed?", Icon::Question, Buttons::YesNo),
              Button::Yes);
    EXPECT_EQ(out.str(), "Attention!: Proceed?\nStop: Go?\nAttention!: Proceed?\n");
}

}  // namespace
}  // namespace corvel
