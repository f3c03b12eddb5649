#include "simulator/stop_diagnosis.h"

#include "sampling/sample_window.h"
#include "simulator/world.h"

namespace {

constexpr unsigned kButtonC = 1u << 2;

bool shows(const StopFacts& facts, std::string_view text) { return facts.page.find(text) != std::string::npos; }

std::string millis(int64_t micros) { return std::to_string(micros / 1000) + " ms"; }

// How to leave a mode that reads C only between cycles, whose cycle ends when `need`
// holds; `action` is what the script must make the hand do.
std::string howToLeave(const StopFacts& facts, const std::string& need, const std::string& action) {
  const std::string leave = "press C, " + action + ", then release C (or press B C to end the program).";
  if (facts.buttons[2]) return "C is held, but " + need + " for the cycle to end, and the script's hand stays as it is.";
  if (facts.lastCPressMicros >= 0 && facts.lastCReleaseMicros >= 0)
    return "C was pressed at " + millis(facts.lastCPressMicros) + " and released at " +
           millis(facts.lastCReleaseMicros) + " while the cycle was still waiting, so the mode never saw it " +
           "(`tap C` is often missed): " + leave;
  return "nothing presses C to leave the mode: " + leave;
}

}  // namespace

StopFacts stopFactsOf(const Scenario& scenario, std::string_view transcript, bool waitingForKey) {
  StopFacts facts;
  const size_t clear = transcript.rfind('\f');
  facts.page = std::string(clear == std::string_view::npos ? transcript : transcript.substr(clear + 1));
  facts.waitingForKey = waitingForKey;
  for (int button = 0; button < 4; ++button) facts.buttons[button] = world.buttons[button] != 0;
  // Two readings jittered by up to N differ by up to 2N: past the window's tolerances a
  // still hand's windows are moving.
  facts.windowsMove = 2 * world.noiseAmount > kStillPositionTolerance || 2 * world.bendNoiseAmount > kStillBendTolerance;
  for (const Event& event : scenario.events) {
    if (event.kind == EventKind::kPress && (event.buttons & kButtonC)) {
      facts.lastCPressMicros = event.atMicros;
      facts.lastCReleaseMicros = -1;
    } else if (event.kind == EventKind::kRelease && (event.buttons & kButtonC) && facts.lastCPressMicros >= 0) {
      facts.lastCReleaseMicros = event.atMicros;
    }
  }
  return facts;
}

std::vector<std::string> explainStop(const StopFacts& facts) {
  if (facts.waitingForKey && shows(facts, "routine TIMED OUT"))
    return {"the program waits for Enter after a contact controller time-out: the controller did not answer "
            "(controller silent, or replies it refused); `enter` goes on once the controller answers again."};
  // The chest's prompt follows the head's on the same page.
  if (shows(facts, "Point to your CHEST"))
    return {"the program is calibrating and waits for A with the hand at the chest.",
            "likely mistake: A was tapped once; calibration takes a tap at the head and another at the chest "
            "(`calibrate` does both)."};
  if (shows(facts, "Point to your HEAD"))
    return {"the program is calibrating and waits for A with the hand at the head.",
            "likely mistake: the script does not start with `calibrate` (it points at the head and the chest and "
            "taps A at each)."};
  if (shows(facts, "Press: A button for diagnostics"))
    return {"the program is at the main menu and waits for A (diagnostics) or B (sign recognition).",
            "likely mistake: the script ends at the menu: end it with `press B C` to end the program."};
  if (shows(facts, "Press: A button for finger connections") || shows(facts, "Press: A button for handshapes"))
    return {"the program is in the diagnostics menu and waits for A or B.",
            "likely mistake: the script stops choosing half-way: each page needs A or B tapped."};
  const std::string noise =
      "the glove's noise makes every window moving (a window is still only when positions and angles stay "
      "within " + std::to_string(static_cast<int>(kStillPositionTolerance)) + " and bends within " +
      std::to_string(static_cast<int>(kStillBendTolerance)) + " of its first sample): lower `noise` before leaving.";
  if (shows(facts, "HANDSHAPE diagnostics program")) {
    if (facts.windowsMove) return {"the program is in handshape diagnostics.", noise};
    return {"the program is in handshape diagnostics and waits for the hand to move: each cycle names the shape "
            "held, then takes windows while the hand is still, and C is read only between cycles.",
            "likely mistake: " + howToLeave(facts, "the hand must move", "hold another shape")};
  }
  if (shows(facts, "MOVEMENT diagnostics program")) {
    if (facts.windowsMove)
      return {"the program is in movement diagnostics and waits for the hand to rest: a recording ends after "
              "three still windows.",
              noise};
    return {"the program is in movement diagnostics and waits for the hand to move: each cycle waits for a "
            "movement and names it, and C is read only between cycles.",
            "likely mistake: " + howToLeave(facts, "the hand must move", "`move` the hand")};
  }
  if (shows(facts, "SIGN RECOGNITION program")) {
    if (facts.windowsMove)
      return {"the program is in sign recognition and waits for the hand to hold still.", noise};
    return {"the program is in sign recognition and waits for the hand to move: the hand holds a shape that "
            "starts a sign, and C is read only between signs.",
            "likely mistake: " + howToLeave(facts, "the hand must move and then rest", "`rest`")};
  }
  if (shows(facts, "Finger connections diagnostic program"))
    return {"the program is in finger connections, which reads C after every line it prints.",
            "likely mistake: nothing presses C (or B and C) to leave the mode."};
  return {};
}
