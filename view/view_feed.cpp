#include "view/view_feed.h"

#include <cstring>

#include "control/recognition_context.h"
#include "view/view_events.h"

namespace {

void publishGlove(ViewFeed& feed, int64_t atMicros, const GloveRecord& record, int64_t bornMicros) {
  viewHubPublish(*feed.hub, gloveEvent(atMicros, record), true, bornMicros);
  feed.published = record;
  feed.publishedAt = atMicros;
  feed.anyPublished = true;
  feed.holding = false;
}

// The handshape the program's tree names for the window just taken, with the packet
// as the program held it then.
HandshapeCode windowHandshape(const SeenSamples& seen) {
  RecognitionContext context;
  context.window = seen.window;
  context.packet = seen.packet;
  return classifyHandshape(context);
}

}  // namespace

void viewFeedStart(ViewFeed& feed, ViewHub& hub, std::string_view source) {
  feed = ViewFeed{};
  feed.hub = &hub;
  viewHubStart(hub, setupEvent(source));
}

void viewFeedByteSent(ViewFeed& feed, int byte) { seenByteSent(feed.seen, byte); }

void viewFeedByteTaken(ViewFeed& feed, int byte) { seenByteTaken(feed.seen, byte); }

void viewFeedGlove(ViewFeed& feed, int64_t atMicros, const GloveRecord& record, int64_t bornMicros) {
  const GloveRecord& latest = feed.holding ? feed.held : feed.published;
  if (feed.anyPublished && sameGloveBits(record, latest)) return;
  const bool buttonsChanged =
      !feed.anyPublished || std::memcmp(record.buttons, feed.published.buttons, sizeof record.buttons) != 0;
  if (buttonsChanged || atMicros - feed.publishedAt >= kGloveEventMicros)
    return publishGlove(feed, atMicros, record, bornMicros);
  feed.held = record;
  feed.holding = true;
}

void viewFeedSample(ViewFeed& feed, int64_t atMicros, const GloveRecord& record) {
  SeenSample sample;
  if (!seenGloveRead(feed.seen, record, sample)) return;
  viewHubPublish(*feed.hub, sampleEvent(atMicros, sample), true);
  if (sample.windowDone)
    viewHubPublish(*feed.hub, windowEvent(atMicros, sample.window, sample.still, windowHandshape(feed.seen)), true);
}

void viewFeedTick(ViewFeed& feed, int64_t atMicros) {
  if (feed.holding && atMicros - feed.publishedAt >= kGloveEventMicros)
    publishGlove(feed, atMicros, feed.held, 0);  // held back on purpose: not timed
}

void viewFeedConsole(ViewFeed& feed, const ConsolePiece& piece) {
  if (piece.clear) seenConsoleClear(feed.seen);
  else seenConsoleText(feed.seen, piece.text);
  viewHubConsole(*feed.hub, piece);
}

void viewFeedCaption(ViewFeed& feed, int64_t atMicros, const std::string& caption) {
  viewHubCaption(*feed.hub, caption, signerEvent(atMicros, caption));
}

void viewFeedEnd(ViewFeed& feed, int64_t atMicros, int exitStatus) {
  viewFeedTick(feed, atMicros + kGloveEventMicros);  // the last change, whenever it came
  viewHubEnd(*feed.hub, endEvent(atMicros, exitStatus));
}
