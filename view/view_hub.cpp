#include "view/view_hub.h"

#include <time.h>

#include <algorithm>

#include "view/view_events.h"

namespace {

void append(std::string& out, const std::string& data) { out += "data: " + data + "\n\n"; }

// Under the hub's lock.
void publishLocked(ViewHub& hub, std::string data, bool history, int64_t bornMicros) {
  hub.events.push_back({hub.nextNumber++, std::move(data), history, bornMicros});
  if (hub.events.size() > kMostEventsKept) hub.events.pop_front();
}

// Under the hub's lock: what a viewer starts from, and the number of the event it is
// to get next.
void snapshot(const ViewHub& hub, ViewerCursor& cursor, std::string& out) {
  append(out, hub.setup);
  append(out, screenEvent(hub.screen, hub.caption, hub.ended));
  size_t history = 0;
  auto first = hub.events.end();
  while (first != hub.events.begin() && history < kHistoryForNewViewers)
    if ((--first)->history) ++history;
  for (; first != hub.events.end(); ++first)
    if (first->history) append(out, first->data);
  cursor.next = hub.nextNumber;
}

}  // namespace

void viewHubStart(ViewHub& hub, std::string setup) {
  const std::lock_guard<std::mutex> lock(hub.mutex);
  hub.setup = std::move(setup);
}

void viewHubPublish(ViewHub& hub, std::string data, bool history, int64_t bornMicros) {
  {
    const std::lock_guard<std::mutex> lock(hub.mutex);
    publishLocked(hub, std::move(data), history, bornMicros);
  }
  hub.changed.notify_all();
}

void viewHubConsole(ViewHub& hub, const ConsolePiece& piece) {
  {
    const std::lock_guard<std::mutex> lock(hub.mutex);
    std::vector<std::string> words;
    consoleScreenAdd(hub.screen, piece, words);
    publishLocked(hub, consoleEvent(piece), false, 0);
    for (const std::string& word : words) publishLocked(hub, wordEvent(word), false, 0);
  }
  hub.changed.notify_all();
}

void viewHubCaption(ViewHub& hub, const std::string& caption, std::string data) {
  {
    const std::lock_guard<std::mutex> lock(hub.mutex);
    hub.caption = caption;
    publishLocked(hub, std::move(data), false, 0);
  }
  hub.changed.notify_all();
}

void viewHubEnd(ViewHub& hub, std::string data) {
  {
    const std::lock_guard<std::mutex> lock(hub.mutex);
    hub.ended = true;
    publishLocked(hub, std::move(data), false, 0);
  }
  hub.changed.notify_all();
}

void viewHubClose(ViewHub& hub) {
  {
    const std::lock_guard<std::mutex> lock(hub.mutex);
    hub.closed = true;
  }
  hub.changed.notify_all();
}

void viewHubViewerCame(ViewHub& hub) {
  const std::lock_guard<std::mutex> lock(hub.mutex);
  ++hub.viewers;
  ++hub.viewersEver;
}

void viewHubViewerLeft(ViewHub& hub) {
  const std::lock_guard<std::mutex> lock(hub.mutex);
  --hub.viewers;
}

bool viewHubTake(ViewHub& hub, ViewerCursor& cursor, std::string& out, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(hub.mutex);
  cursor.bornMicros.clear();
  hub.changed.wait_for(lock, wait, [&] { return hub.closed || cursor.next == 0 || cursor.next < hub.nextNumber; });
  if (hub.closed) return false;
  if (cursor.next == 0 || (!hub.events.empty() && cursor.next < hub.events.front().number)) {
    if (cursor.next != 0) ++hub.skippedAhead;  // it fell behind what is kept
    snapshot(hub, cursor, out);
    return true;
  }
  if (hub.events.empty()) return true;
  for (auto event = hub.events.begin() + static_cast<std::ptrdiff_t>(cursor.next - hub.events.front().number);
       event != hub.events.end() && out.size() < kMostBytesPerTake; ++event) {
    append(out, event->data);
    if (event->bornMicros) cursor.bornMicros.push_back(event->bornMicros);
    cursor.next = event->number + 1;
  }
  return true;
}

void viewHubDelivered(ViewHub& hub, ViewerCursor& cursor, int64_t nowMicros) {
  const std::lock_guard<std::mutex> lock(hub.mutex);
  ViewLatencies& latencies = hub.latencies;
  for (int64_t born : cursor.bornMicros) {
    const int64_t micros = nowMicros - born;
    ++latencies.count;
    latencies.worstMicros = std::max(latencies.worstMicros, micros);
    if (latencies.micros.size() < kLatenciesKept) latencies.micros.push_back(micros);
  }
  cursor.bornMicros.clear();
}

int64_t viewClockMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

int64_t viewLatencyMedian(const ViewLatencies& latencies) {
  if (latencies.micros.empty()) return 0;
  std::vector<int64_t> values = latencies.micros;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
  return values[values.size() / 2];
}
