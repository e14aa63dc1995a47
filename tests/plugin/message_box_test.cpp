#include "plugin/message_box.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "plugin/folder_listing.h"
#include "plugin/recorded_messages.h"

namespace {

TEST(DeferredMessageBoxes, KeepsOnlyTheMessagesOfItsThreadUntilShown) {
  RecordedMessages shown;
  std::vector<DeferredMessageBoxes::Message> kept;
  std::thread worker([&] {
    DeferredMessageBoxes deferred;
    EXPECT_EQ(messageBox("first", "one"), 1);
    std::thread([] { messageBox("elsewhere", "other thread"); }).join();
    messageBox("second", "two");
    kept = deferred.take();
  });
  worker.join();
  EXPECT_EQ(shown.shown(), (std::vector<ShownMessage>{{"elsewhere", "other thread"}}));
  ASSERT_EQ(kept.size(), 2u);

  showMessageBoxes(kept);
  EXPECT_EQ(shown.shown(), (std::vector<ShownMessage>{
                               {"elsewhere", "other thread"}, {"first", "one"}, {"second", "two"}}));
  messageBox("after", "scope");  // the scope has ended: shown at once
  EXPECT_EQ(shown.shown().size(), 4u);
}

// A handful of boxes at most, the last counting the rest; a text cut after its tenth line.
TEST(BoxesShownAtStart, AHandfulOfBoxesThenOneForTheRest) {
  using Message = DeferredMessageBoxes::Message;
  auto problems = [](int count) {
    std::vector<Message> made;
    for (int i = 0; i < count; ++i) made.push_back({"text " + std::to_string(i), "file " + std::to_string(i), 0});
    return made;
  };
  for (int count : {0, 1, 5, 6, 60}) {
    const auto shown = boxesShownAtStart(problems(count), "the.log");
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(std::min(count, 5))) << count;
    for (int i = 0; i < std::min(count, count > 5 ? 4 : 5); ++i) EXPECT_EQ(shown[i].caption, "file " + std::to_string(i));
    if (count > 5) {
      EXPECT_EQ(shown[4].caption, "Velquor: more problems");
      EXPECT_EQ(shown[4].text, std::to_string(count - 4) +
                                   " more files of the animation folder have problems. Every problem "
                                   "is written in the log the.log in the game's folder.");
    }
  }

  std::string ten = "1", eleven;
  for (int i = 2; i <= 10; ++i) ten += "\n" + std::to_string(i);
  eleven = ten + "\n11";
  const auto shown = boxesShownAtStart({{ten, "ten", 0}, {eleven, "eleven", 0}}, "the.log");
  EXPECT_EQ(shown[0].text, ten);
  EXPECT_EQ(shown[1].text, "1\n2\n3\n4\n5\n6\n7\n8\n9\n... and 2 more lines, all in the log the.log");
}

}  // namespace

TEST(LoadFailureText, NamesTheFileWhenMemoryRunsOut) {
  EXPECT_EQ(loadFailureText(std::bad_alloc(), "Velquor/x.gif"), "Not enough memory for Velquor/x.gif.");
  EXPECT_EQ(loadFailureText(std::runtime_error("GIF file is corrupt!"), "Velquor/x.gif"), "GIF file is corrupt!");
}
