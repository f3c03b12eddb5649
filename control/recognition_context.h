#pragma once

#include "contacts/contact_groups.h"
#include "contacts/contact_packet.h"
#include "glove/body_reference.h"
#include "glove/glove_link.h"
#include "recognition/movement_track.h"
#include "sampling/sample_window.h"

// All mutable state of one run. There is exactly one, created at start-up and used by
// every operation of the program until it exits; everything starts zeroed.
struct RecognitionContext {
  RecognitionContext() = default;
  RecognitionContext(const RecognitionContext&) = delete;
  RecognitionContext& operator=(const RecognitionContext&) = delete;

  GloveState glove;
  ContactPacket packet;
  PacketDeadline deadline;
  SampleWindow window;
  MovementTrack track;
  BodyReference reference;
};
