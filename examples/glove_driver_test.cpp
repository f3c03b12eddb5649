// The example driver run for a moment and read back through the program's own glove
// library, as signglove would read it.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "platform/glove_library.h"
#include "platform/posix/glove_library_posix.h"

namespace {

// Failure bounds only.
constexpr auto kStartBound = std::chrono::seconds(5);
constexpr auto kWatched = std::chrono::milliseconds(500);

TEST(ExampleDriver, PublishesAHandTheProgramReads) {
  const std::string name = "/signglove-example-" + std::to_string(getpid());
  const std::string path = "/dev/shm" + name;
  const pid_t driver = fork();
  if (driver == 0) {
    setenv("SIGNGLOVE_GLOVE", name.c_str(), 1);
    execl(SIGNGLOVE_EXAMPLE_DRIVER, SIGNGLOVE_EXAMPLE_DRIVER, nullptr);
    _exit(127);
  }
  gloveLibraryUseObject(name.c_str());
  const auto deadline = std::chrono::steady_clock::now() + kStartBound;
  while (gloveLibraryInit() != 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(gloveLibraryInit(), 1) << "the program finds no glove";
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  std::set<int> bends;
  const auto end = std::chrono::steady_clock::now() + kWatched;
  while (std::chrono::steady_clock::now() < end) {
    const GloveRecord hand = *gloveLibraryRecord();
    EXPECT_EQ(hand.y, 350);
    EXPECT_EQ(hand.z, 400);
    EXPECT_EQ(hand.orient[1], 30);
    EXPECT_LE(hand.bend[0], 63);
    EXPECT_EQ(hand.bend[4], hand.bend[0]);
    bends.insert(hand.bend[0]);
  }
  EXPECT_GE(bends.size(), 3u) << "the fingers should move";  // about 16 steps in half a second

  kill(driver, SIGTERM);
  int exitStatus = -1;
  waitpid(driver, &exitStatus, 0);
  EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0);
  EXPECT_NE(access(path.c_str(), F_OK), 0) << "the record should go with its driver";
  gloveLibraryClose();
  gloveLibraryUseObject(nullptr);
}

}  // namespace
