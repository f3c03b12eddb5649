#pragma once

#include <cstdint>
#include <vector>

#include "contacts/contact_mask.h"
#include "firmware/pad_pins.h"
#include "firmware/rc_network.h"

// The contact pads as a circuit: each pad a node with its capacitance to ground, its
// pin's pull-up or output driver behind an optional series resistor, an optional
// external pull-up, contact resistance between touching pads, skin resistance from
// pads lying on the skin to the signer's body, and shorts to ground or to the supply.
// Node voltages follow through time; each pin reads what the chip's input thresholds
// make of its voltage. A pin that carries more than its absolute maximum current for
// longer than charging a pad takes is driven against a short, and recorded.

constexpr int kPadNodes = PAD_COUNT;  // the pads, in the order of their pins
constexpr ContactMask kPadsInPinOrder[kPadNodes] = PADS_IN_PIN_ORDER;

// What the chip does to a pad's pin.
enum class PinDrive : uint8_t { kFloating, kPulledUp, kLow, kHigh };

// The circuit's parts: its corners are what the tests sweep.
struct PadCircuit {
  double supplyVolts = 5.0;
  double pullUpOhms = 35e3;       // the chip's own pull-up: 20 to 50 kOhm
  double driveOhms = 25;          // a pin's output driver, either way
  double lowBelowVolts = 2.2;     // an input falls to low below this...
  double highAboveVolts = 2.5;    // ...and rises to high above this: a typical chip; every
                                  // chip switches between 1.5 and 3.0 V (0.3 and 0.6 Vcc)
  double leakageOhms = 5e6;       // each pad to ground: 1 uA at most from the pin, its ESD diode, the lead
  double padFarads = 470e-12;     // each pad and its lead to ground: a few hundred pF to 1 nF
  double contactOhms = 100;       // between two touching pads
  double seriesOhms = 0;          // between a pin and its pad; 0 when wired straight
  double externalPullUpOhms = 0;  // from each pad to the supply; 0 for none
  ContactMask onSkin = 0;         // pads that lie on the signer's skin...
  double skinOhms = 5e3;          // ...each through this to the body
  double bodyFarads = 150e-12;    // the body to ground
  double bodyToGroundOhms = 0;    // 0: the body has no path to the board's ground
  ContactMask shortedToGround = 0;
  ContactMask shortedToSupply = 0;
  double shortOhms = 1;
};

// Above this, for longer than kPinShortSeconds, a pin is being driven against a short:
// charging the largest load a pin meets (twelve touching pads of 1 nF through 25 Ohm)
// keeps it over its maximum for 0.5 us.
constexpr double kPinAbsoluteMaxAmps = 0.040;
constexpr double kPinShortSeconds = 1.5e-6;

struct PinFault {
  int pad;          // in the order of the pins
  uint64_t cycle;   // when its current went over the maximum
  uint64_t cycles;  // for how long, so far
  double amps;      // the most it carried
};

struct PadModel {
  PadCircuit circuit;
  std::vector<ContactMask> touching;  // disjoint groups of pads in contact
  double cycleSeconds = 0;
  uint64_t cycle = 0;                 // the time the voltages below hold for
  PinDrive drives[kPadNodes] = {};
  bool levels[kPadNodes] = {};        // what each pin reads
  double volts[kPadNodes + 1] = {};   // the pads, then the body

  // Nodes that connect, solved apart from the others.
  struct Part {
    std::vector<int> nodes;
    RcResponse response;
    bool settled = true;
  };
  std::vector<Part> parts;
  int partOf[kPadNodes + 1] = {};
  int moving = 0;               // parts not settled
  bool levelsChanged = false;   // some pin's level changed since the flag was cleared

  uint16_t overdriven = 0;  // pins over their absolute maximum now, by pad
  uint64_t overSince[kPadNodes] = {};
  int faultOf[kPadNodes] = {};  // the fault a pin over its maximum is recorded in, or -1
  std::vector<PinFault> faults;
};

// Powers the circuit on at the chip's clock: every node at 0 V, every pin floating.
void padModelStart(PadModel& model, double clockHz);

// Solves the circuit afresh after a change of its parts or of the touching groups.
void padModelRewire(PadModel& model);

// The chip changed what it does to some pins, at the model's present cycle.
void padModelDrive(PadModel& model, const PinDrive drives[kPadNodes]);

// Moves the circuit on to the cycle: voltages, levels, currents.
void padModelAdvance(PadModel& model, uint64_t cycle);

// True while nothing in the circuit moves: every voltage settled, no pin over its maximum.
bool padModelStill(const PadModel& model);

// A pin's voltage, and the current it drives out into its pad (negative: sinks).
double padPinVolts(const PadModel& model, int pad);
double padPinAmps(const PadModel& model, int pad);
