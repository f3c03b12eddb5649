#pragma once

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

#include "view/view_hub.h"

// The live view's web server: the page at /, and its events at /events as a stream of
// server-sent events, taken from the hub, to any number of viewers at once.

namespace httplib {
class Server;
}

constexpr const char* kViewDefaultAddress = "127.0.0.1";  // this machine alone unless told otherwise

// Reads a TCP port, 0 (any free one) to 65535; false for anything else.
inline bool viewPortNumber(const char* text, int& port) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno || end == text || *end || value < 0 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

struct ViewServer {
  httplib::Server* server = nullptr;
  std::thread listening;
  ViewHub* hub = nullptr;
  std::string url;  // where a browser finds the page
};

// Serves the hub on address and port (0: any free port); false with the reason when it
// cannot listen there. SIGPIPE is ignored from then on.
bool viewServerStart(ViewServer& server, ViewHub& hub, const std::string& address, int port, std::string& error);

// Goes on serving for seconds, or until SIGINT, SIGTERM or SIGHUP (forever when seconds
// is negative); false when a signal ended it.
bool viewServerLinger(int seconds);

// Closes the hub, ends every viewer's stream and stops serving.
void viewServerStop(ViewServer& server);
