#pragma once

struct RecognitionContext;

// The input channels of one sample, in storage order.
enum Channel {
  kChannelX,
  kChannelY,
  kChannelZ,
  kChannelOrient3,  // the angles stand in reverse record order
  kChannelOrient2,
  kChannelOrient1,
  kChannelSlot0,  // contact packet slots 0 to 5
  kChannelThumb = kChannelSlot0 + 6,
  kChannelIndex,
  kChannelMiddle,
  kChannelRing,
  kChannelLittle,
  kChannels
};
constexpr int kWindowSamples = 3;

// How far a later sample may stray from the window's first and still count as still.
constexpr float kStillPositionTolerance = 75.0f;  // position and angles
constexpr float kStillBendTolerance = 4.0f;       // finger bends; contact slots must match exactly

struct Sample {
  float channel[kChannels] = {};
};

// Three consecutive samples, stored channel by channel.
struct SampleWindow {
  float channel[kChannels][kWindowSamples] = {};
};

// Reads one contact packet, then polls the glove, and returns all channels.
Sample takeSample(RecognitionContext& context);

// 1 when samples 1 and 2 each agree with sample 0 on every channel within its tolerance.
int windowIsStill(const SampleWindow& window);

// Replaces the window with three fresh samples; 1 when they are still, 0 when moving.
int takeWindow(RecognitionContext& context);
