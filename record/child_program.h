#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <vector>

// The program a recorder or a live view runs: it never outlives them, and it starts with
// the signals' usual handling whatever theirs.

struct ChildProgram {
  pid_t pid = -1;
  int keys = -1;  // the writing end of its standard input, non-blocking; -1 on a terminal
};

// Starts command. With terminal >= 0 (a pseudo-terminal's slave) that is its controlling
// terminal, in a session of its own, and its standard input and output; otherwise its
// standard input is a pipe (keys). False with the reason when it cannot be run at all.
bool childProgramStart(const std::vector<std::string>& command, int terminal, ChildProgram& program,
                       std::string& error);

// A wait status as an exit status: the program's own, or 128 + the signal that ended it.
int childExitStatus(int status);

// Signals as bytes for a poll() loop: from now on each of these signals writes its
// number to a pipe, whose reading end (non-blocking) this returns; -1 when it cannot be
// made. One such pipe a process.
int signalPipeStart(std::initializer_list<int> signals);
