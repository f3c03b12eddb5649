#include "sampling/sample_window.h"

#include "control/recognition_context.h"

namespace {

bool withinInclusive(float value, float reference, float tolerance) {
  return reference - tolerance <= value && value <= reference + tolerance;
}

bool agrees(int channel, float value, float reference) {
  if (channel < kChannelSlot0) return withinInclusive(value, reference, kStillPositionTolerance);
  if (channel < kChannelThumb) return value == reference;
  return withinInclusive(value, reference, kStillBendTolerance);
}

}  // namespace

Sample takeSample(RecognitionContext& context) {
  readContactPacket(context);
  pollGlove(context);
  const GloveState& glove = context.glove;
  Sample sample;
  sample.channel[kChannelX] = glove.x;
  sample.channel[kChannelY] = glove.y;
  sample.channel[kChannelZ] = glove.z;
  sample.channel[kChannelOrient3] = glove.orient3;
  sample.channel[kChannelOrient2] = glove.orient2;
  sample.channel[kChannelOrient1] = glove.orient1;
  for (int slot = 0; slot < kPacketSlots; ++slot)
    sample.channel[kChannelSlot0 + slot] = static_cast<float>(context.packet.slots[slot]);
  for (int finger = 0; finger < kGloveFingers; ++finger)
    sample.channel[kChannelThumb + finger] = static_cast<float>(glove.bend[finger]);
  return sample;
}

int windowIsStill(const SampleWindow& window) {
  for (int later = 1; later < kWindowSamples; ++later)
    for (int channel = 0; channel < kChannels; ++channel)
      if (!agrees(channel, window.channel[channel][later], window.channel[channel][0])) return 0;
  return 1;
}

int takeWindow(RecognitionContext& context) {
  for (int index = 0; index < kWindowSamples; ++index) {
    const Sample sample = takeSample(context);
    for (int channel = 0; channel < kChannels; ++channel) context.window.channel[channel][index] = sample.channel[channel];
  }
  return windowIsStill(context.window);
}
