// A program on the board's pseudo-terminal talks to the firmware as over a cable.

#include "firmware/board_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "firmware/board.h"

namespace {

constexpr int kWaitMillis = 20000;   // for a reply that takes a few ms of emulation
constexpr int kMostSteps = 400000;   // about 400 s of emulated time: never reached

TEST(BoardPtyTest, AProgramOnTheSlaveGetsReplies) {
  Board board;
  BoardPty pty;
  std::string error;
  ASSERT_TRUE(boardLoad(board, SIGNGLOVE_FIRMWARE_ELF, error)) << error;
  ASSERT_TRUE(boardPtyOpen(pty, error)) << error;
  boardSetTouching(board, {0x0018, 0x2001});
  // A byte that comes before the firmware has set its UART up is lost, as on a real
  // board: let it start first.
  ASSERT_TRUE(avrBoardSetUp(board.chip, error)) << error;

  std::vector<uint8_t> received;
  std::atomic<bool> done = false;
  std::thread program([&] {
    const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
      const uint8_t request[] = {0x00, 0x53};  // a stray byte first: ignored
      if (write(fd, request, sizeof request) == static_cast<ssize_t>(sizeof request)) {
        pollfd ready{fd, POLLIN, 0};
        while (received.size() < 10 && poll(&ready, 1, kWaitMillis) > 0) {
          uint8_t chunk[16];
          const ssize_t count = read(fd, chunk, sizeof chunk);
          if (count <= 0) break;
          received.insert(received.end(), chunk, chunk + count);
        }
      }
      close(fd);
    }
    done = true;
  });
  for (int step = 0; step < kMostSteps && !done; ++step) ASSERT_TRUE(boardPtyStep(board.chip, pty));
  program.join();
  boardPtyClose(pty);

  const std::vector<uint8_t> expected = {0x00, 0x40, 0x00, 0x18, 0x20, 0x01, 0x40, 0x00, 0x20, 0x19};
  EXPECT_EQ(received, expected);
}

}  // namespace
