#include "recognition/movement_track.h"

#include "control/recognition_context.h"

namespace {

// Still windows in a row that end a movement; one more window is taken after them.
constexpr int kStillWindowsToEnd = 3;

}  // namespace

void recordMovement(RecognitionContext& context) {
  MovementTrack& track = context.track;
  int recorded = 0;
  int stillInRow = 0;
  do {
    for (int channel = 0; channel < kChannels; ++channel)
      for (int sample = 0; sample < kWindowSamples; ++sample)
        track.channel[channel][recorded + sample] = context.window.channel[channel][sample];
    recorded += kWindowSamples;

    stillInRow = 0;
    for (;;) {
      if (takeWindow(context) == 0) break;
      if (stillInRow == kStillWindowsToEnd) break;
      ++stillInRow;
    }
  } while (stillInRow < kStillWindowsToEnd && recorded < kTrackSamples);

  for (int channel = 0; channel < kChannels; ++channel)
    for (int sample = recorded; sample < kTrackSamples; ++sample) track.channel[channel][sample] = 0.0f;
}
