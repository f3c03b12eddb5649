#include "simulator/narration.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

std::string contents(FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

Scenario compiled(const char* script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << error.message;
  return scenario;
}

const char* const kScript = "calibrate\nwait 300 # the menu\ntap B\nsign to\nsign concept\nwait 200\npress B C\n";

TEST(NarrationTest, CaptionsGoToTheirOwnStreamInOrderAndLeaveTheTranscriptAlone) {
  const Scenario scenario = compiled(kScript);
  const std::string plain = runSimulation(scenario).transcript;

  FILE* lines = std::tmpfile();
  ASSERT_NE(lines, nullptr);
  narrationStart(scenario, {nullptr, 0, 0, lines});
  WorldOptions options;
  options.observe = narrationObserve;
  const SimulationResult result = runSimulation(scenario, options);
  narrationFinish();
  EXPECT_EQ(result.transcript, plain);

  const std::string captions = contents(lines);
  std::fclose(lines);
  size_t at = 0;
  for (const char* caption : {"pointing at the head", "pressing A at the head", "pointing at the chest", "the menu",
                              "pressing B", "signing: to", "signed: to", "signing: concept", "pressing B and C"}) {
    const size_t found = captions.find(std::string("signglove-sim: virtual signer: ") + caption + "\n", at);
    ASSERT_NE(found, std::string::npos) << caption << " in\n" << captions;
    at = found;
  }
}

TEST(NarrationTest, OnATerminalTheCaptionKeepsToTheBottomRow) {
  const Scenario scenario = compiled(kScript);
  FILE* terminal = std::tmpfile();
  ASSERT_NE(terminal, nullptr);
  narrationStart(scenario, {terminal, 24, 40, nullptr});
  WorldOptions options;
  options.observe = narrationObserve;
  runSimulation(scenario, options);
  narrationFinish();
  const std::string screen = contents(terminal);
  std::fclose(terminal);
  EXPECT_TRUE(screen.starts_with("\x1b[H\x1b[2J\x1b[1;23r")) << "rows 1 to 23 scroll";
  EXPECT_NE(screen.find("\x1b[24;1H\x1b[2K\x1b[7m virtual signer | signing: concept"), std::string::npos);
  // Captions are cut to the width of the terminal, less one column.
  EXPECT_NE(screen.find(" virtual signer | pressing A at the hea\x1b[0m"), std::string::npos);
  EXPECT_TRUE(screen.ends_with("\x1b" "7\x1b[r\x1b" "8\x1b" "7\x1b[24;1H\x1b[2K\x1b" "8")) << "every row scrolls again";
}

TEST(NarrationTest, SignedAndRecognisedWordsSideBySide) {
  EXPECT_EQ(signedWords(compiled(kScript)), (std::vector<std::string>{"to", "concept"}));
  const std::string transcript =
      "menu\fSIGN RECOGNITION program\n\nwelcome to \fmenu\fSIGN RECOGNITION program\n\nI \fmenu";
  EXPECT_EQ(recognisedWords(transcript), (std::vector<std::string>{"welcome", "to", "I"}));
  EXPECT_EQ(finishedLines("Done.", {"welcome", "to", "this/the", "my"}, {"welcome", "my", "to"}),
            "Done.\n"
            "  signed:     welcome to this/the my\n"
            "  recognised: welcome my to       -\n");
  EXPECT_EQ(finishedLines("Done.", {}, {}), "Done.\n  signed:\n  recognised:\n");
  // A long list goes on in a second pair of lines rather than past 79 columns.
  const std::vector<std::string> many(12, "presentation");
  const std::string wrapped = finishedLines("Done.", many, many);
  std::istringstream lines(wrapped);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) EXPECT_LE(line.size(), 79u) << line;
  EXPECT_EQ(count, 1 + 2 * 3);  // five 13-column words a line
}

// A run that keeps no transcript (signglove-sim streams it) still knows the words it
// recognised, from the sign recognition pages the narration keeps, and nothing else.
TEST(NarrationTest, KeepsOnlyTheSignRecognitionPagesForTheWordsRecognised) {
  const Scenario scenario = compiled(kScript);
  const std::string transcript = runSimulation(scenario).transcript;
  narrationStart(scenario, {});
  WorldOptions options;
  options.observe = narrationObserve;
  options.keepTranscript = false;
  const SimulationResult result = runSimulation(scenario, options);
  narrationFinish();
  EXPECT_EQ(result.transcript, transcript.substr(transcript.rfind('\f')));  // the latest page only
  EXPECT_EQ(recognisedWords(narrationSignPages()), recognisedWords(transcript));
  EXPECT_EQ(recognisedWords(narrationSignPages()), (std::vector<std::string>{"to", "concept"}));
  EXPECT_EQ(narrationSignPages().find("Press:"), std::string::npos) << "menu pages are not kept";
}

}  // namespace
