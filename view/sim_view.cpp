#include "view/sim_view.h"


#include <cstdio>

#include "view/view_feed.h"

namespace {

struct SimView {
  const Scenario* scenario = nullptr;
  SimViewOptions options;
  size_t nextNote = 0;
  ViewHub hub;
  ViewFeed feed;
  ViewServer server;
};

SimView view;

void captionsUntil(int64_t micros) {
  const std::vector<Note>& notes = view.scenario->notes;
  for (; view.nextNote < notes.size() && notes[view.nextNote].atMicros <= micros; ++view.nextNote)
    viewFeedCaption(view.feed, notes[view.nextNote].atMicros, notes[view.nextNote].text);
}

}  // namespace

bool simViewStart(const Scenario& scenario, const SimViewOptions& options, std::string& error) {
  view.scenario = &scenario;
  view.options = options;
  viewFeedStart(view.feed, view.hub, "simulator");
  if (!viewServerStart(view.server, view.hub, options.address, options.port, error)) {
    view.scenario = nullptr;
    return false;
  }
  std::fprintf(stderr, "signglove-sim: the live view is at %s\n", view.server.url.c_str());
  return true;
}

void simViewObserve(const ObservedCall& call) {
  if (!view.scenario) return;
  const int64_t now = world.nowMicros;
  captionsUntil(now);
  switch (call.kind) {
    case ObservedCall::kGloveRead: {
      viewFeedGlove(view.feed, now, *call.record, viewClockMicros());
      viewFeedSample(view.feed, now, *call.record);
      break;
    }
    case ObservedCall::kByteSent:
      viewFeedByteSent(view.feed, call.byte);
      break;
    case ObservedCall::kByteTaken:
      viewFeedByteTaken(view.feed, call.byte);
      break;
    case ObservedCall::kConsoleWrite:
      viewFeedConsole(view.feed, {false, *call.text});
      break;
    case ObservedCall::kConsoleClear:
      viewFeedConsole(view.feed, {true, {}});
      break;
  }
  viewFeedTick(view.feed, now);
}

void simViewFinish(int exitStatus) {
  if (!view.scenario) return;
  captionsUntil(world.nowMicros);
  viewFeedEnd(view.feed, world.nowMicros, exitStatus);
  if (view.options.keep)
    std::fprintf(stderr, "signglove-sim: the run has ended; the live view stays at %s until Ctrl-C\n",
                 view.server.url.c_str());
  viewServerLinger(view.options.keep ? -1 : kSimViewLingerSeconds);
  viewServerStop(view.server);
  const ViewLatencies& latencies = view.hub.latencies;
  if (latencies.count > 0)
    std::fprintf(stderr,
                 "signglove-sim: the live view served %d viewers; events left the server %.2f ms (median), %.2f ms "
                 "(worst) after the program read the glove record\n",
                 view.hub.viewersEver, static_cast<double>(viewLatencyMedian(latencies)) / 1e3,
                 static_cast<double>(latencies.worstMicros) / 1e3);
  view.scenario = nullptr;
}
