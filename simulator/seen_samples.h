#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/contact_packet.h"
#include "platform/glove_library.h"
#include "sampling/sample_window.h"

// The samples and windows of a run, worked out from outside the program: from the
// bytes on its contact line, the glove records it read and its console. A sample is a
// reply the program accepted, then a glove read; samples fall in windows of three from
// the start of each mode, except in finger connections, which takes none. The trace
// and the live view both see the program this way.

struct SeenSamples {
  // The contact packet as the program holds it, rebuilt from the bytes it takes.
  std::vector<uint8_t> replyBytes;  // taken since the last request byte
  bool replyPending = false;        // a request has been sent since the last glove read
  ContactPacket packet;

  bool windowsOff = false;  // finger connections: samples belong to no window
  bool atPageStart = false;  // the console was just cleared: the next text shows the mode
  std::string pageStart;     // the page's first text so far, while it may be the banner
  int windows = 0;          // windows begun, counted from 1
  int samplesInWindow = 0;  // samples of the current window taken so far
  SampleWindow window;      // the current window, as the program holds it
};

// One sample as the program stored it.
struct SeenSample {
  float channel[kChannels] = {};
  int groups = 0;          // slots the latest reply filled; the others hold what earlier replies left
  int window = 0;          // the window it belongs to, counted from 1; 0: none
  int indexInWindow = 0;   // 0 to 2
  bool windowDone = false;  // the last of its window: `still` holds the window's stillness
  bool still = false;
};

// Reads a reply as the program does, word by word, writing the packet's slots as the
// program writes them (a refused reply leaves the same traces); true when accepted.
// Running out of bytes is the program's time-out.
bool readSeenReply(const std::vector<uint8_t>& bytes, ContactPacket& packet);

// The program sent a byte on its contact line.
void seenByteSent(SeenSamples& seen, int byte);

// The program took a byte from its contact line.
void seenByteTaken(SeenSamples& seen, int byte);

// True when the bytes taken since the last request make a reply the program accepts:
// its next glove read completes a sample.
bool seenReplyAccepted(const SeenSamples& seen);

// The program read the glove record; true, with the sample, when that completed one.
bool seenGloveRead(SeenSamples& seen, const GloveRecord& record, SeenSample& sample);

// Where a page's first text stands against the banner a mode starts its page with.
enum class PageBanner { kUndecided, kShown, kOther };

// Reads a page's text, in any pieces, as far as banner goes: start keeps the page's
// first text so far (blanks before it skipped), and what is read is taken off the front
// of text. kUndecided while start may still become the banner.
PageBanner pageBannerRead(std::string& start, std::string_view& text, std::string_view banner);

// The program wrote console text (in any pieces) or cleared the console.
void seenConsoleText(SeenSamples& seen, std::string_view text);
void seenConsoleClear(SeenSamples& seen);
