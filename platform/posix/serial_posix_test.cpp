// The POSIX serial backend against a pseudo-terminal: port 0 is pointed at the pty's
// slave; the test plays the contact controller on the master.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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

}  // namespace
