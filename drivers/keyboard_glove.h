#pragma once

// The keyboard glove's keys (`signglove-glove keys`), as pure functions over a small
// state, so that they are tested without a terminal:
//   [ and ]       pick the previous, the next named handshape
//   Enter, space  take the picked handshape and hold it
//   1 to 7        perform a movement: fingersIncDecInc leftToRight towardBody
//                 rollWrists awayRightDown down awayRightUp
//   r             rest: fingers relaxed, the arm back in front of the body
//   k             calibrate: point at the head and tap A, then at the chest and tap A
//   arrows        move the hand 25 mm left, right, up, down; Page Up, Page Down: away
//                 from the body and toward it
//   a b c d       press a button, or release it if it is down (a terminal sees no key
//                 go up, so buttons toggle); A B C D tap it (down for 200 ms)
//   q, Ctrl-C     quit

#include <string>

// Keys a terminal sends as escape sequences.
enum Key : int {
  kKeyNone = -1,
  kKeyUp = 0x100,
  kKeyDown,
  kKeyRight,
  kKeyLeft,
  kKeyPageUp,
  kKeyPageDown,
};

// Gathers an escape sequence (ESC [ A, ESC O A, ESC [ 5 ~) until it names a key.
struct KeyDecoder {
  std::string pending;
};

// Takes one byte typed: the key it completes (a byte stands for itself), or kKeyNone
// while a sequence goes on. A sequence it does not know is dropped.
int keyDecoderFeed(KeyDecoder& decoder, unsigned char byte);

// How far an arrow key moves the hand, in millimetres.
constexpr float kNudgeMillimetres = 25;

struct KeyboardGlove {
  int shapes = 0;        // how many named handshapes there are to pick from
  int picked = 0;        // the one picked
  unsigned toggled = 0;  // buttons held down by their keys, A = bit 0
};

enum class KeyAction { kNone, kPick, kHold, kMove, kRest, kCalibrate, kNudge, kButtons, kTap, kQuit };

struct KeyCommand {
  KeyAction action = KeyAction::kNone;
  int index = 0;          // kHold: the handshape; kMove: the movement
  unsigned buttons = 0;   // kButtons: the buttons down now; kTap: the buttons tapped
  float nudge[3] = {};    // kNudge: millimetres along x, y, z
};

// What a key does, and what it changes of the state.
KeyCommand keyboardGlovePress(KeyboardGlove& glove, int key);
