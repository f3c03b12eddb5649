#pragma once

// `signglove-glove keys`: the keyboard glove on a terminal. The keys (drivers/
// keyboard_glove.h) have the virtual signer take handshapes, perform movements and
// tap buttons; the hand is published through the glove record at the glove's pace
// (every millisecond while it moves), and the screen shows what is held and the keys.

#include <sys/types.h>

#include <string>

struct KeysOptions {
  std::string contacts;  // where to link a contact controller's pseudo-terminal; empty: none
  gid_t readerGroup = static_cast<gid_t>(-1);
};

// Runs until q, Ctrl-C or a signal; the terminal is put back as it was. The exit status.
int runKeyboardGlove(const KeysOptions& options);
