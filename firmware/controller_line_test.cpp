// The line's faults on a real controller's replies give the bytes the simulator's
// controller sends with the same faults.

#include "firmware/controller_line.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kRequest = 0x53;

// What a real controller sends for a request: the reply with no faults.
Bytes cleanReply(const ContactController& controller) {
  ContactController clean;
  clean.touching = controller.touching;
  return controllerReply(clean);
}

// Requests one reply through the line; returns what reaches the host.
Bytes throughLine(ControllerLine& line, ContactController& faults) {
  const Bytes clean = cleanReply(faults);
  Bytes toHost;
  if (!controllerLineFromHost(line, faults, kRequest, toHost)) return toHost;
  for (uint8_t byte : clean) controllerLineFromController(line, byte, toHost);
  return toHost;
}

struct Faults {
  int corrupt = 0;
  int drop = 0;
  std::vector<uint16_t> noise;
};

void give(ContactController& controller, const Faults& faults) {
  controller.corruptReplies = faults.corrupt;
  controller.dropReplies = faults.drop;
  controller.noiseWords = faults.noise;
}

TEST(ControllerLineTest, FaultsGiveTheSimulatorsBytes) {
  struct Case {
    const char* name;
    std::vector<ContactMask> touching;
    Faults faults;
  };
  const Case cases[] = {
      {"no faults", {0x0018}, {}},
      {"corrupt, no groups", {}, {1, 0, {}}},
      {"corrupt, six groups", {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000}, {1, 0, {}}},
      {"drop, no groups", {}, {0, 1, {}}},
      {"drop, two groups", {0x0018, 0x2001}, {0, 1, {}}},
      {"noise", {0x0018}, {0, 0, {0x1234, 0x4000}}},
      {"noise that looks like a header", {0x0018}, {0, 0, {0x0040, 0x0040}}},
      {"noise, dropped and corrupted", {0x0018, 0x0300}, {1, 1, {0x0040, 0x1111, 0x4000}}},
      {"corrupt and drop twice", {0x3F3F}, {2, 2, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ContactController simulated, real;
    simulated.touching = real.touching = c.touching;
    give(simulated, c.faults);
    give(real, c.faults);
    ControllerLine line;
    for (int reply = 0; reply < 3; ++reply) EXPECT_EQ(throughLine(line, real), controllerReply(simulated)) << reply;
  }
}

TEST(ControllerLineTest, RandomFaultsGiveTheSimulatorsBytes) {
  std::mt19937 random(912);
  ContactController simulated, real;
  ControllerLine line;
  for (int reply = 0; reply < 5000; ++reply) {
    std::vector<ContactMask> touching;
    for (int group = std::uniform_int_distribution<int>(0, 6)(random); group > 0; --group)
      touching.push_back(static_cast<ContactMask>(std::uniform_int_distribution<int>(0, 0x3F3F)(random) & 0x3F3F));
    simulated.touching = real.touching = touching;
    if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
      Faults faults{std::uniform_int_distribution<int>(0, 2)(random), std::uniform_int_distribution<int>(0, 2)(random),
                    {}};
      for (int word = std::uniform_int_distribution<int>(0, 3)(random); word > 0; --word)
        faults.noise.push_back(static_cast<uint16_t>(random()));
      give(simulated, faults);
      give(real, faults);
    }
    ASSERT_EQ(throughLine(line, real), controllerReply(simulated)) << "reply " << reply;
  }
}

TEST(ControllerLineTest, RequestsInARowKeepTheirOwnFaults) {
  // The host asks again before the first reply is in: each reply keeps the faults
  // its own request was given.
  ContactController simulated, real;
  simulated.touching = real.touching = {0x0018};
  give(simulated, {1, 0, {0x0001}});
  give(real, {1, 0, {0x0001}});
  Bytes expected = controllerReply(simulated);
  const Bytes second = controllerReply(simulated);
  expected.insert(expected.end(), second.begin(), second.end());

  ControllerLine line;
  Bytes toHost;
  ASSERT_TRUE(controllerLineFromHost(line, real, kRequest, toHost));
  ASSERT_TRUE(controllerLineFromHost(line, real, kRequest, toHost));
  for (int reply = 0; reply < 2; ++reply)
    for (uint8_t byte : cleanReply(real)) controllerLineFromController(line, byte, toHost);
  EXPECT_EQ(toHost, expected);
}

TEST(ControllerLineTest, ASilentControllerHearsNothing) {
  ContactController faults;
  faults.silent = true;
  faults.corruptReplies = 1;
  ControllerLine line;
  Bytes toHost;
  EXPECT_FALSE(controllerLineFromHost(line, faults, kRequest, toHost));
  EXPECT_EQ(faults.corruptReplies, 1);  // kept for the first reply after the silence
  faults.silent = false;
  EXPECT_TRUE(controllerLineFromHost(line, faults, 0x00, toHost));  // passed on, for the controller to ignore
  EXPECT_TRUE(toHost.empty());
}

}  // namespace
