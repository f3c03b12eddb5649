#pragma once

// The virtual signer's actions (simulator/signer.h) planned one after another and
// played back against a clock, for the keyboard glove: the glove's fields, the buttons
// the signer taps and the pads its handshapes touch, at any moment.

#include <cstdint>

#include "platform/glove_library.h"
#include "simulator/contact_controller.h"
#include "simulator/scenario.h"

struct HandPlan {
  ScenarioBuilder builder;  // the plan; its time is where the last action ends
  size_t nextEvent = 0;     // the first event not played yet
  unsigned tapped = 0;      // buttons the signer holds down now, A = bit 0
  ContactController pads;   // the pads as played so far
};

// A fresh plan at time 0: the hand goes to rest in front of the body.
void handPlanStart(HandPlan& plan);

// The builder to add an action to: it starts when the last one ends, or now if that
// is over.
ScenarioBuilder& handPlanNext(HandPlan& plan, int64_t nowMicros);

// True while an action is still being played at this moment.
bool handPlanBusy(const HandPlan& plan, int64_t nowMicros);

// Plays the plan up to this moment (taps, pads) and gives the glove's fields then;
// what lies before it is forgotten. Moments must not go back.
void handPlanPlay(HandPlan& plan, int64_t nowMicros, GloveRecord& record);
