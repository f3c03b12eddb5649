// A serial glove's line across an unplug: the device is named through a link, as a USB
// adapter's udev name is, and each "plug" is a new pseudo-terminal behind it.

#include "drivers/glove_serial.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/pluggable_pty_test_util.h"

namespace {

// Failure bounds only: a reading that has not come after this many reads never will.
constexpr int kReads = 2000;

class GloveSerialUnplugged : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(pty_.setUp("glove"));
    ASSERT_TRUE(gloveSerialOpen(serial_, pty_.link, kDefaultGloveBaud));
  }
  void TearDown() override {
    gloveSerialClose(serial_);
    pty_.tearDown();
  }

  void plugIn() { pty_.plugIn(); }
  void unplug() { pty_.unplug(); }
  void send(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

  void readOnce() {
    gloveSerialRead(serial_, [this](LineEvent event, std::string_view line) {
      events_.push_back((event == LineEvent::kLine ? "line " : "other ") + std::string(line));
    });
  }

  // Reads until the events listed number `count`, or the bound runs out.
  std::vector<std::string> readUntil(size_t count) {
    for (int read = 0; read < kReads && events_.size() < count; ++read) readOnce();
    return events_;
  }

  GloveSerial serial_;
  PluggablePty pty_;
  int& master_ = pty_.master;
  std::vector<std::string> events_;
};

TEST_F(GloveSerialUnplugged, StartsAfreshOnTheDeviceThatCameBack) {
  send("\n1,2,3\n4,5");  // unplugged in the middle of a line
  EXPECT_EQ(readUntil(1), std::vector<std::string>{"line 1,2,3"});
  unplug();
  for (int read = 0; read < 20; ++read) readOnce();
  EXPECT_LT(gloveSerialDescriptor(serial_), 0);
  plugIn();
  for (int read = 0; read < kReads && gloveSerialDescriptor(serial_) < 0; ++read) readOnce();
  ASSERT_GE(gloveSerialDescriptor(serial_), 0) << "the same device back is opened again";
  send("6\n7,8\n");  // the end of a line sent before it was opened is not joined to "4,5"
  EXPECT_EQ(readUntil(3), (std::vector<std::string>{"line 1,2,3", "other 6", "line 7,8"}));
}

}  // namespace
