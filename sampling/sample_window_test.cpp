#include "sampling/sample_window.h"

#include <gtest/gtest.h>

#include "control/recognition_context.h"
#include "tests/virtual_world.h"

namespace {

// A still window: every sample holds the same, non-zero value on each channel.
SampleWindow steadyWindow() {
  SampleWindow window;
  for (int channel = 0; channel < kChannels; ++channel)
    for (int sample = 0; sample < kWindowSamples; ++sample) window.channel[channel][sample] = 100.0f + 10.0f * channel;
  return window;
}

struct Tolerance {
  int first, last;  // channels
  float still;      // the largest difference from sample 0 that is still
  float moving;     // a difference just past it
};

const Tolerance kTolerances[] = {
    {kChannelX, kChannelOrient1, 75.0f, 75.5f},
    {kChannelSlot0, kChannelSlot0 + 5, 0.0f, 1.0f},
    {kChannelThumb, kChannelLittle, 4.0f, 4.5f},
};

TEST(SampleWindowTest, EachChannelIsStillUpToItsToleranceInclusive) {
  for (const Tolerance& tolerance : kTolerances)
    for (int channel = tolerance.first; channel <= tolerance.last; ++channel)
      for (int sample = 1; sample < kWindowSamples; ++sample)
        for (float sign : {1.0f, -1.0f}) {
          SCOPED_TRACE(::testing::Message() << "channel " << channel << ", sample " << sample << ", sign " << sign);
          SampleWindow window = steadyWindow();
          window.channel[channel][sample] += sign * tolerance.still;
          EXPECT_EQ(windowIsStill(window), 1);
          window.channel[channel][sample] = window.channel[channel][0] + sign * tolerance.moving;
          EXPECT_EQ(windowIsStill(window), 0);
        }
}

TEST(SampleWindowTest, LaterSamplesAreComparedWithTheFirst) {
  struct Case {
    int channel;
    float offset1, offset2;  // of samples 1 and 2 from sample 0
    int still;
  };
  const Case cases[] = {
      {kChannelIndex, 4, -4, 1},   // 8 apart from each other, each within 4 of the first
      {kChannelIndex, 3, 6, 0},    // creeping 3 a sample
      {kChannelY, 75, -75, 1},
      {kChannelY, 40, 76, 0},
      {kChannelOrient2, -76, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "channel " << c.channel << ": " << c.offset1 << ", " << c.offset2);
    SampleWindow window = steadyWindow();
    window.channel[c.channel][1] += c.offset1;
    window.channel[c.channel][2] += c.offset2;
    EXPECT_EQ(windowIsStill(window), c.still);
  }
}

TEST(SampleWindowTest, TakeWindowRecordsEveryChannelInOrder) {
  VirtualWorld sim("position 1 2 3\nangles 4 5 6\nbends 7 8 9 10 11\ngroups 0x18 0x3");
  RecognitionContext context;
  context.packet.slots[4] = 77;  // left by an earlier, longer reply
  EXPECT_EQ(takeWindow(context), 1);
  const float expected[kChannels] = {1, 2, 3, 6, 5, 4, 0x18, 0x3, 0, 0, 77, 0, 7, 8, 9, 10, 11};
  for (int channel = 0; channel < kChannels; ++channel)
    for (int sample = 0; sample < kWindowSamples; ++sample)
      EXPECT_EQ(context.window.channel[channel][sample], expected[channel]) << "channel " << channel;
}

// A sample takes about 11 ms with one group, 13.5 ms with two, so a change at 20 ms
// is seen by the third sample only.
TEST(SampleWindowTest, TakeWindowSeesChangesWithinTheWindow) {
  struct Case {
    const char* name;
    const char* script;
    int still;
    int lastCount;  // groups in the reply of the window's last sample
  };
  const Case cases[] = {
      {"steady groups", "groups 0x18 0x3", 1, 2},
      {"losing the last group leaves its slot as it was", "groups 0x18 0x3\nwait 20\ngroups 0x18", 1, 1},
      {"losing an earlier group shifts the later one", "groups 0x18 0x3\nwait 20\ngroups 0x3", 0, 1},
      {"gaining a group", "groups 0x18\nwait 20\ngroups 0x18 0x3", 0, 2},
      {"a refused longer reply overwrites a slot above the count",
       "groups 0x18\nwait 5\ngroups 0x18 0x3\ncontroller corrupt 1\nwait 10\ngroups 0x18", 0, 1},
      {"position moves 75", "position 500 500 500\nwait 20\nposition 575 425 575", 1, 0},
      {"position moves 76", "position 500 500 500\nwait 20\nposition 500 576 500", 0, 0},
      {"bend moves 5", "bends 50 50 50 50 50\nwait 20\nbends 50 50 50 50 45", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualWorld sim(c.script);
    RecognitionContext context;
    EXPECT_EQ(takeWindow(context), c.still);
    EXPECT_EQ(context.packet.count, c.lastCount);
    EXPECT_EQ(sim.console(), "");
  }
}

}  // namespace
