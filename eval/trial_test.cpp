#include "eval/trial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "recognition/sign_recogniser.h"
#include "simulator/signer.h"

namespace {

const std::string kHandshapeBanner = "\fHANDSHAPE diagnostics program\n\n";
const std::string kMovementBanner = "\fMOVEMENT diagnostics program\n\n";
const std::string kSignBanner = "\fSIGN RECOGNITION program\n\n";

TEST(TrialTest, JudgesWhatTheModePrinted) {
  struct Case {
    Family family;
    const char* item;
    std::string transcript;
    std::vector<std::string> printed;
    const char* response;
    bool correct;
  };
  const Case cases[] = {
      // The first handshape line names the untouched window and is not the trial's.
      {Family::kHandshape, "point", "menu\n\n" + kHandshapeBanner + "spread\n\nHANDSHAPE UNKNOWN\n\npoint\n\npoint\n\n",
       {"HANDSHAPE UNKNOWN", "point", "point"}, "point", true},
      {Family::kHandshape, "point", kHandshapeBanner + "point\n\nHANDSHAPE UNKNOWN\n\n", {"HANDSHAPE UNKNOWN"},
       "nothing", false},
      {Family::kHandshape, "hook", kHandshapeBanner + "spread\n\nhook\n\npoint\n\nfist\n\n", {"hook", "point", "fist"},
       "point", false},
      {Family::kHandshape, "spread", kHandshapeBanner + "spread\n\n", {}, "nothing", false},
      {Family::kMovement, "down", kMovementBanner + "UNKNOWN MOVEMENT\ndown\n", {"UNKNOWN MOVEMENT", "down"}, "down",
       true},
      {Family::kMovement, "down", kMovementBanner + "towardBody\ndown\n", {"towardBody", "down"}, "towardBody", false},
      {Family::kMovement, "down", kMovementBanner, {}, "nothing", false},
      {Family::kWord, "this/the", kSignBanner + "this/the ", {"this/the"}, "this/the", true},
      {Family::kWord, "I", kSignBanner + "my I ", {"my", "I"}, "my", false},
      // Output after the mode was left is not the trial's; no banner, nothing printed.
      {Family::kWord, "to", kSignBanner + "\fto ", {}, "nothing", false},
      {Family::kWord, "to", "COM1 for Contact sensors NOT setup\n\n", {}, "nothing", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.transcript);
    const Outcome outcome = judgeTranscript({c.family, c.item}, c.transcript);
    EXPECT_EQ(outcome.printed, c.printed);
    EXPECT_EQ(outcome.response, c.response);
    EXPECT_EQ(outcome.correct, c.correct);
  }
}

TEST(TrialTest, TakesEveryItemTheSignerKnows) {
  const std::vector<std::string> shapes = familyItems(Family::kHandshape);
  EXPECT_EQ(shapes.size(), 36u);  // every name the tree returns
  EXPECT_EQ(std::count(shapes.begin(), shapes.end(), "small"), 0);
  EXPECT_EQ(familyItems(Family::kMovement).size(), 7u);
  EXPECT_EQ(familyItems(Family::kMovement).front(), "fingersIncDecInc");

  // The words are exactly those of the sign table, and the signer knows each.
  std::set<std::string> tableWords;
  for (HandshapeCode start = 1; start <= kLastHandshape; ++start)
    for (MovementCode movement = 0; movement <= kLastMovement; ++movement)
      for (HandshapeCode end = 0; end <= kLastHandshape; ++end)
        if (const char* word = lookUpSign(start, movement, end)) tableWords.insert(word);
  std::set<std::string> words;
  for (const std::string& word : familyItems(Family::kWord)) {
    EXPECT_TRUE(signerKnowsWord(word)) << word;
    words.insert(word + " ");  // the table's texts end with the space that separates words
  }
  EXPECT_EQ(words, tableWords);
  EXPECT_EQ(allItems().size(), 36u + 7u + 9u);
}

// One item of each family, run through the whole program: recognised in clean
// conditions, the same every time, and the seed matters only with noise.
TEST(TrialTest, RunsTheItemThroughTheProgram) {
  const Item items[] = {{Family::kHandshape, "letter-m"}, {Family::kMovement, "rollWrists"}, {Family::kWord, "hope"}};
  for (const Item& item : items) {
    SCOPED_TRACE(item.name);
    const Outcome clean = runTrial({}, item);
    EXPECT_TRUE(clean.correct) << clean.response;
    EXPECT_EQ(clean.response, item.name);
    Condition noisy;
    noisy.noise = 30;
    noisy.bendNoise = 3;
    noisy.seed = 4;
    EXPECT_EQ(runTrial(noisy, item).printed, runTrial(noisy, item).printed);
  }
}

// The finger wave needs a strict rise between the first two samples it records: any
// jitter on the bends defeats it, and a glove record refreshed less often than the
// program samples repeats samples.
TEST(TrialTest, FingerWaveFallsToBendNoiseAndSlowRefresh) {
  const Item wave = {Family::kMovement, "fingersIncDecInc"};
  Condition bends;
  bends.bendNoise = 3;
  Condition slowGlove;
  slowGlove.refreshMs = 20;
  int recognised = 0;
  for (uint64_t seed = 1; seed <= 4; ++seed) {
    bends.seed = slowGlove.seed = seed;
    recognised += runTrial(bends, wave).correct + runTrial(slowGlove, wave).correct;
  }
  EXPECT_LT(recognised, 8);
}

TEST(TrialTest, ScenarioCarriesTheCondition) {
  Condition condition;
  condition.noise = 12;
  condition.bendNoise = 2;
  condition.scanMs = 7;
  condition.refreshMs = 15;
  condition.seed = 99;
  const Scenario scenario = trialScenario(condition, {Family::kWord, "to"});
  EXPECT_EQ(scenario.noiseSeed, 99u);
  EXPECT_EQ(scenario.controllerScanMicros, 7000);
  EXPECT_EQ(scenario.gloveRefreshMicros, 15000);
  ASSERT_FALSE(scenario.events.empty());
  EXPECT_EQ(scenario.events[0].kind, EventKind::kNoise);
  EXPECT_EQ(scenario.events[0].amount, 12);
  EXPECT_EQ(scenario.events[0].bendAmount, 2);

  // Tempo stretches the item alone: the lead-in before it keeps its length.
  Condition slow;
  slow.tempo = 3;
  const Item item = {Family::kMovement, "down"};
  const int64_t usual = trialScenario({}, item).endMicros, paced = trialScenario(slow, item).endMicros;
  EXPECT_GT(paced, usual);
  EXPECT_LT(paced - usual, 3 * 1000 * 1000);  // the movement lasts well under 1.5 s
}

}  // namespace
