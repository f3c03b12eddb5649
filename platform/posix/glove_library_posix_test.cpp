// The glove bridge: a writer publishing into a shared object of its own and the POSIX
// glove library reading it, as a driver and the program do.

#include <fcntl.h>
#include <grp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <iostream>
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

void setMode(const std::string& name, mode_t mode) {
  const int fd = shm_open(name.c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fchmod(fd, mode), 0);
  close(fd);
}

void setOwner(const std::string& name, uid_t owner) {
  const int fd = shm_open(name.c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fchown(fd, owner, static_cast<gid_t>(-1)), 0);
  close(fd);
}

void setSize(const std::string& name, off_t size) {
  const int fd = shm_open(name.c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  close(fd);
}

std::string initSays() {
  testing::internal::CaptureStderr();
  const int found = gloveLibraryInit();
  return std::to_string(found) + " " + testing::internal::GetCapturedStderr();
}

// Start-up finds a glove only in an object it may trust, of this layout, with a driver
// beating now; otherwise standard error says why, naming the object, in one line.
TEST_F(GloveBridgeTest, InitFindsOnlyATrustedLiveGloveAndSaysWhyNot) {
  struct Case {
    const char* what;
    void (*spoil)(SharedGloveRecord&, const std::string& name);
    const char* says;  // "1 " for a glove found, else "0 " and the reason
    bool asRoot;       // needs root to make the object another user's
  };
  const Case cases[] = {
      {"a live glove", [](SharedGloveRecord&, const std::string&) {}, "1 ", false},
      {"heartbeat 100 ms old",
       [](SharedGloveRecord& r, const std::string&) { r.heartbeatNanos -= static_cast<uint64_t>(100 * kMillis); }, "1 ",
       false},
      {"readable by its group", [](SharedGloveRecord&, const std::string& n) { setMode(n, 0640); }, "1 ", false},
      {"no object", [](SharedGloveRecord&, const std::string& n) { shm_unlink(n.c_str()); },
       ": no such shared-memory object", false},
      {"wrong magic", [](SharedGloveRecord& r, const std::string&) { r.magic = 0x12345678u; },
       ": not a glove record (magic 0x12345678)", false},
      {"another layout", [](SharedGloveRecord& r, const std::string&) { r.version = 2; },
       ": a glove record of layout 2; this program reads layout 1", false},
      {"not ready yet", [](SharedGloveRecord& r, const std::string&) { r.magic = 0; }, ": its driver has not finished",
       false},
      {"too short", [](SharedGloveRecord&, const std::string& n) { setSize(n, 16); },
       ": 16 bytes, too short for a glove record (64)", false},
      {"heartbeat 600 ms old",
       [](SharedGloveRecord& r, const std::string&) {
         r.heartbeatNanos = static_cast<uint64_t>(gloveMonotonicNanos() - 600 * kMillis);
       },
       "ms old: no driver is running", false},
      {"heartbeat a minute ahead, no writer",
       [](SharedGloveRecord& r, const std::string&) {
         r.heartbeatNanos = static_cast<uint64_t>(gloveMonotonicNanos() + 60'000 * kMillis);
       },
       "ms ahead of this clock", false},
      {"writable by its group", [](SharedGloveRecord&, const std::string& n) { setMode(n, 0620); },
       ": writable by others (mode 0620)", false},
      {"writable by anyone", [](SharedGloveRecord&, const std::string& n) { setMode(n, 0646); },
       ": writable by others (mode 0646)", false},
      {"a FIFO in its place",
       [](SharedGloveRecord&, const std::string& n) {
         shm_unlink(n.c_str());
         ASSERT_EQ(mkfifo(("/dev/shm" + n).c_str(), 0600), 0);
       },
       ": not a shared-memory object", false},
      {"another user's", [](SharedGloveRecord&, const std::string& n) { setOwner(n, 65534); },
       ": owned by uid 65534, neither this user nor root", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.asRoot && geteuid() != 0) continue;  // only root can give an object away
    ASSERT_TRUE(gloveWriterCreate(writer_, name_)) << writer_.error;
    gloveWriterPublish(writer_, recordFor(3));
    c.spoil(raw(), name_);
    const std::string said = initSays();
    if (std::string(c.says) == "1 ") {
      EXPECT_EQ(said, "1 ");
      EXPECT_TRUE(sameRecord(*gloveLibraryRecord(), recordFor(3)));
    } else {
      EXPECT_EQ(said, "0 glove " + name_ + said.substr(said.find(':'))) << "one line naming the object";
      EXPECT_NE(said.find(c.says), std::string::npos) << said;
      EXPECT_EQ(said.back(), '\n');
      EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    gloveLibraryClose();
    gloveWriterClose(writer_);
    unlink(("/dev/shm" + name_).c_str());
  }
}

TEST_F(GloveBridgeTest, PollsNeverSeeATornRecordWhileTheWriterHammers) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_.c_str()));
  gloveWriterPublish(writer_, recordFor(1));
  ASSERT_EQ(gloveLibraryInit(), 1);
  std::atomic<bool> stop{false};
  // The writer counts round below what a float holds exactly (n + 0.5 up to 2^23), so
  // that a whole record always reads as whole however long a fast writer runs, and
  // never stops before the reader: a reader left alone waits out every poll.
  constexpr uint32_t kLastExact = 1u << 22;
  std::thread hammer([&] {
    for (uint32_t n = 2; !stop.load(std::memory_order_relaxed); n = n + 1 < kLastExact ? n + 1 : 2)
      gloveWriterPublish(writer_, recordFor(n));
  });
  // Both kinds of poll: straight after a poll (may wait) and after another call.
  int torn = 0, distinct = 0;
  float lastX = -1;
  for (int poll = 0; poll < 100'000; ++poll) {
    if (poll % 2) gloveLibraryNoteOtherCall();
    const GloveRecord seen = *gloveLibraryRecord();
    const uint32_t n = static_cast<uint32_t>(seen.x);
    if (!sameRecord(seen, recordFor(n)) || n >= kLastExact) ++torn;
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

// Another user, in a child process: uid nobody and the given group. Its exit status and
// what it said on standard error. Needs root (the caller skips without it).
struct OtherUserRun {
  int status = -1;
  std::string said;
};

constexpr uid_t kNobody = 65534;

OtherUserRun runAsNobody(gid_t group, int (*body)(const std::string& name), const std::string& name) {
  int said[2];
  if (pipe(said) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(said[1], STDERR_FILENO);
    close(said[0]);
    if (setgroups(0, nullptr) != 0 || setresgid(group, group, group) != 0 || setresuid(kNobody, kNobody, kNobody) != 0)
      _exit(99);
    _exit(body(name));
  }
  close(said[1]);
  OtherUserRun run;
  char chunk[512];
  for (ssize_t got; (got = read(said[0], chunk, sizeof chunk)) > 0;) run.said.append(chunk, static_cast<size_t>(got));
  close(said[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A record created by someone else with B and C held, left behind for the program.
int squat(const std::string& name) {
  GloveRecordWriter writer;
  if (!gloveWriterCreate(writer, name)) return 1;
  GloveRecord pressed = recordFor(1);
  pressed.buttons[1] = pressed.buttons[2] = 1;
  gloveWriterPublish(writer, pressed);
  fchmod(shm_open(name.c_str(), O_RDWR, 0), 0666);  // however open they make it
  return 0;
}

int initFinds(const std::string&) { return gloveLibraryInit(); }

std::string modeAndGroup(const std::string& name) {
  struct stat status {};
  if (stat(("/dev/shm" + name).c_str(), &status) != 0) return "none";
  char text[32];
  std::snprintf(text, sizeof text, "%04o %u", static_cast<unsigned>(status.st_mode & 07777),
                static_cast<unsigned>(status.st_gid));
  return text;
}

TEST_F(GloveBridgeTest, TheWriterMakesTheObjectItsOwnersOrItsReadersGroups) {
  const mode_t umaskBefore = umask(0);  // whatever the umask, the mode is exact
  ASSERT_TRUE(gloveWriterCreate(writer_, name_)) << writer_.error;
  EXPECT_EQ(modeAndGroup(name_), "0600 " + std::to_string(getegid()));
  gloveWriterClose(writer_);
  const gid_t readers = geteuid() == 0 ? kNobody : getegid();  // root may give it to any group
  ASSERT_TRUE(gloveWriterCreate(writer_, name_, readers)) << writer_.error;
  EXPECT_EQ(modeAndGroup(name_), "0640 " + std::to_string(readers));
  // Its own object, left by a driver that died, is replaced.
  GloveRecordWriter restarted;
  ASSERT_TRUE(gloveWriterCreate(restarted, name_)) << restarted.error;
  EXPECT_EQ(modeAndGroup(name_), "0600 " + std::to_string(getegid()));
  gloveWriterClose(restarted);
  umask(umaskBefore);
}

// As root: another user creates the object first, as open as they like, with B and C
// held. The program must not take it for its glove, and a driver must not replace it.
TEST_F(GloveBridgeTest, AnotherUsersObjectNeitherDrivesTheProgramNorIsReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run a second user (uid 65534)";
  const OtherUserRun squatter = runAsNobody(kNobody, squat, name_);
  ASSERT_EQ(squatter.status, 0) << squatter.said;
  EXPECT_EQ(initSays(), "0 glove " + name_ +
                            ": owned by uid 65534, neither this user nor root: not read, since its owner could drive "
                            "the program\n");
  EXPECT_FALSE(gloveWriterCreate(writer_, name_));
  EXPECT_NE(writer_.error.find("taken by an object of uid 65534"), std::string::npos) << writer_.error;
  EXPECT_EQ(modeAndGroup(name_), "0666 65534") << "left as it was";
  // And the other way round: nobody's driver finds root's object and says whose it is.
  shm_unlink(name_.c_str());
  ASSERT_TRUE(gloveWriterCreate(writer_, name_));
  const OtherUserRun driver = runAsNobody(kNobody, [](const std::string& name) {
    GloveRecordWriter writer;
    const bool created = gloveWriterCreate(writer, name);
    std::fprintf(stderr, "%s", writer.error.c_str());
    return created ? 0 : 1;
  }, name_);
  EXPECT_EQ(driver.status, 1);
  EXPECT_NE(driver.said.find("taken by an object of another user"), std::string::npos) << driver.said;
}

// As root: a driver running as root for the signers of a group; a signer in the group
// reads it, anyone else cannot open it and says so.
TEST_F(GloveBridgeTest, ARootDriverFeedsTheSignersOfItsGroupOnly) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run a second user (uid 65534)";
  ASSERT_TRUE(gloveWriterCreate(writer_, name_, kNobody)) << writer_.error;
  gloveWriterPublish(writer_, recordFor(2));
  const OtherUserRun signer = runAsNobody(kNobody, initFinds, name_);
  EXPECT_EQ(signer.status, 1) << signer.said;
  const OtherUserRun stranger = runAsNobody(kNobody - 1, initFinds, name_);
  EXPECT_EQ(stranger.status, 0);
  EXPECT_EQ(stranger.said, "glove " + name_ + ": cannot open it: Permission denied\n");
}

// Polls as the program makes them, both kinds, for the given time; true when every one
// saw expected.
bool pollsSee(const GloveRecord& expected, std::chrono::milliseconds during) {
  bool same = true;
  for (const auto until = Clock::now() + during; Clock::now() < until;) {
    same = same && sameRecord(*gloveLibraryRecord(), expected);
    gloveLibraryNoteOtherCall();
    same = same && sameRecord(*gloveLibraryRecord(), expected);
  }
  return same;
}

size_t timesSaid(const std::string& said, const std::string& what) {
  size_t count = 0;
  for (size_t at = said.find(what); at != std::string::npos; at = said.find(what, at + 1)) ++count;
  return count;
}

TEST_F(GloveBridgeTest, ARecordCutShortUnderTheProgramNeverKillsIt) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_));
  gloveWriterPublish(writer_, recordFor(4));
  ASSERT_EQ(gloveLibraryInit(), 1);
  testing::internal::CaptureStderr();
  for (const off_t size : {40, 8, 0}) {
    setSize(name_, size);
    EXPECT_TRUE(pollsSee(recordFor(4), std::chrono::milliseconds(30))) << size << " bytes";
  }
  EXPECT_EQ(timesSaid(testing::internal::GetCapturedStderr(), "cut short by its driver"), 1u);
}

TEST_F(GloveBridgeTest, ARecordWithNaNOrInfinityIsNotUsedAndSaidOnce) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_));
  gloveWriterPublish(writer_, recordFor(5));
  ASSERT_EQ(gloveLibraryInit(), 1);
  testing::internal::CaptureStderr();
  const float kBad[] = {std::nanf(""), INFINITY, -INFINITY};
  for (int field = 0; field < 6; ++field)
    for (const float bad : kBad) {
      GloveRecord record = recordFor(6);
      (field < 3 ? (&record.x)[field] : record.orient[field - 3]) = bad;
      gloveWriterPublish(writer_, record);
      gloveLibraryNoteOtherCall();
      EXPECT_TRUE(sameRecord(*gloveLibraryRecord(), recordFor(5))) << "field " << field << ": " << bad;
    }
  gloveWriterPublish(writer_, recordFor(7));
  gloveLibraryNoteOtherCall();
  EXPECT_TRUE(sameRecord(*gloveLibraryRecord(), recordFor(7)));
  EXPECT_EQ(timesSaid(testing::internal::GetCapturedStderr(), "NaN or infinity"), 1u);
}

// A driver that restarts unlinks its object and creates a new one: the program, waiting
// for a button, reads the new one (here B and C held) within about a tenth of a second.
TEST_F(GloveBridgeTest, ARestartedDriversNewObjectIsRead) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_));
  gloveWriterPublish(writer_, recordFor(1));
  ASSERT_EQ(gloveLibraryInit(), 1);
  gloveLibraryRecord();
  testing::internal::CaptureStderr();
  const GloveRecord pressed = recordFor(6);  // B and C down
  const auto start = Clock::now();
  GloveRecordWriter restarted;
  ASSERT_TRUE(gloveWriterCreate(restarted, name_));
  gloveWriterPublish(restarted, pressed);
  bool seen = false;
  while (!seen && Clock::now() - start < std::chrono::seconds(5)) {
    seen = sameRecord(*gloveLibraryRecord(), pressed);
    if (Clock::now() - start > std::chrono::milliseconds(100)) gloveWriterPublish(restarted, pressed);  // beats on
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  gloveWriterClose(restarted);
  EXPECT_TRUE(seen);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("a new driver's record"), std::string::npos);
  std::cout << "[ figures  ] the new object was read after " << took.count() << " ms\n";
}

// A driver that stops beating mid-run is said once; the hand stays as last seen; when it
// beats again its records are read again.
TEST_F(GloveBridgeTest, ADriverThatStopsIsSaidOnceAndReadAgainWhenItBeats) {
  ASSERT_TRUE(gloveWriterCreate(writer_, name_));
  gloveWriterPublish(writer_, recordFor(2));
  ASSERT_EQ(gloveLibraryInit(), 1);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(pollsSee(recordFor(2), std::chrono::milliseconds(800)));
  gloveWriterPublish(writer_, recordFor(3));
  EXPECT_TRUE(pollsSee(recordFor(3), std::chrono::milliseconds(10)));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(timesSaid(said, "the driver has stopped (no heartbeat for 500 ms)"), 1u) << said;
  EXPECT_EQ(timesSaid(said, "the driver beats again"), 1u) << said;
}

}  // namespace
