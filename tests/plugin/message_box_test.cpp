#include "plugin/message_box.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
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

}  // namespace

TEST(LoadFailureText, NamesTheFileWhenMemoryRunsOut) {
  EXPECT_EQ(loadFailureText(std::bad_alloc(), "Velquor/x.gif"), "Not enough memory for Velquor/x.gif.");
  EXPECT_EQ(loadFailureText(std::runtime_error("GIF file is corrupt!"), "Velquor/x.gif"), "GIF file is corrupt!");
}
