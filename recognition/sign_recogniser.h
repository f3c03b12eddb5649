#pragma once

#include <string_view>

#include "recognition/handshape.h"
#include "recognition/movement_classifier.h"

struct RecognitionContext;

constexpr HandshapeCode kAnyHandshape = -1;

// One entry of the sign table: a start handshape and a movement, sometimes a closing
// handshape, and the word printed for them.
struct SignRule {
  HandshapeCode start;
  MovementCode movement;
  HandshapeCode end;  // kAnyHandshape when the closing handshape does not matter
  const char* word;
};

// The word of the first rule that matches, or nullptr.
const char* lookUpSign(HandshapeCode start, MovementCode movement, HandshapeCode end);

// True when a rule of the sign table prints this word (given without its space).
bool isSignWord(std::string_view word);

// Reads one sign (hold, movement, closing handshape) and prints its word, if any.
void recogniseSign(RecognitionContext& context);
