#include "view/view_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "view/view_events.h"

namespace {

using namespace std::chrono_literals;

// Failure bounds only: everything here normally takes milliseconds, but for the stalled
// viewer, whom the server drops after its write timeout of 5 s.
constexpr auto kPatience = 60s;
constexpr size_t kTailSearched = 256 * 1024;

int portOf(const ViewServer& server) { return std::stoi(server.url.substr(server.url.rfind(':') + 1)); }

// A viewer reading the event stream on a thread of its own until told to stop.
struct Viewer {
  std::string received;
  std::mutex mutex;
  httplib::Client client;
  std::thread thread;

  explicit Viewer(int port) : client("127.0.0.1", port) {
    client.set_read_timeout(kPatience);  // a quiet stream is no reason to leave
    thread = std::thread([this] {
      client.Get("/events", [this](const char* data, size_t length) {
        const std::lock_guard<std::mutex> lock(mutex);
        received.append(data, length);
        return true;
      });
    });
  }
  ~Viewer() {
    client.stop();
    thread.join();
  }
  bool has(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < end) {
      {
        const std::lock_guard<std::mutex> lock(mutex);
        // What is looked for came last: the tail is enough, and cheap in a long stream.
        const size_t from = received.size() > kTailSearched ? received.size() - kTailSearched : 0;
        if (received.find(text, from) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
};

struct Served {
  ViewHub hub;
  ViewServer server;
  Served() {
    viewHubStart(hub, setupEvent("simulator"));
    std::string error;
    EXPECT_TRUE(viewServerStart(server, hub, kViewDefaultAddress, 0, error)) << error;
  }
  ~Served() { viewServerStop(server); }
};

TEST(ViewServer, ServesThePageOnThisMachineOnly) {
  Served served;
  EXPECT_EQ(served.server.url, "http://127.0.0.1:" + std::to_string(portOf(served.server)) + "/");
  httplib::Client client("127.0.0.1", portOf(served.server));
  const struct {
    const char* path;
    int status;
    const char* type;
    const char* content;
  } cases[] = {{"/", 200, "text/html; charset=utf-8", "<script src=\"view.js\""},
               {"/index.html", 200, "text/html; charset=utf-8", "<title>signglove live view</title>"},
               {"/view.js", 200, "text/javascript; charset=utf-8", "new EventSource('events')"},
               {"/view.css", 200, "text/css; charset=utf-8", "#console"},
               {"/favicon.ico", 404, "", ""},
               {"/../CMakeLists.txt", 404, "", ""}};
  for (const auto& c : cases) {
    const httplib::Result result = client.Get(c.path);
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.path;
    if (c.status != 200) continue;
    EXPECT_EQ(result->get_header_value("Content-Type"), c.type) << c.path;
    EXPECT_NE(result->body.find(c.content), std::string::npos) << c.path;
  }
  std::string error;
  ViewServer again;
  EXPECT_FALSE(viewServerStart(again, served.hub, kViewDefaultAddress, portOf(served.server), error));
  EXPECT_NE(error.find("cannot serve the live view on http://127.0.0.1:"), std::string::npos) << error;
}

TEST(ViewServer, AStalledViewerHoldsNoOneUpAndIsDropped) {
  Served served;
  const int port = portOf(served.server);
  // A viewer that asks for the stream and then reads nothing, with a small window.
  const int stalled = socket(AF_INET, SOCK_STREAM, 0);
  const int small = 4096;
  setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(write(stalled, request.data(), request.size()), static_cast<ssize_t>(request.size()));

  Viewer first(port), second(port);
  ASSERT_TRUE(first.has("\"kind\":\"setup\"") && second.has("\"kind\":\"setup\""));
  const std::string line(2000, 'x');
  for (int event = 0; event < 15'000; ++event) {  // 30 MB: far more than any socket holds
    // The last is one a viewer gets even if it had to skip ahead to it.
    viewHubPublish(served.hub, "\"" + line + std::to_string(event) + "\"", event == 14'999);
    if (event % 500 == 499) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(first.has(line + "14999")) << "a viewer waited for the stalled one";
  EXPECT_TRUE(second.has(line + "14999"));

  const auto end = std::chrono::steady_clock::now() + kPatience;
  for (;;) {
    {
      const std::lock_guard<std::mutex> lock(served.hub.mutex);
      if (served.hub.viewers == 2) break;
    }
    ASSERT_LT(std::chrono::steady_clock::now(), end) << "the stalled viewer was never dropped";
    std::this_thread::sleep_for(50ms);
  }
  close(stalled);
}

TEST(ViewServer, StopsPromptlyWhileViewersWatch) {
  auto served = std::make_unique<Served>();
  Viewer viewer(portOf(served->server));
  ASSERT_TRUE(viewer.has("\"kind\":\"screen\""));
  const auto start = std::chrono::steady_clock::now();
  served.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
