#include "recognition/movement_track.h"

#include <gtest/gtest.h>

#include "control/recognition_context.h"
#include "tests/virtual_world.h"

// A window takes about 28 ms of virtual time (three contact requests at 9600 baud with
// no pads touching), so windows end near 28, 56, 84 and 112 ms.

namespace {

// The caller's moving window: a value of its own on every channel and sample.
float marker(int channel, int sample) { return 1000.0f + 10.0f * static_cast<float>(channel + sample); }

void startWithMarkedWindow(RecognitionContext& context) {
  for (int channel = 0; channel < kChannels; ++channel) {
    for (int sample = 0; sample < kWindowSamples; ++sample)
      context.window.channel[channel][sample] = marker(channel, sample);
    for (int position = 0; position < kTrackSamples; ++position) context.track.channel[channel][position] = 7;
  }
}

void expectFirstBlockAndZeroFill(const RecognitionContext& context, int recorded) {
  for (int channel = 0; channel < kChannels; ++channel) {
    for (int sample = 0; sample < kWindowSamples; ++sample)
      EXPECT_EQ(context.track.channel[channel][sample], marker(channel, sample)) << channel << "/" << sample;
    for (int position = recorded; position < kTrackSamples; ++position)
      EXPECT_EQ(context.track.channel[channel][position], 0) << channel << "/" << position;
  }
}

TEST(MovementTrack, OneMovingWindowThenStillRecordsOneBlock) {
  // Still for three windows; the bends change while the fourth is being taken.
  VirtualWorld scene("position 100 300 400\nbends 10 10 10 10 10\nwait 98\nbends 30 30 30 30 30\nwait 2000");
  RecognitionContext context;
  startWithMarkedWindow(context);
  recordMovement(context);
  expectFirstBlockAndZeroFill(context, 3);
  // The fourth window is taken after the three still ones, and left in place unrecorded.
  EXPECT_EQ(context.window.channel[kChannelThumb][2], 30);
  EXPECT_EQ(context.window.channel[kChannelX][2], 100);
}

TEST(MovementTrack, TenMovingWindowsFillTheTrack) {
  // Every reading jitters far beyond the stillness tolerance: every window moves.
  VirtualWorld scene("position 1000 1000 1000\nnoise 500\nwait 2000");
  RecognitionContext context;
  startWithMarkedWindow(context);
  recordMovement(context);
  expectFirstBlockAndZeroFill(context, kTrackSamples);
  for (int position = kWindowSamples; position < kTrackSamples; ++position) {
    EXPECT_GE(context.track.channel[kChannelX][position], 500) << position;
    EXPECT_LE(context.track.channel[kChannelX][position], 1500) << position;
  }
  // The recorder stopped with the hand still moving; the window it took last is not in
  // the track.
  EXPECT_EQ(windowIsStill(context.window), 0);
  for (int sample = 0; sample < kWindowSamples; ++sample)
    EXPECT_NE(context.window.channel[kChannelX][sample], context.track.channel[kChannelX][27 + sample]);
}

TEST(MovementTrack, TwoStillWindowsDoNotEndTheRecording) {
  // The arm jolts out and back inside the third window (56 to 84 ms) and again inside
  // the sixth (140 to 168 ms): each jolt follows two still windows.
  VirtualWorld scene(
      "position 100 300 400\nwait 67\nposition 250 300 400\nwait 15\nposition 100 300 400\n"
      "wait 69\nposition 250 300 400\nwait 15\nposition 100 300 400\nwait 2000");
  RecognitionContext context;
  startWithMarkedWindow(context);
  recordMovement(context);
  expectFirstBlockAndZeroFill(context, 9);
  // Only the moving windows are appended, one block each.
  const float* x = context.track.channel[kChannelX];
  for (int block = 3; block < 9; block += 3) {
    EXPECT_TRUE(x[block] == 250 || x[block + 1] == 250) << block << ": " << x[block] << " " << x[block + 1];
    EXPECT_EQ(x[block + 2], 100) << block;
    EXPECT_EQ(context.track.channel[kChannelY][block + 1], 300) << block;
  }
}

}  // namespace
