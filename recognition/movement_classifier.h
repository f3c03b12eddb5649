#pragma once

struct MovementTrack;
struct RecognitionContext;

// 0 means no movement; 1 to 7 name one.
using MovementCode = int;
enum Movement : MovementCode {
  kMovementNone = 0,
  kFingersIncDecInc,
  kLeftToRight,
  kTowardBody,
  kRollWrists,
  kAwayRightDown,
  kDown,
  kAwayRightUp,
  kLastMovement = kAwayRightUp
};

// The seven movement tests; each 1 when the track shows that movement.
int fingersIncDecInc(const MovementTrack& track);
int leftToRight(const MovementTrack& track);
int towardBody(const MovementTrack& track);
int rollWrists(const MovementTrack& track);
int awayRightDown(const MovementTrack& track);
int down(const MovementTrack& track);
int awayRightUp(const MovementTrack& track);

// The first of the tests, in code order, that the context's track passes; else 0.
MovementCode classifyMovement(const RecognitionContext& context);

// Records the movement the current window starts, then classifies it.
MovementCode captureMovement(RecognitionContext& context);

// The name printed for a code; empty above 7.
const char* movementText(MovementCode code);

// Prints the code's name.
void printMovement(MovementCode code);

// The movement-diagnostics mode's cycle: wait for the hand to move, then print the movement.
void runMovementCycle(RecognitionContext& context);
