#pragma once

struct RecognitionContext;

constexpr int kReferencePoints = 2;
enum ReferenceIndex { kReferenceHead = 0, kReferenceChest = 1 };

struct ReferencePoint {
  float x = 0, y = 0, z = 0;
};

// The signer's head and chest, captured at start-up by pointing at them.
struct BodyReference {
  ReferencePoint point[kReferencePoints];
};

// Asks the signer to point at the head, then the chest, pressing A for each; returns 0.
int calibrateReferences(RecognitionContext& context);

// Polls the glove once; 0 when the hand is near the head, 1 near the chest, -1 near neither.
int locateHand(RecognitionContext& context);
