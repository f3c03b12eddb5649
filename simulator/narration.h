#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"
#include "simulator/world.h"

// Captions of what the virtual signer is doing, shown as the run reaches them, apart
// from the program's console: on a terminal, in a status line on its bottom row (the
// rows above scroll as the program's screen); otherwise as lines on a stream of their
// own (standard error), never in the program's output.

struct NarrationOptions {
  FILE* terminal = nullptr;  // the terminal the program's console is echoed to, or none
  int rows = 0, columns = 0;  // its size
  FILE* lines = nullptr;      // where captions go as lines when there is no terminal
};

// Starts captions for a run of the scenario; on a terminal, clears it and keeps its
// bottom row for the caption.
void narrationStart(const Scenario& scenario, const NarrationOptions& options);

// Shows the captions due by now; redraws the status line after a clear (WorldOptions::observe).
void narrationObserve(const ObservedCall& call);

// Gives the terminal back whole, with the cursor after the program's output.
void narrationFinish();

// The words of every `sign` in the scenario, in order.
std::vector<std::string> signedWords(const Scenario& scenario);

// The words the program printed in sign recognition, in order.
std::vector<std::string> recognisedWords(std::string_view transcript);

// The sign recognition pages of the run narrated, as the program printed them (each
// after a form feed): all recognisedWords needs, where the run keeps no transcript.
const std::string& narrationSignPages();

// "The demo has finished." on a line, then the signed and the recognised words side by
// side, one pair a column, each column as wide as its longer word, in pairs of lines no
// wider than 79 columns; every line ends in '\n'.
std::string finishedLines(std::string_view what, const std::vector<std::string>& signedList,
                          const std::vector<std::string>& recognised);
