#include "drivers/hand_plan.h"

#include <gtest/gtest.h>

#include "simulator/signer.h"

namespace {

constexpr int64_t kMilli = 1000;
constexpr ContactMask kThumbMiddleRing = 0x0016;  // point's pads

GloveRecord playedAt(HandPlan& plan, int64_t micros) {
  GloveRecord record{};
  handPlanPlay(plan, micros, record);
  return record;
}

TEST(HandPlan, PlaysTheSignersActionsOneAfterAnother) {
  HandPlan plan;
  handPlanStart(plan);
  const int64_t restEnds = plan.builder.nowMicros;
  GloveRecord record = playedAt(plan, restEnds);
  EXPECT_EQ(record.y, 350);  // at rest in front of the body
  EXPECT_EQ(record.z, 400);
  EXPECT_EQ(record.bend[1], 50);

  // Asked for while the rest still plays, the hold starts when it ends.
  signerHold(handPlanNext(plan, restEnds / 2), "point", 300);
  EXPECT_TRUE(handPlanBusy(plan, restEnds + 100 * kMilli));
  record = playedAt(plan, restEnds + 100 * kMilli);
  EXPECT_EQ(record.bend[1], 1);  // point's straight index
  EXPECT_EQ(record.bend[2], 60);
  EXPECT_EQ(controllerEntries(plan.pads), (std::vector<uint16_t>{kThumbMiddleRing}));

  const int64_t later = plan.builder.nowMicros + 1000 * kMilli;
  EXPECT_FALSE(handPlanBusy(plan, later));
  signerTap(handPlanNext(plan, later), 0x6);  // B and C, for 200 ms
  EXPECT_EQ(playedAt(plan, later + 100 * kMilli).buttons[1], 1);
  EXPECT_EQ(playedAt(plan, later + 100 * kMilli).buttons[2], 1);
  EXPECT_EQ(playedAt(plan, later + 300 * kMilli).buttons[1], 0);
}

TEST(HandPlan, MovesAlongTheSignersPath) {
  HandPlan plan;
  handPlanStart(plan);
  const int64_t start = plan.builder.nowMicros;
  signerMove(handPlanNext(plan, start), "leftToRight", 0);
  const int64_t end = plan.builder.nowMicros;
  float last = playedAt(plan, start).x;
  for (int64_t at = start + kMilli; at <= end; at += kMilli) {
    const float x = playedAt(plan, at).x;
    EXPECT_GE(x, last) << at;  // left to right, every millisecond
    last = x;
  }
  EXPECT_EQ(playedAt(plan, end).x, 700);  // the path's whole travel, from x 0
}

}  // namespace
