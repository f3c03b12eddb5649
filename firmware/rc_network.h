#pragma once

#include <cstdint>
#include <vector>

// A linear resistor-capacitor network: nodes with a capacitance to ground, resistors
// between nodes and from nodes to fixed voltages. Its node voltages follow
// C dv/dt = i - G v, solved exactly (not stepped) from its modes, so that a time step
// of any length is stable and exact, however stiff the network.

struct RcNetwork {
  int nodes = 0;
  std::vector<double> farads;   // each node's capacitance to ground
  std::vector<double> siemens;  // G, nodes x nodes, row by row
  std::vector<double> amps;     // i: current the fixed voltages drive into each node at 0 V
};

// An empty network of this many nodes.
void rcReset(RcNetwork& network, int nodes);

// A resistor between two nodes.
void rcConnect(RcNetwork& network, int a, int b, double ohms);

// A resistor from a node to a fixed voltage.
void rcTie(RcNetwork& network, int node, double volts, double ohms);

// The network's voltages from some start on, in time steps of a fixed length:
// v(t) = steady + shapes (amplitudes e^(-rates t)).
struct RcResponse {
  int nodes = 0;
  std::vector<double> steady;      // where every voltage tends to
  std::vector<double> rates;       // each mode's decay rate, 1/s
  std::vector<double> shapes;      // nodes x modes: a mode's volts on each node
  std::vector<double> peaks;       // each mode's largest volts on any node
  std::vector<double> projection;  // modes x nodes: a mode's amplitude from a node's deviation
  std::vector<double> amplitudes;  // each mode's amplitude now
  double stepSeconds = 0;
  std::vector<double> stepDecay;   // modes x a few steps: what is left of a mode after them
};

// Solves the network's modes for steps of stepSeconds. Every node must reach a fixed
// voltage through some resistor (else it has no steady voltage); the response starts
// settled.
void rcSolve(const RcNetwork& network, double stepSeconds, RcResponse& response);

// Starts the response from these node voltages.
void rcStart(RcResponse& response, const double* volts);

// Lets the response run on by this many steps.
void rcAdvance(RcResponse& response, uint64_t steps);

// The node voltages now.
void rcVoltages(const RcResponse& response, double* volts);

// True once no node is further than tolerance volts from its steady voltage.
bool rcSettled(const RcResponse& response, double toleranceVolts);
