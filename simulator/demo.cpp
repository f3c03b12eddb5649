#include "simulator/demo.h"

// The comments are the captions a viewer reads while the demo runs.
const char* const kDemoScript = R"(# The demo: calibrate, choose sign recognition, sign every word the program knows.
calibrate        # the program asks for the head, then the chest
wait 2000        # the main menu, on screen long enough to read
tap B            # B on the main menu: sign recognition
wait 300
sign welcome
sign to
sign my
sign presentation
sign I
sign hope
sign this/the
sign proves
sign concept
wait 500
press B C        # C leaves sign recognition; B with it ends the program
wait 300
release all
)";

std::string longSessionScript() {
  std::string script = "calibrate\nwait 500\ntap B\nwait 300\n";
  for (int round = 0; round < 40; ++round)
    for (const char* word : {"welcome", "to", "my", "presentation", "I", "hope", "this/the", "proves", "concept"})
      script += std::string("sign ") + word + "\n";
  return script + "wait 500\npress B C\nwait 300\nrelease all\n";
}
