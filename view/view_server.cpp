#include "view/view_server.h"

#include <httplib.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>

#include "view/page_files.h"

namespace {

using namespace std::chrono_literals;

// A viewer's stream looks at the hub this often, so that a stop is never waited for long.
constexpr auto kTakeWait = 500ms;
// A stream that has had nothing for this many takes gets a comment, so that a viewer
// that has gone is noticed.
constexpr int kQuietTakesBeforeComment = 20;
// Connections served at once: every viewer holds one for its stream. More wait for one.
constexpr size_t kMostConnections = 256;
// A viewer whose connection takes nothing for this long has gone, or stopped reading.
constexpr time_t kWriteTimeoutSeconds = 5;
// Nothing the page asks for has a body.
constexpr size_t kLongestRequestBody = 4096;

// httplib runs each connection as a task on a queue of its making; a stream lasts as
// long as its viewer stays, so a fixed pool would turn viewers away. This one starts a
// thread whenever none is idle, up to kMostConnections.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> task) override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
      if (idle_ == 0 && threads_.size() < kMostConnections) threads_.emplace_back([this] { work(); });
    }
    ready_.notify_one();
  }

  void shutdown() override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  void work() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idle_;
        ready_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        --idle_;
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stopping_ = false;
};

void serveEvents(ViewHub& hub, httplib::Response& response) {
  response.set_header("Cache-Control", "no-cache");
  viewHubViewerCame(hub);
  auto cursor = std::make_shared<ViewerCursor>();
  auto quietTakes = std::make_shared<int>(0);
  response.set_chunked_content_provider(
      "text/event-stream",
      [&hub, cursor, quietTakes](size_t, httplib::DataSink& sink) {
        std::string out;
        if (!viewHubTake(hub, *cursor, out, kTakeWait)) {
          sink.done();
          return true;
        }
        if (out.empty()) {
          if (++*quietTakes < kQuietTakesBeforeComment) return true;
          out = ":\n\n";
        }
        *quietTakes = 0;
        if (!sink.write(out.data(), out.size())) return false;
        viewHubDelivered(hub, *cursor, viewClockMicros());
        return true;
      },
      [&hub](bool) { viewHubViewerLeft(hub); });
}

std::string urlOf(const std::string& address, int port) {
  const bool ipv6 = address.find(':') != std::string::npos;
  return "http://" + (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port) + "/";
}

}  // namespace

bool viewServerStart(ViewServer& server, ViewHub& hub, const std::string& address, int port, std::string& error) {
  signal(SIGPIPE, SIG_IGN);  // a viewer that goes mid-write is an error on its connection, not an end
  auto http = std::make_unique<httplib::Server>();
  http->new_task_queue = [] { return new ConnectionThreads; };
  http->set_tcp_nodelay(true);
  // Not httplib's own choice, which adds SO_REUSEPORT: a second view started on a port
  // in use would then share it, each taking some of the viewers. Every connection takes
  // the listening socket's send timeout: httplib waits for room before a write, but a
  // write larger than the room then blocks in the kernel, forever for a viewer that has
  // stopped reading.
  http->set_socket_options([](socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const timeval timeout{kWriteTimeoutSeconds, 0};
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  });
  http->set_write_timeout(kWriteTimeoutSeconds);
  http->set_payload_max_length(kLongestRequestBody);
  http->set_default_headers({{"X-Content-Type-Options", "nosniff"}});
  for (size_t index = 0; index < kPageFileCount; ++index) {
    const PageFile& file = kPageFiles[index];
    http->Get(file.path, [&file](const httplib::Request&, httplib::Response& response) {
      response.set_header("Cache-Control", "no-cache");
      response.set_content(file.bytes, file.size, file.type);
    });
  }
  http->Get("/events", [&hub](const httplib::Request&, httplib::Response& response) { serveEvents(hub, response); });

  errno = 0;
  const int bound = port == 0 ? http->bind_to_any_port(address) : (http->bind_to_port(address, port) ? port : -1);
  if (bound <= 0) {
    error = "cannot serve the live view on " + urlOf(address, port) + ": " +
            (errno ? std::strerror(errno) : "no such address");
    return false;
  }
  server.hub = &hub;
  server.url = urlOf(address, bound);
  server.server = http.release();
  server.listening = std::thread([&server] { server.server->listen_after_bind(); });
  return true;
}

namespace {

volatile sig_atomic_t lingerStopped = 0;

void stopLingering(int) { lingerStopped = 1; }

}  // namespace

bool viewServerLinger(int seconds) {
  lingerStopped = 0;
  struct sigaction action {}, previous[3];
  action.sa_handler = stopLingering;
  const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
  for (int index = 0; index < 3; ++index) sigaction(signals[index], &action, &previous[index]);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!lingerStopped && (seconds < 0 || std::chrono::steady_clock::now() < end))
    std::this_thread::sleep_for(50ms);
  for (int index = 0; index < 3; ++index) sigaction(signals[index], &previous[index], nullptr);
  return !lingerStopped;
}

void viewServerStop(ViewServer& server) {
  if (!server.server) return;
  viewHubClose(*server.hub);
  server.server->stop();
  server.listening.join();
  delete server.server;
  server.server = nullptr;
}
