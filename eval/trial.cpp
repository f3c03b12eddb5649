#include "eval/trial.h"

#include <sstream>

#include "recognition/handshape.h"
#include "recognition/movement_classifier.h"
#include "simulator/signer.h"
#include "simulator/simulation.h"

namespace {

constexpr unsigned kButtonA = 1u << 0, kButtonB = 1u << 1;

// The sign table's words, in its order.
constexpr const char* kWords[] = {"welcome", "to", "my", "presentation", "I", "hope", "this/the", "proves", "concept"};

struct ModeText {
  const char* banner;
  const char* unknown;  // what the mode prints when it names nothing
};
constexpr ModeText kHandshapeMode = {"HANDSHAPE diagnostics program\n\n", "HANDSHAPE UNKNOWN"};
constexpr ModeText kMovementMode = {"MOVEMENT diagnostics program\n\n", "UNKNOWN MOVEMENT"};
constexpr ModeText kSignMode = {"SIGN RECOGNITION program\n\n", nullptr};

const ModeText& modeText(Family family) {
  return family == Family::kHandshape ? kHandshapeMode : family == Family::kMovement ? kMovementMode : kSignMode;
}

// The hand rests this long before the mode is chosen, and the mode runs this long
// before the item, so that the trial starts from a still hand whatever the noise.
constexpr int64_t kLeadInRestMs = 300;
constexpr int64_t kModeSettleMs = 300;
constexpr int64_t kHoldMs = 600;
// After the item (and the way out), long enough for a movement recording to end.
constexpr int64_t kSettleMs = 600;

std::string withoutNewlines(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::vector<Item> catalogue() {
  std::vector<Item> items;
  for (HandshapeCode code = 1; code <= kLastHandshape; ++code) {
    std::string name = withoutNewlines(handshapeText(code));
    if (signerKnowsHandshape(name)) items.push_back({Family::kHandshape, std::move(name)});
  }
  for (MovementCode code = 1; code <= kLastMovement; ++code)
    items.push_back({Family::kMovement, withoutNewlines(movementText(code))});
  for (const char* word : kWords) items.push_back({Family::kWord, word});
  return items;
}

void chooseMode(ScenarioBuilder& builder, Family family) {
  switch (family) {
    case Family::kHandshape:  // diagnostics, handshapes and movement, handshapes
      for (unsigned button : {kButtonA, kButtonB, kButtonA}) signerTap(builder, button);
      break;
    case Family::kMovement:  // diagnostics, handshapes and movement, movement
      for (unsigned button : {kButtonA, kButtonB, kButtonB}) signerTap(builder, button);
      break;
    case Family::kWord:
      signerTap(builder, kButtonB);
      break;
  }
}

void perform(ScenarioBuilder& builder, const Item& item) {
  switch (item.family) {
    case Family::kHandshape:
      signerHold(builder, item.name, kHoldMs);
      break;
    case Family::kMovement:
      signerMove(builder, item.name, 0);
      break;
    case Family::kWord:
      signerSign(builder, item.name);
      break;
  }
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream{std::string(text)};
  while (std::getline(stream, part, separator))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace

const char* familyName(Family family) {
  return family == Family::kHandshape ? "handshape" : family == Family::kMovement ? "movement" : "word";
}

const std::vector<Item>& allItems() {
  static const std::vector<Item> items = catalogue();
  return items;
}

std::vector<std::string> familyItems(Family family) {
  std::vector<std::string> names;
  for (const Item& item : allItems())
    if (item.family == family) names.push_back(item.name);
  return names;
}

Scenario trialScenario(const Condition& condition, const Item& item) {
  ScenarioBuilder builder;
  builder.scenario.noiseSeed = condition.seed;
  builder.scenario.controllerScanMicros = condition.scanMs * kMicrosPerMilli;
  builder.scenario.gloveRefreshMicros = condition.refreshMs * kMicrosPerMilli;
  if (condition.noise > 0 || condition.bendNoise > 0) {
    Event noise;
    noise.kind = EventKind::kNoise;
    noise.amount = condition.noise;
    noise.bendAmount = condition.bendNoise;
    builderEvent(builder, noise);
  }

  signerCalibrate(builder);
  signerRest(builder, kLeadInRestMs);
  chooseMode(builder, item.family);
  builderWait(builder, kModeSettleMs * kMicrosPerMilli);

  builder.tempo = condition.tempo;
  perform(builder, item);
  builder.tempo = 1;
  // The way out of a hold: the arm moves and the fingers stay, so that the moving
  // windows name the shape that was held and nothing else.
  if (item.family == Family::kHandshape) signerMove(builder, "leftToRight", 0);
  builderWait(builder, kSettleMs * kMicrosPerMilli);
  return builderFinish(builder);
}

Outcome judgeTranscript(const Item& item, std::string_view transcript) {
  Outcome outcome;
  const ModeText& mode = modeText(item.family);
  const size_t banner = transcript.find(mode.banner);
  if (banner != std::string_view::npos) {
    std::string_view output = transcript.substr(banner + std::string_view(mode.banner).size());
    output = output.substr(0, output.find('\f'));
    outcome.printed = split(output, item.family == Family::kWord ? ' ' : '\n');
    // The mode's first cycle names the window the program started with, which no
    // sample has overwritten yet: it says nothing about the trial.
    if (item.family == Family::kHandshape && !outcome.printed.empty()) outcome.printed.erase(outcome.printed.begin());
  }
  bool named = false;
  for (const std::string& name : outcome.printed) {
    if (mode.unknown && name == mode.unknown) continue;
    named = true;
    if (name != item.name) {
      outcome.response = name;
      return outcome;
    }
  }
  outcome.response = named ? item.name : std::string(kNothing);
  outcome.correct = named;
  return outcome;
}

Outcome runTrial(const Condition& condition, const Item& item) {
  const Scenario scenario = trialScenario(condition, item);
  WorldOptions options;
  options.runOnMicros = 0;  // the trial ends with its scenario
  return judgeTranscript(item, runSimulation(scenario, options).transcript);
}
