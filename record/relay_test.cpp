// The relay between two pseudo-terminals: the test plays the program on one and the
// contact controller on the other.

#include "record/relay.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "contacts/contact_packet.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A failure bound only: bytes that have not come in this long never will.
constexpr int kReadWaitMillis = 5000;

struct Line {
  int master = -1, slave = -1;
  Line() {
    termios raw{};
    cfmakeraw(&raw);
    EXPECT_EQ(openpty(&master, &slave, nullptr, &raw, nullptr), 0);
    fcntl(master, F_SETFL, O_NONBLOCK);
    fcntl(slave, F_SETFL, O_NONBLOCK);
  }
  ~Line() {
    close(master);
    close(slave);
  }
};

Bytes readExactly(int fd, size_t count) {
  Bytes bytes;
  while (bytes.size() < count) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, kReadWaitMillis) <= 0) break;
    uint8_t chunk[512];
    const ssize_t got = read(fd, chunk, std::min(sizeof chunk, count - bytes.size()));
    if (got > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  }
  return bytes;
}

void writeAll(int fd, const Bytes& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written > 0) done += static_cast<size_t>(written);
    else poll(nullptr, 0, 1);
  }
}

class RelayTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(stop_), 0);
    // The relay holds the program's master and the device; the test the other ends.
    relay_ = std::thread(relayRun, program_.master, device_.slave, stop_[0], std::ref(log_));
  }
  void TearDown() override { stopRelay(); }
  void stopRelay() {
    if (!relay_.joinable()) return;
    ASSERT_EQ(write(stop_[1], "x", 1), 1);
    relay_.join();
    close(stop_[0]);
    close(stop_[1]);
  }

  Line program_, device_;
  int stop_[2] = {-1, -1};
  RelayLog log_;
  std::thread relay_;
};

TEST_F(RelayTest, PassesEveryByteValueBothWaysUnchanged) {
  Bytes values;
  for (int value = 0; value < 256; ++value) values.push_back(static_cast<uint8_t>(value));
  writeAll(program_.slave, values);
  EXPECT_EQ(readExactly(device_.master, values.size()), values);
  writeAll(device_.master, values);
  EXPECT_EQ(readExactly(program_.slave, values.size()), values);
  stopRelay();
  EXPECT_EQ(log_.requests.size(), 1u);  // the one 'S' among them
  ASSERT_EQ(log_.replies.size(), values.size());
  for (size_t index = 0; index < values.size(); ++index) EXPECT_EQ(log_.replies[index].byte, values[index]);
  EXPECT_EQ(log_.timings.bytes, static_cast<int64_t>(2 * values.size()));
  EXPECT_EQ(log_.timings.sampleNanos.size(), 2 * values.size());
  EXPECT_EQ(log_.lostToProgram, 0);
}

TEST_F(RelayTest, NotesRequestsAndRepliesInTheirOrder) {
  const int64_t start = monotonicMicros();
  for (int exchange = 0; exchange < 3; ++exchange) {
    writeAll(program_.slave, {kRequestByte});
    ASSERT_EQ(readExactly(device_.master, 1), Bytes{kRequestByte});
    const Bytes reply = {0x00, 0x40, 0x40, 0x00, 0x00, static_cast<uint8_t>(exchange)};
    writeAll(device_.master, reply);
    ASSERT_EQ(readExactly(program_.slave, reply.size()), reply);
  }
  stopRelay();
  ASSERT_EQ(log_.requests.size(), 3u);
  ASSERT_EQ(log_.replies.size(), 18u);
  EXPECT_GE(log_.requests[0], start);
  for (size_t exchange = 0; exchange < 3; ++exchange) {
    // Each reply's bytes came after its request and before the next one.
    EXPECT_GE(log_.replies[6 * exchange].atMicros, log_.requests[exchange]);
    if (exchange + 1 < 3) {
      EXPECT_LE(log_.replies[6 * exchange + 5].atMicros, log_.requests[exchange + 1]);
    }
    EXPECT_EQ(log_.replies[6 * exchange + 5].byte, exchange);
  }
}

TEST_F(RelayTest, AControllerThatHangsUpLeavesTheProgramsSideRunning) {
  close(device_.master);
  device_.master = -1;
  writeAll(program_.slave, {kRequestByte});
  poll(nullptr, 0, 50);  // the relay may see the hang-up first or the byte first: both must end well
  stopRelay();           // and it still stops when asked
  EXPECT_LE(log_.requests.size(), 1u);
}

// A device that floods the line: every byte is passed on, but a request's reply is
// noted only up to what a reply can be, and what is noted is taken away as it goes: the
// relay holds no more than that between two takes, however long the flood.
TEST_F(RelayTest, AFloodIsPassedOnButNotedOnlyAsFarAsAReplyGoes) {
  const Bytes flood(3 * kMostBytesPerExchange, 0x00);
  size_t noted = 0;
  for (int request = 0; request < 3; ++request) {
    writeAll(program_.slave, {kRequestByte});
    ASSERT_EQ(readExactly(device_.master, 1), Bytes{kRequestByte});
    writeAll(device_.master, flood);
    ASSERT_EQ(readExactly(program_.slave, flood.size()).size(), flood.size());
    const RelayTaken taken = relayTake(log_);
    EXPECT_EQ(taken.requests.size(), 1u);
    EXPECT_EQ(taken.replies.size(), kMostBytesPerExchange);
    noted += taken.replies.size();
  }
  stopRelay();
  EXPECT_EQ(noted + static_cast<size_t>(log_.leftOut), 3 * flood.size());
  EXPECT_TRUE(log_.replies.empty());
  EXPECT_EQ(log_.timings.sampleNanos.size(), std::min(kRelayTimingSamples, 3 * (flood.size() + 1)));
}

}  // namespace
