#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/glove_library.h"
#include "recognition/handshape.h"
#include "simulator/seen_samples.h"
#include "view/console_screen.h"

// What the live view's page is sent: one JSON object an event, told apart by "kind".
// Times ("ms") are the run's: virtual milliseconds in the simulator, milliseconds since
// the program started for the real one.
//   setup    source ("simulator" or "program"), the handshape tree's bend thresholds,
//            the pads with their masks, the track's length, the samples a window
//            takes: what the page draws with, sent first
//   screen   the console page now, the words recognised so far, the latest caption and
//            whether the run has ended: a viewer starts (or starts again) from it
//   glove    the glove record: position, angles (record order), bends, buttons
//   sample   a sample the program took, as it stored it: the glove's part as above but
//            the buttons, the six contact slots,
//            how many the latest reply filled, its window (0: none) and place in it
//   window   a window taken: its number, still or moving, the handshape the tree names
//            for it (code, and the name the program prints for it)
//   console  text the program printed; clear: it cleared the console
//   word     a word recognised
//   signer   what the virtual signer starts doing (the simulator only)
//   end      the run has ended, with the program's exit status

// Text as a JSON string, quoted; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(std::string_view text);

std::string setupEvent(std::string_view source);
std::string screenEvent(const ConsoleScreen& screen, std::string_view caption, bool ended);
std::string gloveEvent(int64_t atMicros, const GloveRecord& record);
std::string sampleEvent(int64_t atMicros, const SeenSample& sample);
std::string windowEvent(int64_t atMicros, int window, bool still, HandshapeCode handshape);
std::string consoleEvent(const ConsolePiece& piece);
std::string wordEvent(std::string_view word);
std::string signerEvent(int64_t atMicros, std::string_view caption);
std::string endEvent(int64_t atMicros, int exitStatus);
