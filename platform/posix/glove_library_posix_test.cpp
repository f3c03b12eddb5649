// The glove bridge: a writer publishing into a shared object of its own and the POSIX
// glove library reading it, as a driver and the program do.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <pty.h>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/glove_library.h"
#include "platform/glove_record_writer.h"
#include "platform/glove_shared_record.h"
#include "platform/posix/glove_library_posix.h"
#include "platform/posix/serial_posix.h"
#include "platform/serial.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t kMillis = 1'000'000;

// A record whose every field is derived from one number, so a mixture of two is seen.
GloveRecord recordFor(uint32_t n) {
  GloveRecord record{};
  record.x = static_cast<float>(n);
  record.y = static_cast<float>(n) + 0.5f;
  record.z = -static_cast<float>(n);
  for (int angle = 0; angle < 3; ++angle) record.orient[angle] = static_cast<float>(n + angle);
  for (int finger = 0; finger < 5; ++finger) record.bend[finger] = static_cast<uint8_t>(n + finger);
  for (int button = 0; button < 4; ++button) record.buttons[button] = static_cast<uint8_t>((n >> button) & 1u);
  return record;
}

bool sameRecord(const GloveRecord& a, const GloveRecord& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && std::memcmp(a.orient, b.orient, sizeof a.orient) == 0 &&
         std::memcmp(a.bend, b.bend, sizeof a.bend) == 0 && std::memcmp(a.buttons, b.buttons, sizeof a.buttons) == 0;
}

class GloveBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = "/signglove-glove-test-" + std::to_string(getpid());
    gloveLibraryUseObject(name_.c_str());
  }
  void TearDown() override {
    gloveLibraryClose();
    gloveWriterClose(writer_);
    shm_unlink(name_.c_str());
    gloveLibraryUseObject(nullptr);
  }
  // The writer's mapping, to play a misbehaving driver.
  SharedGloveRecord& raw() { return *writer_.shared; }

  std::string name_;
  GloveRecordWriter writer_;
};

TEST_F(GloveBridgeTest, PublishedFieldsSitAtTheDocumentedOffsets) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  gloveWriterPublish(writer_, recordFor(7));
  const auto* bytes = reinterpret_cast<const unsigned char*>(writer_.shared);
  auto u32 = [&](size_t at) { uint32_t v; std::memcpy(&v, bytes + at, 4); return v; };
  auto f32 = [&](size_t at) { float v; std::memcpy(&v, bytes + at, 4); return v; };
  EXPECT_EQ(u32(0), 0x564C4753u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 4), "SGLV");
  EXPECT_EQ(u32(4), 1u);
  EXPECT_EQ(u32(8), 2u) << "one change: odd while writing, even after";
  const struct {
    size_t offset;
    float value;
  } floats[] = {{24, 7.0f}, {28, 7.5f}, {32, -7.0f}, {36, 7.0f}, {40, 8.0f}, {44, 9.0f}};
  for (const auto& field : floats) EXPECT_EQ(f32(field.offset), field.value) << "offset " << field.offset;
  for (int finger = 0; finger < 5; ++finger) EXPECT_EQ(bytes[48 + finger], 7 + finger);
  const unsigned char buttons[4] = {1, 1, 1, 0};  // 7 = 0b0111
  for (int button = 0; button < 4; ++button) EXPECT_EQ(bytes[53 + button], buttons[button]);
  uint64_t heartbeat;
  std::memcpy(&heartbeat, bytes + 16, 8);
  EXPECT_LE(static_cast<int64_t>(heartbeat), gloveMonotonicNanos());
  EXPECT_GT(static_cast<int64_t>(heartbeat), gloveMonotonicNanos() - 60'000 * kMillis);
}

TEST_F(GloveBridgeTest, TheSequenceMovesOnlyWhenTheContentChanges) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  EXPECT_EQ(raw().sequence, 0u);
  gloveWriterPublish(writer_, GloveRecord{});  // the same all-zero content
  EXPECT_EQ(raw().sequence, 0u);
  gloveWriterPublish(writer_, recordFor(1));
  EXPECT_EQ(raw().sequence, 2u);
  const uint64_t firstBeat = raw().heartbeatNanos;
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  gloveWriterPublish(writer_, recordFor(1));  // a still hand
  EXPECT_EQ(raw().sequence, 2u);
  EXPECT_GT(raw().heartbeatNanos, firstBeat) << "the heartbeat goes on";
  gloveWriterPublish(writer_, recordFor(2));
  EXPECT_EQ(raw().sequence, 4u);
}

TEST_F(GloveBridgeTest, InitFindsOnlyALiveGloveOfThisLayout) {
  struct Case {
    const char* what;
    void (*spoil)(SharedGloveRecord&);
    int expected;
  };
  const Case cases[] = {
      {"a live glove", [](SharedGloveRecord&) {}, 1},
      {"wrong magic", [](SharedGloveRecord& r) { r.magic = 0x12345678u; }, 0},
      {"another layout", [](SharedGloveRecord& r) { r.version = 2; }, 0},
      {"not ready yet", [](SharedGloveRecord& r) { r.magic = 0; }, 0},
      {"heartbeat 600 ms old",
       [](SharedGloveRecord& r) { r.heartbeatNanos = static_cast<uint64_t>(gloveMonotonicNanos() - 600 * kMillis); }, 0},
      {"heartbeat 100 ms old",
       [](SharedGloveRecord& r) { r.heartbeatNanos = static_cast<uint64_t>(gloveMonotonicNanos() - 100 * kMillis); }, 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str())) << c.what;
    gloveWriterPublish(writer_, recordFor(3));
    c.spoil(raw());
    EXPECT_EQ(gloveLibraryInit(), c.expected) << c.what;
    if (c.expected == 1) {
      EXPECT_TRUE(sameRecord(*gloveLibraryRecord(), recordFor(3))) << c.what;
    }
    gloveLibraryClose();
    gloveWriterClose(writer_);
  }
}

TEST_F(GloveBridgeTest, InitFindsNoGloveWithoutTheObjectOrWithATruncatedOne) {
  EXPECT_EQ(gloveLibraryInit(), 0);
  const int fd = shm_open(name_.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 16), 0);
  close(fd);
  EXPECT_EQ(gloveLibraryInit(), 0);
}

TEST_F(GloveBridgeTest, PollsNeverSeeATornRecordWhileTheWriterHammers) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  gloveWriterPublish(writer_, recordFor(1));
  ASSERT_EQ(gloveLibraryInit(), 1);
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> written{1};
  std::thread hammer([&] {
    for (uint32_t n = 2; !stop.load(std::memory_order_relaxed); ++n) {
      gloveWriterPublish(writer_, recordFor(n));
      written.store(n, std::memory_order_relaxed);
    }
  });
  // Both kinds of poll: straight after a poll (may wait) and after another call.
  int torn = 0, distinct = 0;
  float lastX = -1;
  for (int poll = 0; poll < 100'000; ++poll) {
    if (poll % 2) gloveLibraryNoteOtherCall();
    const GloveRecord seen = *gloveLibraryRecord();
    const uint32_t n = static_cast<uint32_t>(seen.x);
    if (!sameRecord(seen, recordFor(n)) || n > written.load(std::memory_order_relaxed) + 1) ++torn;
    if (seen.x != lastX) ++distinct;
    lastX = seen.x;
  }
  stop = true;
  hammer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(distinct, 1) << "the reader saw the writer's changes";
}

TEST_F(GloveBridgeTest, AnUnchangedRecordIsWaitedForOnlyStraightAfterAPoll) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  ASSERT_EQ(gloveLibraryInit(), 1);
  constexpr int kPolls = 10;
  // Straight after a poll: each waits its 20 ms for a change that never comes.
  gloveLibraryRecord();
  auto start = Clock::now();
  for (int poll = 0; poll < kPolls; ++poll) gloveLibraryRecord();
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(kPolls * 20 - 5));
  EXPECT_LT(waited, std::chrono::seconds(5)) << "bounded, even on a busy machine";

  // After another platform call: never waits (waiting, these would take 2 s).
  constexpr int kQuickPolls = 100;
  start = Clock::now();
  for (int poll = 0; poll < kQuickPolls; ++poll) {
    gloveLibraryNoteOtherCall();
    gloveLibraryRecord();
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kQuickPolls * 20 / 2));
}

TEST_F(GloveBridgeTest, APollAfterASerialClockOrConsoleCallNeverWaits) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  ASSERT_EQ(gloveLibraryInit(), 1);
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  serialUseDevice(0, ttyname(slave));
  ASSERT_EQ(serialOpen(0, 1024, 1024), 0);
  const struct {
    const char* what;
    void (*call)();
  } calls[] = {
      {"serialTakeByte", [] { serialTakeByte(0); }},
      {"serialSendByte", [] { serialSendByte(0, 0x53); }},
      {"clockMillis", [] { clockMillis(); }},
      {"consolePrint", [] { consolePrint("%s", ""); }},
  };
  // Waiting, each poll below would take 20 ms, so 50 of them a second at least.
  constexpr int kRounds = 50;
  for (const auto& c : calls) {
    gloveLibraryRecord();
    const auto start = Clock::now();
    for (int round = 0; round < kRounds; ++round) {
      c.call();
      gloveLibraryRecord();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kRounds * 20 / 2)) << c.what;
  }
  serialClose(0);
  serialUseDevice(0, nullptr);
  close(master);
  close(slave);
}

TEST_F(GloveBridgeTest, APublishedChangeWakesTheWaitingPoll) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  ASSERT_EQ(gloveLibraryInit(), 1);
  gloveLibraryRecord();
  std::thread presser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    gloveWriterPublish(writer_, recordFor(9));
  });
  // Every poll here is a waiting one; the change must be seen by one of them.
  bool seen = false;
  for (int poll = 0; poll < 500 && !seen; ++poll) seen = sameRecord(*gloveLibraryRecord(), recordFor(9));
  presser.join();
  EXPECT_TRUE(seen);
}

TEST_F(GloveBridgeTest, ADriverThatStopsLeavesTheLastRecordAndPollsStillReturn) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  gloveWriterPublish(writer_, recordFor(4));
  ASSERT_EQ(gloveLibraryInit(), 1);
  // The driver dies in the middle of a change: the sequence stays odd, fields half new.
  raw().sequence += 1;
  raw().x = 12345.0f;
  const auto start = Clock::now();
  for (int poll = 0; poll < 3; ++poll) EXPECT_TRUE(sameRecord(*gloveLibraryRecord(), recordFor(4)));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
