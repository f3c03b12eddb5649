#include "view/view_hub.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "view/view_events.h"

namespace {

using std::chrono::milliseconds;

// The data lines of server-sent events, in order.
std::vector<std::string> dataOf(const std::string& stream) {
  std::vector<std::string> events;
  for (size_t at = stream.find("data: "); at != std::string::npos; at = stream.find("data: ", at)) {
    const size_t end = stream.find("\n\n", at);
    events.push_back(stream.substr(at + 6, end - at - 6));
    at = end;
  }
  return events;
}

std::vector<std::string> take(ViewHub& hub, ViewerCursor& cursor) {
  std::string out;
  EXPECT_TRUE(viewHubTake(hub, cursor, out, milliseconds(0)));
  return dataOf(out);
}

TEST(JsonString, EscapesWhatJsonMustAndMendsWhatIsNotUtf8) {
  const struct {
    std::string text, json;
  } cases[] = {
      {"fist", "\"fist\""},
      {"a \"b\" \\ c\n", "\"a \\\"b\\\" \\\\ c\\n\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x91\x8D", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x91\x8D\""},
      {"\xC3 \xFF \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80", "\"\xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD "
                                                           "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD"
                                                           "\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) EXPECT_EQ(jsonString(c.text), c.json) << c.text;
}

TEST(ViewEvents, NumbersAJsonReaderTakes) {
  GloveRecord record{};
  record.x = NAN;
  record.y = INFINITY;
  record.z = 12.5f;
  record.bend[1] = 255;
  record.buttons[2] = 7;
  EXPECT_EQ(gloveEvent(1500, record),
            "{\"kind\":\"glove\",\"ms\":1.500,\"position\":[null,null,12.5],\"angles\":[0,0,0],"
            "\"bends\":[0,255,0,0,0],\"buttons\":[0,0,1,0]}");
  EXPECT_EQ(windowEvent(2000, 7, true, kPoint),
            "{\"kind\":\"window\",\"ms\":2.000,\"window\":7,\"still\":true,\"handshape\":3,\"name\":\"point\"}");
  EXPECT_NE(setupEvent("program").find("\"bendThresholds\":[5,10,15,20,25,30,40]"), std::string::npos);
}

TEST(ViewHub, ANewViewerStartsFromTheScreenAndTheLatestHistory) {
  ViewHub hub;
  viewHubStart(hub, "SETUP");
  viewHubConsole(hub, {false, "SIGN RECOGNITION program\n\nto "});
  for (size_t event = 0; event < kHistoryForNewViewers + 5; ++event)
    viewHubPublish(hub, "H" + std::to_string(event), true);
  viewHubPublish(hub, "LIVE-ONLY", false);

  ViewerCursor cursor;
  const std::vector<std::string> first = take(hub, cursor);
  ASSERT_EQ(first.size(), 2 + kHistoryForNewViewers);
  EXPECT_EQ(first[0], "SETUP");
  EXPECT_EQ(first[1], screenEvent(hub.screen, "", false));
  EXPECT_NE(first[1].find("\"words\":[\"to\"]"), std::string::npos);
  EXPECT_EQ(first[2], "H5");
  EXPECT_EQ(first.back(), "H" + std::to_string(kHistoryForNewViewers + 4));

  EXPECT_TRUE(take(hub, cursor).empty());  // nothing new
  viewHubConsole(hub, {false, "my "});
  EXPECT_EQ(take(hub, cursor), (std::vector<std::string>{consoleEvent({false, "my "}), wordEvent("my")}));
}

TEST(ViewHub, ASlowViewerSkipsAheadAndMemoryStaysBounded) {
  ViewHub hub;
  viewHubStart(hub, "SETUP");
  ViewerCursor slow, keeping;
  take(hub, slow);
  take(hub, keeping);
  for (size_t event = 0; event < 10 * kMostEventsKept; ++event) {
    viewHubPublish(hub, "E" + std::to_string(event), false);
    if (event % 100 == 99) take(hub, keeping);
  }
  EXPECT_EQ(hub.events.size(), kMostEventsKept);
  EXPECT_EQ(take(hub, keeping).back(), "E" + std::to_string(10 * kMostEventsKept - 1));
  EXPECT_EQ(hub.skippedAhead, 0);

  const std::vector<std::string> again = take(hub, slow);  // it missed more than is kept
  EXPECT_EQ(again.front(), "SETUP");
  EXPECT_EQ(hub.skippedAhead, 1);
  viewHubPublish(hub, "NEXT", false);
  EXPECT_EQ(take(hub, slow), std::vector<std::string>{"NEXT"});

  // A take is bounded too: a viewer far behind gets the rest in later takes.
  ViewerCursor behind;
  take(hub, behind);
  for (size_t event = 0; event < kMostEventsKept - 1; ++event) viewHubPublish(hub, std::string(1000, 'x'), false);
  std::string out;
  viewHubTake(hub, behind, out, milliseconds(0));
  EXPECT_LT(out.size(), kMostBytesPerTake + 2000);
  EXPECT_EQ(dataOf(out).size(), kMostBytesPerTake / 1008 + 1);
}

TEST(ViewHub, ClosingEndsEveryTakeAndLatenciesAreNoted) {
  ViewHub hub;
  viewHubStart(hub, "SETUP");
  ViewerCursor cursor;
  take(hub, cursor);
  viewHubPublish(hub, "TIMED", true, 1000);
  viewHubPublish(hub, "UNTIMED", false);
  take(hub, cursor);
  viewHubDelivered(hub, cursor, 3500);
  EXPECT_EQ(hub.latencies.count, 1);
  EXPECT_EQ(viewLatencyMedian(hub.latencies), 2500);

  viewHubEnd(hub, endEvent(0, 3));
  ViewerCursor late;
  EXPECT_NE(take(hub, late)[1].find("\"ended\":true"), std::string::npos);
  viewHubClose(hub);
  std::string out;
  EXPECT_FALSE(viewHubTake(hub, cursor, out, milliseconds(1000)));
}

}  // namespace
