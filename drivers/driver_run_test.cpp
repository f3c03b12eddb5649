// signglove-glove serial and osc run as a user runs them: a glove on a pseudo-terminal,
// an OSC sender on loopback, the record read back from shared memory.

#include <fcntl.h>
#include <lo/lo.h>
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "drivers/test_driver_process.h"
#include "platform/glove_shared_record.h"

namespace {

// A failure bound only.
constexpr auto kPublishBound = std::chrono::seconds(5);

class SerialDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, device_, nullptr, nullptr), 0);
    for (int fd : {master_, slave_}) fcntl(fd, F_SETFD, FD_CLOEXEC);
    object_ = "/signglove-driver-test-" + std::to_string(getpid()) + "-" + std::to_string(++runs_);
  }
  void TearDown() override {
    driverProcessEnd(driver_, SIGKILL);
    shm_unlink(object_.c_str());
    close(master_);
    close(slave_);
  }

  void start(std::vector<std::string> arguments) {
    ASSERT_TRUE(driverProcessStart(driver_, arguments, {"SIGNGLOVE_GLOVE=" + object_}));
    ASSERT_TRUE(published([](const SharedGloveRecord& r) { return r.magic == kGloveMagic; }));
  }

  void send(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

  // True once the record, as the program would copy it, shows what is asked.
  bool published(const std::function<bool(const SharedGloveRecord&)>& shows) {
    const auto deadline = std::chrono::steady_clock::now() + kPublishBound;
    while (std::chrono::steady_clock::now() < deadline) {
      const int fd = shm_open(object_.c_str(), O_RDONLY, 0);
      SharedGloveRecord record{};
      const bool read = fd >= 0 && pread(fd, &record, sizeof record, 0) == sizeof record;
      if (fd >= 0) close(fd);
      if (read && record.sequence % 2 == 0 && shows(record)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  static bool bendsAre(const SharedGloveRecord& r, std::vector<int> bends) {
    return std::vector<int>(r.bend, r.bend + 5) == bends;
  }

  int master_ = -1, slave_ = -1;
  char device_[256] = {};
  std::string object_;
  DriverProcess driver_;
  static inline int runs_ = 0;
};

TEST_F(SerialDriver, PublishesWholeLinesAndSkipsTheRest) {
  start({"serial", device_});
  send("ail of a line\r\n1,2,3,4,5,1,0,0,1\r\n");
  EXPECT_TRUE(published([](const SharedGloveRecord& r) { return bendsAre(r, {1, 2, 3, 4, 5}) && r.buttons[3] == 1; }));
  send("Ready\r\n1,2\r\n1,2,3,4,5,6,7,8,9,10\r\n1,2,3,4,5,0,0,0,1e7\r\nnot again\r\n10,20,30,40,50,0,1,0,0\r\n");
  EXPECT_TRUE(published([](const SharedGloveRecord& r) {
    return bendsAre(r, {10, 20, 30, 40, 50}) && r.buttons[1] == 1 && r.buttons[3] == 0;
  }));
  std::string errors;
  EXPECT_EQ(driverProcessEnd(driver_, SIGTERM, &errors), 0);
  EXPECT_LT(shm_open(object_.c_str(), O_RDONLY, 0), 0) << "the record goes with its driver";
  // Each kind of skipped line is said once; the tail met on opening is expected.
  const std::string skipped = "signglove-glove: " + std::string(device_) + ": skipped a line (";
  const std::string counted = "; such lines are counted from now on\n";
  EXPECT_EQ(errors, skipped + "not numbers): 'Ready'" + counted + skipped + "fewer numbers than columns): '1,2'" +
                        counted + skipped + "more numbers than columns): '1,2,3,4,5,6,7,8,9,10'" + counted + skipped +
                        "a number out of range): '1,2,3,4,5,0,0,0,1e7'" + counted);
}

// A free UDP port on loopback, for a driver to listen on.
int freePort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

TEST_F(SerialDriver, TakesFromOscWhatTheColumnsDoNotGive) {
  const std::string port = std::to_string(freePort());
  start({"serial", device_, "--osc-port", port});
  send("\n1,2,3,4,5,0,0,0,0\n");
  lo_address target = lo_address_new("127.0.0.1", port.c_str());
  // Sent until taken: the socket is open once the record is, but a datagram is not retried.
  EXPECT_TRUE(published([&](const SharedGloveRecord& r) {
    lo_send(target, "/signglove/glove", "fffiiiiiiiiiiii", 10.f, 20.f, 30.f, 1, 2, 3, 60, 60, 60, 60, 60, 1, 1, 1, 1);
    return r.x == 10 && r.orient[2] == 3 && bendsAre(r, {1, 2, 3, 4, 5}) && r.buttons[0] == 0;
  }));
  lo_address_free(target);
}

TEST(GloveDriverCommand, RefusesWhatItCannotUse) {
  char calibration[] = "/tmp/signglove-bad-calibration-XXXXXX";
  const int fd = mkstemp(calibration);
  ASSERT_EQ(write(fd, "index 1 2\nindex 3\n", 19), 19);
  close(fd);
  const std::string object = "SIGNGLOVE_GLOVE=/signglove-driver-refusals-" + std::to_string(getpid());
  struct Case {
    std::vector<std::string> arguments;
    std::string environment;
    int status;
    std::string firstError;
  };
  const Case cases[] = {
      {{"serial", "/nonexistent/glove"}, object, 1, "/nonexistent/glove: No such file or directory"},
      {{"serial", "/dev/ptmx", "--columns", "thumb,pinky"}, object, 2, "signglove-glove: unknown column 'pinky'"},
      {{"serial", "/dev/ptmx", "--calibration", calibration}, object, 2,
       "signglove-glove: " + std::string(calibration) + ":2: expected FINGER RAW_STRAIGHT RAW_BENT, e.g. 'index 512 830'"},
      {{"serial", "/dev/ptmx", "--baud", "12345"}, object, 2, "--baud: not a rate the line can be set to: 12345"},
      {{"serial", "/dev/ptmx"}, "SIGNGLOVE_GLOVE=no-slash", 2, "signglove-glove: SIGNGLOVE_GLOVE='no-slash' is not"},
      {{"osc", "--listen", "localhost"}, object, 1, "signglove-glove: 'localhost' is not a numeric IPv4 or IPv6 address"},
      {{"keys"}, object, 2, "signglove-glove: keys is played on a terminal"},
      {{"calibrate", "/dev/ptmx", "--out", "/nonexistent/glove.cal"}, object, 2, "signglove-glove: cannot write in"},
      {{}, object, 2, "signglove-glove: a subcommand is required"},
      {{"--no-such-option", "x"}, object, 2, "The following arguments were not expected: x --no-such-option"},
  };
  for (const Case& c : cases) {
    DriverProcess driver;
    ASSERT_TRUE(driverProcessStart(driver, c.arguments, {c.environment}));
    const std::string firstError = driverProcessLine(driver.errors);
    EXPECT_EQ(driverProcessEnd(driver, 0), c.status) << firstError;
    EXPECT_EQ(firstError.substr(0, c.firstError.size()), c.firstError);
  }
  unlink(calibration);

  DriverProcess driver;
  ASSERT_TRUE(driverProcessStart(driver, {"--version"}));
  EXPECT_EQ(driverProcessLine(driver.output), "signglove-glove " SIGNGLOVE_VERSION);
  EXPECT_EQ(driverProcessEnd(driver, 0), 0);
}

}  // namespace
