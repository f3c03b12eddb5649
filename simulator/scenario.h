#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/contact_controller.h"
#include "simulator/timing.h"

// A scenario compiled for the virtual world: the glove's continuous fields as
// keyframes per channel, and everything else as events, all on the virtual clock.

enum GloveChannel {
  kGloveX,
  kGloveY,
  kGloveZ,
  kGloveOrient1,
  kGloveOrient2,
  kGloveOrient3,
  kGloveThumb,
  kGloveIndex,
  kGloveMiddle,
  kGloveRing,
  kGloveLittle,
  kGloveChannels
};
constexpr int kFirstBendChannel = kGloveThumb;

// A channel reaches value at atMicros: by a jump, or along a straight line from the
// previous keyframe when ramp is set.
struct Keyframe {
  int64_t atMicros;
  float value;
  bool ramp;
};

enum class EventKind {
  kPress,  // buttons: bit per button, A = bit 0
  kRelease,
  kTouch,  // mask
  kUntouch,
  kGroups,  // words
  kControllerSilent,
  kControllerNormal,
  kControllerCorrupt,  // count
  kControllerDrop,     // count
  kControllerNoise,    // words
  kEnter,
  kNoise,  // amount, bendAmount
  kReply,  // bytes
  kControllerCued,
  kAnswer,
};

struct Event {
  int64_t atMicros = 0;
  EventKind kind = EventKind::kEnter;
  unsigned buttons = 0;
  uint16_t mask = 0;
  int count = 0;
  int amount = 0;
  int bendAmount = 0;
  std::vector<uint16_t> words;
  std::vector<uint8_t> bytes;
};

// What the script's signer does, in words, from a moment on: for traces and captions.
struct Note {
  int64_t atMicros = 0;
  std::string text;
};

// The step of the serial port's set-up that fails, if any.
enum SerialFailure { kSerialWorks = 0, kSerialOpenFails, kSerialBaudFails, kSerialLineFails };

struct Scenario {
  SerialFailure serialFails = kSerialWorks;
  bool gloveAbsent = false;   // the glove library's init finds nothing: 0
  int gloveInitResult = 1;    // what its init returns otherwise
  uint32_t clockStartMs = 0;
  uint64_t noiseSeed = 0;                              // 0: the noise of a run that names no seed
  int64_t controllerScanMicros = kControllerScanMicros;  // the controller's scan before each reply
  int64_t gloveRefreshMicros = 0;                      // the glove record changes at most this often; 0: every poll
  std::vector<Keyframe> channels[kGloveChannels];
  std::vector<Event> events;  // in time order
  int64_t endMicros = 0;      // scenario time after its last action
  std::vector<Note> notes;    // in time order; the world never reads them
};

// Compiles a scenario action by action, keeping the time and the hand as the script
// has left them so far.
struct ScenarioBuilder {
  Scenario scenario;
  int64_t nowMicros = 0;
  float pose[kGloveChannels] = {};
  ContactController contacts;  // the pads as the script has left them
  double tempo = 1;            // the signer's holds, movements and signs last this many times as long
};

constexpr int64_t kMicrosPerMilli = 1000;

// A channel's value at a moment from keyframe `from` up to the one after it, `next`.
float keyframeValue(const Keyframe& from, const Keyframe& next, int64_t atMicros);

// What an event does to the contact controller; events of other kinds leave it alone.
void applyToController(ContactController& controller, const Event& event);

// Moves scenario time on.
void builderWait(ScenarioBuilder& builder, int64_t micros);

// The channel jumps to value now.
void builderSet(ScenarioBuilder& builder, GloveChannel channel, float value);

// The channel moves in a straight line from its value now to value over micros,
// starting now; scenario time does not move.
void builderRamp(ScenarioBuilder& builder, GloveChannel channel, float value, int64_t micros);

// Schedules an event now, following what it does to the pads.
void builderEvent(ScenarioBuilder& builder, Event event);

// Notes what the signer does from now on.
void builderNote(ScenarioBuilder& builder, std::string text);

// Closes the scenario: its end is the time now.
Scenario builderFinish(ScenarioBuilder& builder);
