#include "control/menu.h"

#include "control/recognition_context.h"
#include "platform/console.h"
#include "recognition/handshape.h"
#include "recognition/movement_classifier.h"
#include "recognition/sign_recogniser.h"

namespace {

struct Mode {
  const char* banner;
  void (*cycle)(RecognitionContext&);
};

const Mode kFingerConnections = {"Finger connections diagnostic program\n\n", runFingerConnectionsCycle};
const Mode kHandshapeDiagnostics = {"HANDSHAPE diagnostics program\n\n", runHandshapeCycle};
const Mode kMovementDiagnostics = {"MOVEMENT diagnostics program\n\n", runMovementCycle};
const Mode kSignRecognition = {"SIGN RECOGNITION program\n\n", recogniseSign};

bool held(const RecognitionContext& context, GloveButton button) { return buttonDown(context, button) == 1; }

// Polls the glove until A or B is down; the state of the last poll is tested first.
void waitForAOrB(RecognitionContext& context) {
  while (!held(context, kButtonA) && !held(context, kButtonB)) pollGlove(context);
}

void waitForRelease(RecognitionContext& context, GloveButton button) {
  while (held(context, button)) pollGlove(context);
}

// Runs a mode's cycle until C is down; every cycle polls the glove, so C stays current.
void runMode(RecognitionContext& context, const Mode& mode) {
  consoleClear();
  consolePrint("%s", mode.banner);
  while (!held(context, kButtonC)) mode.cycle(context);
}

void runDiagnosticsMenu(RecognitionContext& context) {
  waitForRelease(context, kButtonA);
  consoleClear();
  consolePrint("Press: A button for finger connections\n\n");
  consolePrint("       B button for handshapes and movement\n\n");
  waitForAOrB(context);
  if (held(context, kButtonA)) return runMode(context, kFingerConnections);

  waitForRelease(context, kButtonB);
  consoleClear();
  consolePrint("Press: A button for handshapes\n\n");
  consolePrint("       B button for movement\n\n");
  waitForAOrB(context);
  runMode(context, held(context, kButtonA) ? kHandshapeDiagnostics : kMovementDiagnostics);
}

}  // namespace

void runMenu(RecognitionContext& context) {
  while (!(held(context, kButtonB) && held(context, kButtonC))) {
    consoleClear();
    consolePrint("Press: A button for diagnostics\n\n");
    consolePrint("       B button for SIGN RECOGNITION\n\n");
    consolePrint("NOTE: Press C button to EXIT subprograms\n\n");
    consolePrint("            B and C button to EXIT program\n\n");
    waitForAOrB(context);
    if (held(context, kButtonA))
      runDiagnosticsMenu(context);
    else
      runMode(context, kSignRecognition);  // B is not waited for: it may still be held
  }
}
