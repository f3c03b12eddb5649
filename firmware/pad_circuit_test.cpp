// The pads' circuit on its own, against levels and currents worked out by hand.

#include "firmware/pad_circuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kClockHz = 16e6;
constexpr uint64_t kCyclesPerMicro = 16;

// Index of a pad in pin order.
int padAt(ContactMask pad) {
  for (int index = 0; index < kPadNodes; ++index)
    if (kPadsInPinOrder[index] == pad) return index;
  return -1;
}

// A circuit with every pad pulled up and settled, then pad driven low (or high) for
// the time given.
PadModel driveOne(const PadCircuit& circuit, const std::vector<ContactMask>& touching, ContactMask pad,
                  PinDrive drive, uint64_t micros) {
  PadModel model;
  model.circuit = circuit;
  model.touching = touching;
  padModelStart(model, kClockHz);
  PinDrive drives[kPadNodes];
  for (PinDrive& each : drives) each = PinDrive::kPulledUp;
  padModelDrive(model, drives);
  padModelAdvance(model, 1000 * kCyclesPerMicro);
  drives[padAt(pad)] = drive;
  padModelDrive(model, drives);
  padModelAdvance(model, model.cycle + micros * kCyclesPerMicro);
  return model;
}

ContactMask padsReadingLow(const PadModel& model) {
  ContactMask low = 0;
  for (int pad = 0; pad < kPadNodes; ++pad)
    if (!model.levels[pad]) low |= kPadsInPinOrder[pad];
  return low;
}

TEST(PadCircuitTest, PadsFollowADrivenPadAsTheirResistancesSay) {
  struct Case {
    const char* name;
    PadCircuit circuit;
    std::vector<ContactMask> touching;
    uint64_t micros;
    ContactMask low;  // with RP (0x0001) driven low
  };
  PadCircuit weakContact;  // 5 V x 20k / (20k + 20k): 2.5 V, no lower than the rising threshold
  weakContact.contactOhms = 20e3;
  weakContact.pullUpOhms = 20e3;
  PadCircuit sixOnSkin;  // the body at 1.56 V, each other pad's pin at 1.87 V
  sixOnSkin.onSkin = 0x003F;
  sixOnSkin.skinOhms = 5e3;
  sixOnSkin.pullUpOhms = 50e3;
  PadCircuit sixOnSkinPulledUp = sixOnSkin;  // 10 kOhm more on each pad: 3.96 V
  sixOnSkinPulledUp.externalPullUpOhms = 10e3;
  PadCircuit seriesResistors;  // the far pad at 5 V x (2 x 330 + 125) / 35k
  seriesResistors.seriesOhms = 330;
  const Case cases[] = {
      {"alone", {}, {}, 20, 0x0001},
      {"through a contact", {}, {0x0003}, 20, 0x0003},
      {"through a contact, at the instant of driving", {}, {0x0003}, 0, 0},
      {"through a contact as strong as the pull-up", weakContact, {0x0003}, 200, 0x0001},
      {"six pads on skin: a phantom group", sixOnSkin, {}, 200, 0x003F},
      {"six pads on skin, with pull-ups of 10 kOhm", sixOnSkinPulledUp, {}, 200, 0x0001},
      {"through series resistors", seriesResistors, {0x0003}, 20, 0x0003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PadModel model = driveOne(c.circuit, c.touching, 0x0001, PinDrive::kLow, c.micros);
    EXPECT_EQ(padsReadingLow(model), c.low);
    EXPECT_TRUE(model.faults.empty());
  }
}

TEST(PadCircuitTest, APinDrivenAgainstAShortIsAFaultAndChargingAPadIsNot) {
  struct Case {
    const char* name;
    PadCircuit circuit;
    PinDrive drive;
    uint64_t micros;
    bool fault;
  };
  PadCircuit toGround;
  toGround.shortedToGround = 0x0001;
  PadCircuit toSupply;
  toSupply.shortedToSupply = 0x0001;
  PadCircuit toSupplyBehindResistor = toSupply;  // 5 V / 355 Ohm: 14 mA
  toSupplyBehindResistor.seriesOhms = 330;
  PadCircuit bigPad;  // 200 mA at first, below 40 mA within 40 ns
  bigPad.padFarads = 1e-9;
  const Case cases[] = {
      {"driven high into a short to ground, 10 us", toGround, PinDrive::kHigh, 10, true},
      {"driven low into a short to the supply, 10 us", toSupply, PinDrive::kLow, 10, true},
      {"driven low into a short to the supply, for less than 1 us", toSupply, PinDrive::kLow, 0, false},
      {"into a short behind a series resistor", toSupplyBehindResistor, PinDrive::kLow, 10, false},
      {"charging a pad of 1 nF", bigPad, PinDrive::kLow, 10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PadModel model = driveOne(c.circuit, {}, 0x0001, c.drive, c.micros);
    EXPECT_EQ(model.faults.size(), c.fault ? 1u : 0u);
    if (c.fault) {
      EXPECT_GT(model.faults[0].amps, 0.15);
    }
  }
}

TEST(PadCircuitTest, APinBetweenItsThresholdsKeepsItsLevel) {
  PadModel model;
  padModelStart(model, kClockHz);
  EXPECT_FALSE(model.levels[0]);  // powered on at 0 V
  PinDrive drives[kPadNodes] = {};
  drives[0] = PinDrive::kPulledUp;
  padModelDrive(model, drives);
  const double tau = model.circuit.pullUpOhms * model.circuit.padFarads;
  // Rising through 2.2 V (falling threshold) but not yet 2.5 V (rising): still low.
  padModelAdvance(model, static_cast<uint64_t>(-tau * std::log(1 - 2.35 / 5) * kClockHz));
  EXPECT_FALSE(model.levels[0]);
  padModelAdvance(model, static_cast<uint64_t>(-tau * std::log(1 - 2.6 / 5) * kClockHz));
  EXPECT_TRUE(model.levels[0]);
}

}  // namespace
