#include "simulator/script.h"

#include <gtest/gtest.h>

#include <vector>

#include "simulator/timing.h"

namespace {

TEST(ScriptTest, ReportsTheFirstBadLine) {
  struct Case {
    const char* script;
    int line;
    const char* message;  // part of the message
  };
  const Case cases[] = {
      {"wait 10\nfrobnicate 3", 2, "unknown action 'frobnicate'"},
      {"# only a comment\n\n  wait 1 2", 3, "'wait' takes 1 argument, not 2"},
      {"bends 1 2 3 4", 1, "'bends' takes 5 arguments, not 4"},
      {"touch RT", 1, "'touch' takes at least 2 arguments, not 1"},
      {"calibrate now", 1, "'calibrate' takes 0 arguments, not 1"},
      {"bends 0 0 256 0 0", 1, "'256' is not a bend"},
      {"wait -1", 1, "'-1' is not a number of milliseconds"},
      {"wait 86400001", 1, "'86400001' is not a number of milliseconds"},
      {"groups 0x18 0x10000", 1, "'0x10000' is not a word"},
      {"groups 65536", 1, "'65536' is not a word"},
      {"groups 0x", 1, "'0x' is not a word"},
      {"clock 4294967296", 1, "'4294967296' is not a clock reading"},
      {"position 1 2 x", 1, "'x' is not a number"},
      {"angles 1 inf 3", 1, "'inf' is not a number"},
      {"press E", 1, "unknown button 'E'"},
      {"press all", 1, "unknown button 'all'"},
      {"touch RT XX", 1, "unknown pad 'XX'"},
      {"touch RT_ RI", 1, "unknown pad 'RT_'"},
      {"hold small", 1, "no handshape the program names 'small' can be held"},
      {"hold rest", 1, "'rest'"},
      {"move sideways", 1, "unknown movement 'sideways'"},
      {"move down 0", 1, "'0' is not a number of milliseconds"},
      {"sign goodbye", 1, "no sign for 'goodbye'"},
      {"controller loud", 1, "unknown controller mode 'loud'"},
      {"controller corrupt", 1, "'controller corrupt' takes a number of replies"},
      {"controller silent 2", 1, "'controller silent' takes nothing more"},
      {"controller noise", 1, "'controller noise' takes at least one word"},
      {"reply 0x00 256", 1, "'256' is not a byte"},
      {"reply 0x100", 1, "'0x100' is not a byte"},
      {"reply -1", 1, "'-1' is not a byte"},
      {"reply 0x", 1, "'0x' is not a byte"},
      {"noise 1001", 1, "'1001' is not a noise amount"},
      {"serial works", 1, "did you mean 'serial fails'?"},
      {"wait 5\nclock 100", 2, "'clock' is a start-up condition and must come before the first wait"},
      {"tap A\nserial fails", 2, "'serial' is a start-up condition"},
      {"press A\ncalibrate\nglove absent", 3, "'glove' is a start-up condition"},
      {"rest\nclock 5", 2, "'clock' is a start-up condition"},
      {"serial fails twice", 1, "did you mean 'serial fails'?"},
      {"serial fails open baud", 1, "did you mean 'serial fails'?"},
      {"serial", 1, "did you mean 'serial fails'?"},
      {"wait 1\nserial fails line", 2, "'serial' is a start-up condition"},
      {"glove returns", 1, "did you mean 'glove absent' or 'glove returns N'?"},
      {"glove returns 1 2", 1, "did you mean 'glove absent' or 'glove returns N'?"},
      {"glove returns one", 1, "'one' is not a glove init result"},
      {"glove returns 2147483648", 1, "'2147483648' is not a glove init result"},
      {"wait 1\nglove returns 2", 2, "'glove' is a start-up condition"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Scenario scenario;
    scenario.clockStartMs = 7;
    ScriptError error;
    EXPECT_FALSE(compileScript(c.script, scenario, error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    EXPECT_EQ(scenario.clockStartMs, 7u);  // nothing compiled
  }
}

TEST(ScriptTest, CompilesStartUpConditionsAndTimedEvents) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript(
      "clock 4294967295 # last millisecond\nserial fails\nglove absent\n\ngroups 0x18 24 0XFFFF 0\nwait 10\n"
      "\tcontroller noise 0x4000\nrelease all\nwait 5",
      scenario, error))
      << error.line << ": " << error.message;
  EXPECT_EQ(scenario.clockStartMs, 4294967295u);
  EXPECT_TRUE(scenario.serialFails);
  EXPECT_TRUE(scenario.gloveAbsent);
  EXPECT_EQ(scenario.endMicros, 15'000);
  ASSERT_EQ(scenario.events.size(), 3u);
  EXPECT_EQ(scenario.events[0].kind, EventKind::kGroups);
  EXPECT_EQ(scenario.events[0].atMicros, 0);
  EXPECT_EQ(scenario.events[0].words, (std::vector<uint16_t>{0x18, 24, 0xFFFF, 0}));
  EXPECT_EQ(scenario.events[1].kind, EventKind::kControllerNoise);
  EXPECT_EQ(scenario.events[1].atMicros, 10'000);
  EXPECT_EQ(scenario.events[2].kind, EventKind::kRelease);
  EXPECT_EQ(scenario.events[2].buttons, 0xFu);
}

TEST(ScriptTest, StartUpConditionsOfThePortAndTheGlove) {
  struct Case {
    const char* script;
    SerialFailure serial;
    bool gloveAbsent;
    int gloveInitResult;
  };
  const Case cases[] = {
      {"", kSerialWorks, false, 1},
      {"serial fails", kSerialOpenFails, false, 1},
      {"serial fails open", kSerialOpenFails, false, 1},
      {"serial fails baud", kSerialBaudFails, false, 1},
      {"serial fails line", kSerialLineFails, false, 1},
      {"glove absent", kSerialWorks, true, 0},
      {"glove returns 2", kSerialWorks, false, 2},
      {"glove returns -1", kSerialWorks, false, -1},
      {"glove returns -2147483648", kSerialWorks, false, -2147483647 - 1},
      {"glove absent\nglove returns 1", kSerialWorks, false, 1},
      {"glove returns 1\nglove absent", kSerialWorks, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Scenario scenario;
    ScriptError error;
    ASSERT_TRUE(compileScript(c.script, scenario, error)) << error.message;
    EXPECT_EQ(scenario.serialFails, c.serial);
    EXPECT_EQ(scenario.gloveAbsent, c.gloveAbsent);
    if (!c.gloveAbsent) {
      EXPECT_EQ(scenario.gloveInitResult, c.gloveInitResult);
    }
  }
}

TEST(ScriptTest, ReplyQueuesItsBytesExactly) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("reply 0 0x40 0XfF 255\nwait 3\nreply", scenario, error)) << error.message;
  ASSERT_EQ(scenario.events.size(), 2u);
  EXPECT_EQ(scenario.events[0].kind, EventKind::kReply);
  EXPECT_EQ(scenario.events[0].bytes, (std::vector<uint8_t>{0, 0x40, 0xFF, 0xFF}));
  EXPECT_EQ(scenario.events[1].atMicros, 3'000);
  EXPECT_TRUE(scenario.events[1].bytes.empty());  // one request left unanswered
}

TEST(ScriptTest, TouchNamesPadsWithoutTheUnderscore) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("touch LP LR LM LI LT LPm RPm RT RI RM RR RP", scenario, error)) << error.message;
  ASSERT_EQ(scenario.events.size(), 1u);
  EXPECT_EQ(scenario.events[0].mask, 0x3F3F);
}

}  // namespace

namespace {

ScriptError compileError(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_FALSE(compileScript(script, scenario, error)) << script;
  return error;
}

TEST(ScriptTest, UnknownNamesGetTheNearestValidOnes) {
  struct Case {
    const char* line;
    const char* message;  // the whole message
  };
  const Case cases[] = {
      {"hold Fist", "no handshape the program names 'Fist' can be held: did you mean 'fist'?"},
      {"hold perth", "no handshape the program names 'perth' can be held: did you mean 'Perth'?"},
      {"hold letter", "no handshape the program names 'letter' can be held: did you mean 'letter-n', 'letter-m' or "
                      "'letter-c'?"},
      {"hold rest", "no handshape the program names 'rest' can be held: 'rest' is an action of its own"},
      {"sign this", "no sign for 'this': did you mean 'this/the'?"},
      {"sign the", "no sign for 'the': did you mean 'this/the'?"},
      {"sign Welcome", "no sign for 'Welcome': did you mean 'welcome'?"},
      {"sign goodbye", "no sign for 'goodbye': words are: welcome to my presentation I hope this/the proves concept"},
      {"move left", "unknown movement 'left': did you mean 'leftToRight'?"},
      {"move dwon", "unknown movement 'dwon': did you mean 'down'?"},
      {"move rollwrist", "unknown movement 'rollwrist': did you mean 'rollWrists'?"},
      {"Hold round", "unknown action 'Hold': did you mean 'hold'?"},
      {"wiat 10", "unknown action 'wiat': did you mean 'wait'?"},
      {"jump 3", "unknown action 'jump'"},
  };
  for (const Case& c : cases) EXPECT_EQ(compileError(c.line).message, c.message);
}

TEST(ScriptTest, ArgumentCountsReadAsEnglish) {
  const std::pair<const char*, const char*> cases[] = {
      {"press", "'press' takes at least 1 argument, not 0"},
      {"wait", "'wait' takes 1 argument, not 0"},
      {"rest 1 2", "'rest' takes at most 1 argument, not 2"},
      {"hold", "'hold' takes 1 or 2 arguments, not 0"},
      {"touch", "'touch' takes at least 2 arguments, not 0"},
      {"angles 1", "'angles' takes 3 arguments, not 1"},
  };
  for (const auto& [line, message] : cases) EXPECT_EQ(compileError(line).message, message);
}

TEST(ScriptTest, MovesOutsideWhatTheProgramCanSeeAreRefused) {
  // No pads touch: a sample period is about 9.3 ms.
  const std::pair<const char*, const char*> cases[] = {
      {"move leftToRight 1000", "the program sees leftToRight only when it takes 28 to 130 ms"},
      {"move leftToRight 27", "the program sees leftToRight only when it takes 28 to 130 ms"},
      {"move towardBody 93", "takes 28 to 92 ms"},
      {"move rollWrists 148", "the program sees rollWrists only when it takes 149 to 260 ms"},
      {"move fingersIncDecInc 251", "the program sees fingersIncDecInc only when it takes 168 to 250 ms"},
  };
  for (const auto& [line, message] : cases) {
    const ScriptError error = compileError(line);
    EXPECT_NE(error.message.find(message), std::string::npos) << error.message;
    EXPECT_NE(error.message.find("MS is how long the movement itself takes"), std::string::npos);
  }
  for (const char* line : {"move leftToRight 28", "move leftToRight 130", "move towardBody 92", "move rollWrists 260",
                           "move fingersIncDecInc 168"}) {
    Scenario scenario;
    ScriptError error;
    EXPECT_TRUE(compileScript(line, scenario, error)) << line << ": " << error.message;
  }
}

std::vector<ScriptError> warningsOf(const char* script) {
  Scenario scenario;
  ScriptError error;
  std::vector<ScriptError> warnings;
  EXPECT_TRUE(compileScript(script, scenario, error, &warnings)) << error.message;
  return warnings;
}

TEST(ScriptTest, WarnsAboutNoiseTheSignerIsNotBuiltFor) {
  EXPECT_TRUE(warningsOf("noise 10 2\nhold round\nnoise 0\nmove fingersIncDecInc\nsign welcome").empty());
  struct Case {
    const char* script;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"noise 11", 1, "warning: the virtual signer is built for noise up to 10 (bends up to 2)"},
      {"wait 1\nnoise 0 3", 2, "warning: the virtual signer is built for noise up to 10"},
      {"noise 5 1\nmove fingersIncDecInc", 2, "warning: bend noise defeats the finger wave"},
      {"noise 5 1\nsign welcome", 2, "warning: bend noise defeats the finger wave that welcome needs"},
  };
  for (const Case& c : cases) {
    const std::vector<ScriptError> warnings = warningsOf(c.script);
    ASSERT_EQ(warnings.size(), 1u) << c.script;
    EXPECT_EQ(warnings[0].line, c.line);
    EXPECT_NE(warnings[0].message.find(c.message), std::string::npos) << warnings[0].message;
  }
}

const Note* findNote(const Scenario& scenario, const std::string& text) {
  for (const Note& note : scenario.notes)
    if (note.text == text) return &note;
  return nullptr;
}

int64_t noteAt(const Scenario& scenario, const std::string& text) {
  const Note* note = findNote(scenario, text);
  EXPECT_NE(note, nullptr) << text;
  return note ? note->atMicros : -1;
}

TEST(ScriptTest, AMoveHoldsStillUntilTheRecordingHasEnded) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("move down\nmove leftToRight\nwait 50\npress C\nmove down 100\nwait 400\nmove towardBody",
                            scenario, error))
      << error.message;
  std::vector<int64_t> starts, ends;
  for (const Note& note : scenario.notes) {
    if (note.text.starts_with("moving: ")) starts.push_back(note.atMicros);
    if (note.text.starts_with("moved: ")) ends.push_back(note.atMicros);
  }
  ASSERT_EQ(starts.size(), 4u);
  ASSERT_EQ(ends.size(), 4u);
  // Six windows of still hand (eighteen sample periods) after every movement, before
  // anything else happens; MS is the movement's own duration.
  const int64_t settle = 18 * samplePeriodMicros(0);
  EXPECT_EQ(starts[1] - ends[0], settle);
  EXPECT_EQ(starts[2] - ends[1], settle + 50'000);
  EXPECT_EQ(noteAt(scenario, "pressing C"), ends[1] + settle + 50'000);
  EXPECT_EQ(starts[3] - ends[2], settle + 400'000);
  EXPECT_EQ(ends[2] - starts[2], 100'000);
  EXPECT_EQ(scenario.endMicros, ends[3] + settle);
}

TEST(ScriptTest, NotesSayWhatTheSignerDoesWithTheLinesComment) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("calibrate\nwait 100   # the menu\ntap B  # sign recognition\nsign hope\n"
                            "press B C\nrelease all\nnoise 3\nhold point 100\nrest\nenter",
                            scenario, error))
      << error.message;
  EXPECT_EQ(noteAt(scenario, "pointing at the head"), 0);
  EXPECT_EQ(noteAt(scenario, "pressing A at the head"), 100'000);
  EXPECT_EQ(noteAt(scenario, "pressing A at the chest"), 600'000);
  EXPECT_EQ(noteAt(scenario, "the menu"), 1'000'000);
  EXPECT_EQ(noteAt(scenario, "pressing B (sign recognition)"), 1'100'000);
  EXPECT_EQ(noteAt(scenario, "releasing B"), 1'300'000);
  EXPECT_EQ(noteAt(scenario, "signing: hope"), 1'500'000);
  EXPECT_LT(noteAt(scenario, "signing: hope"), noteAt(scenario, "signed: hope"));
  EXPECT_EQ(noteAt(scenario, "signed: hope"), noteAt(scenario, "pressing B and C"));
  EXPECT_EQ(noteAt(scenario, "releasing all buttons"), noteAt(scenario, "noise 3"));
  EXPECT_EQ(noteAt(scenario, "noise 3"), noteAt(scenario, "holding: point"));
  EXPECT_LT(noteAt(scenario, "holding: point"), noteAt(scenario, "resting"));
  EXPECT_EQ(noteAt(scenario, "pressing Enter"), scenario.endMicros);
  for (size_t index = 1; index < scenario.notes.size(); ++index)
    EXPECT_LE(scenario.notes[index - 1].atMicros, scenario.notes[index].atMicros);
}

TEST(ScriptTest, NearestNamesPreferCloserMatches) {
  const std::vector<std::string_view> names = {"round", "okay", "point", "letter-n", "letter-m", "this/the", "down"};
  EXPECT_EQ(nearestNames("ROUND", names), (std::vector<std::string_view>{"round"}));
  EXPECT_EQ(nearestNames("pont", names), (std::vector<std::string_view>{"point"}));
  EXPECT_EQ(nearestNames("letter-x", names), (std::vector<std::string_view>{"letter-n", "letter-m"}));
  EXPECT_EQ(nearestNames("the", names), (std::vector<std::string_view>{"this/the"}));
  EXPECT_TRUE(nearestNames("xyzzy", names).empty());
  EXPECT_TRUE(nearestNames("", names).empty());
  // However long the word, a suggestion costs no more than for a short one.
  EXPECT_TRUE(nearestNames(std::string(10'000'000, 'x'), names).empty());
  EXPECT_EQ(nearestNames(std::string(2'000, 'o'), names), std::vector<std::string_view>{});
}

}  // namespace
