#pragma once

#include "sampling/sample_window.h"

struct RecognitionContext;

constexpr int kTrackSamples = 30;

// The samples of one movement, channel by channel; positions after the last
// recorded sample hold 0.
struct MovementTrack {
  float channel[kChannels][kTrackSamples] = {};
};

// Records the movement that the current (moving) window starts: every moving window
// is appended until three windows in a row are still or the track is full. On return
// the window holds the last one taken.
void recordMovement(RecognitionContext& context);
