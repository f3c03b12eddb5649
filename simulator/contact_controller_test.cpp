#include "simulator/contact_controller.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

TEST(ContactControllerTest, TouchMergesGroupsThatSharePads) {
  struct Case {
    const char* name;
    Words touches;
    Words entries;
  };
  const Case cases[] = {
      {"nothing touches", {}, {}},
      {"separate groups in ascending order", {0x3000, 0x0018, 0x0003}, {0x0003, 0x0018, 0x3000}},
      {"a shared pad joins two groups", {0x0018, 0x0003, 0x000A}, {0x001B}},
      {"one touch bridges three groups", {0x0011, 0x0006, 0x0300, 0x0205}, {0x0317}},
      {"touching again changes nothing", {0x0018, 0x0018}, {0x0018}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ContactController controller;
    for (uint16_t pads : c.touches) controllerTouch(controller, pads);
    EXPECT_EQ(controllerEntries(controller), c.entries);
  }
}

TEST(ContactControllerTest, WordsReplaceTouchingUntilTheNextTouch) {
  ContactController controller;
  controllerTouch(controller, 0x0018);
  controllerSetWords(controller, {0x0300, 0x0001, 0x0300});
  EXPECT_EQ(controllerEntries(controller), (Words{0x0300, 0x0001, 0x0300}));  // exactly as given
  controllerTouch(controller, 0x0006);
  EXPECT_EQ(controllerEntries(controller), (Words{0x0006}));
  controllerUntouch(controller);
  EXPECT_EQ(controllerEntries(controller), Words{});
}

TEST(ContactControllerTest, ReplyFramesEntriesWithHeaderTerminatorAndSum) {
  struct Case {
    Words entries;
    Bytes reply;
  };
  const Case cases[] = {
      {{}, {0x00, 0x40, 0x40, 0x00, 0x00, 0x00}},
      {{0x0018, 0x3000}, {0x00, 0x40, 0x00, 0x18, 0x30, 0x00, 0x40, 0x00, 0x30, 0x18}},
      {{0xFFFF, 0x0002}, {0x00, 0x40, 0xFF, 0xFF, 0x00, 0x02, 0x40, 0x00, 0x00, 0x01}},  // the sum wraps
  };
  for (const Case& c : cases) {
    ContactController controller;
    controllerSetWords(controller, c.entries);
    EXPECT_EQ(controllerReply(controller), c.reply);
    EXPECT_EQ(controllerReply(controller), c.reply);  // and again for the next request
  }
}

TEST(ContactControllerTest, FaultsApplyToTheNextRepliesOnly) {
  const Bytes good = {0x00, 0x40, 0x00, 0x18, 0x40, 0x00, 0x00, 0x18};
  ContactController controller;
  controllerSetWords(controller, {0x0018});

  controller.corruptReplies = 2;
  Bytes corrupt = good;
  corrupt.back() = 0x19;
  EXPECT_EQ(controllerReply(controller), corrupt);
  EXPECT_EQ(controllerReply(controller), corrupt);
  EXPECT_EQ(controllerReply(controller), good);

  controller.dropReplies = 1;
  EXPECT_EQ(controllerReply(controller), (Bytes{0x00, 0x40, 0x00, 0x18, 0x00, 0x00, 0x18}));
  EXPECT_EQ(controllerReply(controller), good);

  controller.noiseWords = {0x1234, 0x4000};
  Bytes noisy = {0x12, 0x34, 0x40, 0x00};
  noisy.insert(noisy.end(), good.begin(), good.end());
  EXPECT_EQ(controllerReply(controller), noisy);
  EXPECT_EQ(controllerReply(controller), good);
}

}  // namespace

namespace {

TEST(ContactControllerTest, RawRepliesGoOutOneARequestBeforeComposedOnes) {
  const Bytes good = {0x00, 0x40, 0x00, 0x18, 0x40, 0x00, 0x00, 0x18};
  ContactController controller;
  controllerSetWords(controller, {0x0018});
  controller.corruptReplies = 1;
  controllerQueueReply(controller, {0x00, 0x40, 0x07});
  controllerQueueReply(controller, {});
  EXPECT_EQ(controllerReply(controller), (Bytes{0x00, 0x40, 0x07}));
  EXPECT_EQ(controllerReply(controller), Bytes{});  // unanswered
  Bytes corrupt = good;
  corrupt.back() = 0x19;
  EXPECT_EQ(controllerReply(controller), corrupt);  // the fault waited for a composed reply
  EXPECT_EQ(controllerReply(controller), good);
}

}  // namespace
