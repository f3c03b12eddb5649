// The POSIX serial backend against a pseudo-terminal: port 0 is pointed at the pty's
// slave; the test plays the contact controller on the master.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/pluggable_pty_test_util.h"
#include "platform/posix/serial_posix.h"
#include "platform/serial.h"

namespace {

constexpr int kPort = 0;
constexpr int kQueue = 1024;
// Failure bounds only: a byte that has not arrived after this many polls never will.
constexpr int kTakeAttempts = 2000;
constexpr int kReadWaitMillis = 2000;

class SerialPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, name_, nullptr, nullptr), 0);
    serialUseDevice(kPort, name_);
    ASSERT_EQ(serialOpen(kPort, kQueue, kQueue), 0);
  }
  void TearDown() override {
    serialClose(kPort);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  termios lineSettings() const {
    termios settings{};
    EXPECT_EQ(tcgetattr(slave_, &settings), 0);
    return settings;
  }

  // Reads exactly count bytes the port has sent, waiting a bounded time for each.
  std::vector<unsigned char> readFromMaster(size_t count) const {
    std::vector<unsigned char> bytes;
    while (bytes.size() < count) {
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, kReadWaitMillis) <= 0) break;
      unsigned char chunk[512];
      const size_t wanted = std::min(sizeof chunk, count - bytes.size());
      const ssize_t got = read(master_, chunk, wanted);
      if (got <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
  }

  // Takes count bytes from the port, polling each until it arrives or the bound runs out.
  static std::vector<int> takeFromPort(size_t count) {
    std::vector<int> bytes;
    for (size_t index = 0; index < count; ++index) {
      int byte = -1;
      for (int attempt = 0; attempt < kTakeAttempts && byte < 0; ++attempt) byte = serialTakeByte(kPort);
      if (byte < 0) break;
      bytes.push_back(byte);
    }
    return bytes;
  }

  int master_ = -1, slave_ = -1;
  char name_[256] = {};
};

TEST_F(SerialPosixTest, ConfiguresARawLineAt9600Baud8N1WithoutFlowControl) {
  // Two stop bits first, so that 8N1 has to clear them. (A pty itself forces CS8 and
  // no parity, so only the stop bits can show another framing here.)
  ASSERT_EQ(serialSetLine(kPort, 0, 2, 8), 0);
  EXPECT_NE(lineSettings().c_cflag & CSTOPB, 0u);

  ASSERT_EQ(serialSetBaud(kPort, 9600), 0);
  ASSERT_EQ(serialSetLine(kPort, 0, 0, 8), 0);
  const termios settings = lineSettings();
  EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(settings.c_cflag & CREAD, 0u);
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
}

TEST_F(SerialPosixTest, CarriesEveryByteValueBothWaysInOrder) {
  ASSERT_EQ(serialSetBaud(kPort, 9600), 0);
  ASSERT_EQ(serialSetLine(kPort, 0, 0, 8), 0);
  std::vector<unsigned char> values;
  for (int value = 0; value < 256; ++value) values.push_back(static_cast<unsigned char>(value));

  for (unsigned char value : values) ASSERT_EQ(serialSendByte(kPort, value), 0);
  EXPECT_EQ(readFromMaster(values.size()), values);

  // Twice over, so that the port's own read-ahead has to refill.
  std::vector<int> expected;
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(write(master_, values.data(), values.size()), static_cast<ssize_t>(values.size()));
    expected.insert(expected.end(), values.begin(), values.end());
  }
  EXPECT_EQ(takeFromPort(expected.size()), expected);
  EXPECT_LT(serialTakeByte(kPort), 0);
}

TEST_F(SerialPosixTest, EmptyTakeReturnsNegative) { EXPECT_LT(serialTakeByte(kPort), 0); }

TEST_F(SerialPosixTest, RefusesWhatItCannotDoAndKeepsTheLineAsItWas) {
  ASSERT_EQ(serialSetBaud(kPort, 9600), 0);
  ASSERT_EQ(serialSetLine(kPort, 0, 0, 8), 0);
  EXPECT_LT(serialSetBaud(kPort, 12345), 0);
  EXPECT_LT(serialSetBaud(kPort, 0), 0);
  EXPECT_LT(serialSetLine(kPort, 0, 0, 9), 0);
  EXPECT_LT(serialSetLine(kPort, 0, 0, 4), 0);
  EXPECT_LT(serialSetLine(kPort, 3, 0, 8), 0);
  EXPECT_LT(serialSetLine(kPort, 0, 1, 8), 0);
  const termios settings = lineSettings();
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));

  EXPECT_LT(serialOpen(kPort, kQueue, kQueue), 0) << "the port is already open";
  EXPECT_LT(serialOpen(-1, kQueue, kQueue), 0);
  EXPECT_LT(serialOpen(4, kQueue, kQueue), 0);
  EXPECT_LT(serialSendByte(4, 0x53), 0);
  EXPECT_LT(serialTakeByte(-1), 0);

  serialUseDevice(1, "/nonexistent/signglove-serial");
  EXPECT_LT(serialOpen(1, kQueue, kQueue), 0);
  EXPECT_LT(serialTakeByte(1), 0);
  EXPECT_LT(serialClose(1), 0);
}

TEST_F(SerialPosixTest, ClosedPortRefusesEverythingUntilOpenedAgain) {
  ASSERT_EQ(serialClose(kPort), 0);
  EXPECT_LT(serialTakeByte(kPort), 0);
  EXPECT_LT(serialSendByte(kPort, 0x53), 0);
  EXPECT_LT(serialSetBaud(kPort, 9600), 0);
  EXPECT_LT(serialSetLine(kPort, 0, 0, 8), 0);
  EXPECT_LT(serialClose(kPort), 0);

  ASSERT_EQ(serialOpen(kPort, kQueue, kQueue), 0);
  ASSERT_EQ(serialSendByte(kPort, 0x53), 0);
  EXPECT_EQ(readFromMaster(1), std::vector<unsigned char>{0x53});
  const unsigned char reply = 0x40;
  ASSERT_EQ(write(master_, &reply, 1), 1);
  EXPECT_EQ(takeFromPort(1), std::vector<int>{0x40});
}

// A device that goes away and comes back: the port is named through a symlink, as a
// USB adapter's udev name would be, and each "plug" is a new pseudo-terminal behind it,
// standing in for the adapter (a real pseudo-terminal is never opened again).
class SerialHangUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(pty_.setUp("contacts"));
    serialUseDevice(kPort, pty_.link.c_str());
    ASSERT_EQ(serialOpen(kPort, kQueue, kQueue), 0);
    ASSERT_EQ(serialSetBaud(kPort, 9600), 0);
    ASSERT_EQ(serialSetLine(kPort, 0, 0, 8), 0);
  }
  void TearDown() override {
    serialClose(kPort);
    pty_.tearDown();
  }

  void plugIn() { pty_.plugIn(); }
  void unplug() { pty_.unplug(); }

  // Takes one byte, polling until it comes or the bound runs out; the polls made go to *polls.
  static int takeOne(int* polls = nullptr) {
    int byte = -1, attempt = 0;
    while (byte < 0 && attempt < kTakeAttempts) {
      byte = serialTakeByte(kPort);
      ++attempt;
    }
    if (polls) *polls = attempt;
    return byte;
  }

  // Sends requests, as the program does, until one goes through to the device that is
  // plugged in now, and reads it there; the polls made go to *polls. (Bytes written to
  // the new device before the port has made its line raw would be cooked.)
  bool requestGetsThrough(int* polls = nullptr) const {
    for (int attempt = 1; attempt <= kTakeAttempts; ++attempt) {
      if (serialSendByte(kPort, 0x53) == 0) {
        if (polls) *polls = attempt;
        pollfd ready{master_, POLLIN, 0};
        unsigned char request = 0;
        return poll(&ready, 1, kReadWaitMillis) == 1 && read(master_, &request, 1) == 1 && request == 0x53;
      }
      serialTakeByte(kPort);
    }
    return false;
  }

  PluggablePty pty_;
  int& master_ = pty_.master;
  int& slave_ = pty_.slave;
};

TEST_F(SerialHangUpTest, EmptyTakeWaitsItsMillisecondWhileTheDeviceIsGone) {
  unplug();
  constexpr int kTakes = 50;
  const auto start = std::chrono::steady_clock::now();
  for (int take = 0; take < kTakes; ++take) EXPECT_LT(serialTakeByte(kPort), 0);
  // A lower bound only: sleeping never ends early, however busy the machine. Every
  // empty take but the first of a run waits its millisecond.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kTakes - 1));
  EXPECT_LT(serialSendByte(kPort, 0x53), 0);
}

TEST_F(SerialHangUpTest, OpensTheDeviceAgainWithTheSameSettingsWhenItIsBack) {
  const unsigned char before = 0x40;
  ASSERT_EQ(write(master_, &before, 1), 1);
  EXPECT_EQ(takeOne(), 0x40);

  // Unplugged: bytes go nowhere and nothing comes, for as long as it lasts.
  unplug();
  for (int take = 0; take < 20; ++take) EXPECT_LT(serialTakeByte(kPort), 0);

  plugIn();
  // The port has not touched the new device yet: it still has a fresh line's settings.
  termios fresh{};
  ASSERT_EQ(tcgetattr(slave_, &fresh), 0);
  ASSERT_NE(fresh.c_lflag & ICANON, 0u);

  // Found again within a tenth of a second or so.
  int polls = 0;
  ASSERT_TRUE(requestGetsThrough(&polls));
  EXPECT_LE(polls, kTakeAttempts / 2) << "the device should be looked for every 100 ms";

  termios settings{};
  ASSERT_EQ(tcgetattr(slave_, &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(settings.c_iflag & (IXON | ICRNL), 0u);
  EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));

  // Every byte value comes through raw, flow-control and line-editing characters too.
  const unsigned char reply[] = {0x00, 0x40, 0x11, 0x13, 0x12, 0x03, 0x0D, 0x0A, 0xFF};
  ASSERT_EQ(write(master_, reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
  for (unsigned char byte : reply) EXPECT_EQ(takeOne(), byte);
}

TEST_F(SerialHangUpTest, SurvivesBeingUnpluggedAgainAndAgain) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    unplug();
    EXPECT_LT(serialSendByte(kPort, 0x53), 0);
    EXPECT_LT(serialTakeByte(kPort), 0);
    plugIn();
    ASSERT_TRUE(requestGetsThrough());
    const unsigned char byte = static_cast<unsigned char>(0x10 + round);
    ASSERT_EQ(write(master_, &byte, 1), 1);
    EXPECT_EQ(takeOne(), byte);
  }
  EXPECT_EQ(serialClose(kPort), 0);
  EXPECT_LT(serialTakeByte(kPort), 0) << "a port the program closed stays closed";
  EXPECT_EQ(serialOpen(kPort, kQueue, kQueue), 0);
}

TEST_F(SerialHangUpTest, ClosingAPortWhoseDeviceIsGoneSucceeds) {
  unplug();
  EXPECT_LT(serialTakeByte(kPort), 0);
  EXPECT_EQ(serialClose(kPort), 0);
  EXPECT_LT(serialClose(kPort), 0);
}

// The reopen rule on what names lead to: only the same device, never a terminal that
// belongs to a session.
TEST(SerialReopenRule, OpensAgainOnlyTheSameDevice) {
  const dev_t usb0 = makedev(188, 0), usb1 = makedev(188, 1), pts3 = makedev(136, 3);
  const std::string socketA = "/sys/devices/usb1/1-2/1-2:1.0", socketB = "/sys/devices/usb1/1-3/1-3:1.0";
  const SerialDevice nothing;
  const SerialDevice adapterDirect{true, false, false, usb0, socketA};
  const SerialDevice adapterByLink{true, false, true, usb0, socketA};
  const SerialDevice ptyDirect{true, true, false, pts3, ""};
  const SerialDevice ptyByLink{true, true, true, pts3, ""};
  const struct {
    const char* what;
    SerialDevice opened, now;
    bool reopened;
  } cases[] = {
      {"the adapter back in its socket", adapterDirect, adapterDirect, true},
      {"another adapter in another socket took its name", adapterDirect, {true, false, false, usb0, socketB}, false},
      {"its name now leads to another device number", adapterDirect, {true, false, false, usb1, socketA}, false},
      {"a by-id link, the adapter back under another number", adapterByLink, {true, false, true, usb1, socketB}, true},
      {"a by-id link now leading to a pseudo-terminal", adapterByLink, ptyByLink, false},
      {"a pseudo-terminal whose number came back", ptyDirect, ptyDirect, false},
      {"a link to a pseudo-terminal, moved to a new one", ptyByLink, {true, true, true, makedev(136, 4), ""}, false},
      {"nothing there yet", adapterDirect, nothing, false},
  };
  for (const auto& c : cases) EXPECT_EQ(serialMayReopen(c.opened, c.now), c.reopened) << c.what;
}

TEST(SerialReopenRule, KnowsPseudoTerminalsLinksAndNonDevices) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  const std::string link = testing::TempDir() + "signglove-serial-link-" + std::to_string(getpid());
  ASSERT_EQ(symlink(name, link.c_str()), 0);
  const SerialDevice pty = serialDeviceAt(name), linked = serialDeviceAt(link);
  EXPECT_TRUE(pty.found && pty.sessionTerminal && !pty.namedByLink);
  EXPECT_TRUE(linked.found && linked.sessionTerminal && linked.namedByLink);
  EXPECT_EQ(linked.number, pty.number);
  const SerialDevice null = serialDeviceAt("/dev/null");
  EXPECT_TRUE(null.found && !null.sessionTerminal);
  EXPECT_TRUE(serialDeviceAt("/dev/ptmx").sessionTerminal);
  EXPECT_FALSE(serialDeviceAt("/").found);
  EXPECT_FALSE(serialDeviceAt("/nonexistent/signglove").found);
  unlink(link.c_str());
  close(master);
  close(slave);
}

// COM1 on a pseudo-terminal that hangs up, named directly or through a link; then a new
// pseudo-terminal, another session's, takes its number (or the link is moved to it).
// The port must never open it: no request bytes written into it, its settings untouched.
TEST(SerialReopenRule, AHungUpPseudoTerminalIsNeverOpenedAgain) {
  for (const bool throughALink : {false, true}) {
    SCOPED_TRACE(throughALink ? "through a link" : "named directly");
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const std::string link = testing::TempDir() + "signglove-serial-com1-" + std::to_string(getpid());
    unlink(link.c_str());
    if (throughALink) {
      ASSERT_EQ(symlink(name, link.c_str()), 0);
    }
    serialUseDevice(kPort, throughALink ? link.c_str() : name);
    ASSERT_EQ(serialOpen(kPort, kQueue, kQueue), 0);
    ASSERT_EQ(serialSetBaud(kPort, 9600), 0);
    close(master);
    close(slave);

    int otherMaster = -1, otherSlave = -1;
    char other[256] = {};
    ASSERT_EQ(openpty(&otherMaster, &otherSlave, other, nullptr, nullptr), 0);
    if (throughALink) {
      unlink(link.c_str());
      ASSERT_EQ(symlink(other, link.c_str()), 0);
    }
    testing::internal::CaptureStderr();
    // Well past several looks for the device (every 100 ms), as the program keeps asking.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < until) {
      EXPECT_LT(serialSendByte(kPort, 0x53), 0);
      serialTakeByte(kPort);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("a pseudo-terminal is not opened again"), std::string::npos) << said;
    termios settings{};
    ASSERT_EQ(tcgetattr(otherSlave, &settings), 0);
    EXPECT_NE(settings.c_lflag & ICANON, 0u) << "the other session's terminal was made raw";
    pollfd ready{otherMaster, POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, 0), 0) << "bytes were written into the other session's terminal";
    EXPECT_EQ(serialClose(kPort), 0);
    serialUseDevice(kPort, nullptr);
    unlink(link.c_str());
    close(otherMaster);
    close(otherSlave);
  }
}

}  // namespace
