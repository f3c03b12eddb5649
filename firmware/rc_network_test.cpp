// The RC network's exact response against circuits whose answer is known by hand.

#include "firmware/rc_network.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr double kStepSeconds = 62.5e-9;  // a cycle at 16 MHz

// The voltages of a network started from start, after this many steps.
std::vector<double> voltagesAfter(const RcNetwork& network, std::vector<double> start, uint64_t steps) {
  RcResponse response;
  rcSolve(network, kStepSeconds, response);
  rcStart(response, start.data());
  rcAdvance(response, steps);
  std::vector<double> volts(static_cast<size_t>(network.nodes));
  rcVoltages(response, volts.data());
  return volts;
}

TEST(RcNetworkTest, FollowsCircuitsSolvedByHand) {
  struct Case {
    const char* name;
    std::function<void(RcNetwork&)> build;
    std::vector<double> start;
    uint64_t steps;
    std::vector<double> expected;
  };
  const double tau = 35e3 * 1e-9;  // a 35 kOhm pull-up on 1 nF
  const auto pullUp = [](RcNetwork& n) {
    rcReset(n, 1);
    n.farads[0] = 1e-9;
    rcTie(n, 0, 5, 35e3);
  };
  const auto chargeSharing = [](RcNetwork& n) {  // two 1 nF nodes through 1 kOhm: 0.5 us, barely leaking
    rcReset(n, 2);
    n.farads = {1e-9, 1e-9};
    rcConnect(n, 0, 1, 1e3);
    rcTie(n, 0, 0, 1e15);
    rcTie(n, 1, 0, 1e15);
  };
  const auto stiffDivider = [](RcNetwork& n) {  // a driver of 25 Ohm against a pull-up through 100 Ohm
    rcReset(n, 2);
    n.farads = {470e-12, 1e-9};
    rcTie(n, 0, 0, 25);
    rcTie(n, 0, 0, 100e6);
    rcConnect(n, 0, 1, 100);
    rcTie(n, 1, 5, 20e3);
  };
  const Case cases[] = {
      {"charging, one time constant", pullUp, {0}, static_cast<uint64_t>(tau / kStepSeconds), {5 * (1 - std::exp(-1))}},
      {"charging, in single steps", pullUp, {0}, 1, {5 * (1 - std::exp(-kStepSeconds / tau))}},
      {"charging, long after", pullUp, {0}, 100000000, {5}},
      {"charge shared, two time constants", chargeSharing, {5, 0}, 16, {2.5 + 2.5 * std::exp(-2), 2.5 - 2.5 * std::exp(-2)}},
      {"charge shared, settled", chargeSharing, {5, 0}, 16000, {2.5, 2.5}},
      {"stiff divider, settled", stiffDivider, {5, 5}, 160000, {5 * 25 / (20e3 + 125.0), 5 * 125 / (20e3 + 125.0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RcNetwork network;
    c.build(network);
    const std::vector<double> volts = voltagesAfter(network, c.start, c.steps);
    for (size_t node = 0; node < c.expected.size(); ++node)
      EXPECT_NEAR(volts[node], c.expected[node], 1e-3) << "node " << node;
  }
}

TEST(RcNetworkTest, SettlesOnceNoNodeIsFarFromItsSteadyVoltage) {
  RcNetwork network;
  rcReset(network, 1);
  network.farads[0] = 1e-9;
  rcTie(network, 0, 5, 1e3);  // a time constant of 1 us, 16 steps
  RcResponse response;
  rcSolve(network, kStepSeconds, response);
  const double start = 0;
  rcStart(response, &start);
  EXPECT_FALSE(rcSettled(response, 1e-3));
  rcAdvance(response, 16 * 8);  // 5 V e^-8: 1.7 mV left
  EXPECT_FALSE(rcSettled(response, 1e-3));
  rcAdvance(response, 16);  // 0.6 mV
  EXPECT_TRUE(rcSettled(response, 1e-3));
}

}  // namespace
