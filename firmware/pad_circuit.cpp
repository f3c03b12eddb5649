#include "firmware/pad_circuit.h"

#include <cmath>
#include <numeric>

namespace {

constexpr int kBodyNode = kPadNodes;
constexpr int kNodes = kPadNodes + 1;
constexpr double kSettledVolts = 1e-4;  // far below anything a threshold could tell

// What stands behind a pin: a voltage and the resistance to it, or nothing.
bool pinSource(const PadModel& model, int pad, double& volts, double& ohms) {
  const PadCircuit& circuit = model.circuit;
  switch (model.drives[pad]) {
    case PinDrive::kFloating:
      return false;
    case PinDrive::kPulledUp:
      volts = circuit.supplyVolts;
      ohms = circuit.pullUpOhms;
      return true;
    case PinDrive::kLow:
      volts = 0;
      ohms = circuit.driveOhms;
      return true;
    case PinDrive::kHigh:
      volts = circuit.supplyVolts;
      ohms = circuit.driveOhms;
      return true;
  }
  return false;
}

void buildNetwork(const PadModel& model, const PadModel::Part& part, RcNetwork& network) {
  const PadCircuit& circuit = model.circuit;
  const int size = static_cast<int>(part.nodes.size());
  rcReset(network, size);
  int local[kNodes];
  for (int i = 0; i < size; ++i) local[part.nodes[static_cast<size_t>(i)]] = i;
  for (int i = 0; i < size; ++i) {
    const int node = part.nodes[static_cast<size_t>(i)];
    rcTie(network, i, 0, circuit.leakageOhms);
    if (node == kBodyNode) {
      network.farads[static_cast<size_t>(i)] = circuit.bodyFarads;
      if (circuit.bodyToGroundOhms > 0) rcTie(network, i, 0, circuit.bodyToGroundOhms);
      continue;
    }
    network.farads[static_cast<size_t>(i)] = circuit.padFarads;
    double volts = 0;
    double ohms = 0;
    if (pinSource(model, node, volts, ohms)) rcTie(network, i, volts, ohms + circuit.seriesOhms);
    if (circuit.externalPullUpOhms > 0) rcTie(network, i, circuit.supplyVolts, circuit.externalPullUpOhms);
    const ContactMask bit = kPadsInPinOrder[node];
    if (circuit.shortedToGround & bit) rcTie(network, i, 0, circuit.shortOhms);
    if (circuit.shortedToSupply & bit) rcTie(network, i, circuit.supplyVolts, circuit.shortOhms);
    if ((circuit.onSkin & bit) && circuit.skinOhms > 0) rcConnect(network, i, local[kBodyNode], circuit.skinOhms);
  }
  for (ContactMask group : model.touching) {
    for (int a = 0; a < kPadNodes; ++a) {
      if (!(group & kPadsInPinOrder[a]) || model.partOf[a] != model.partOf[part.nodes[0]]) continue;
      for (int b = a + 1; b < kPadNodes; ++b)
        if (group & kPadsInPinOrder[b]) rcConnect(network, local[a], local[b], circuit.contactOhms);
    }
  }
}

void updateLevel(PadModel& model, int pad) {
  const double volts = padPinVolts(model, pad);
  const bool level = volts > model.circuit.highAboveVolts ? true
                     : volts < model.circuit.lowBelowVolts ? false
                                                           : model.levels[pad];
  if (level == model.levels[pad]) return;
  model.levels[pad] = level;
  model.levelsChanged = true;
}

// Follows a pin's current: over the maximum for long enough, it is a fault.
void checkCurrent(PadModel& model, int pad) {
  const uint16_t bit = static_cast<uint16_t>(1u << pad);
  const double amps = std::fabs(padPinAmps(model, pad));
  const bool over = (model.drives[pad] == PinDrive::kLow || model.drives[pad] == PinDrive::kHigh) &&
                    amps > kPinAbsoluteMaxAmps;
  if (!over) {
    model.overdriven &= static_cast<uint16_t>(~bit);
    model.faultOf[pad] = -1;
    return;
  }
  if (!(model.overdriven & bit)) {
    model.overdriven |= bit;
    model.overSince[pad] = model.cycle;
  }
  const uint64_t cycles = model.cycle - model.overSince[pad];
  if (model.faultOf[pad] < 0) {
    if (static_cast<double>(cycles) * model.cycleSeconds <= kPinShortSeconds) return;
    model.faultOf[pad] = static_cast<int>(model.faults.size());
    model.faults.push_back({pad, model.overSince[pad], 0, 0});
  }
  PinFault& fault = model.faults[static_cast<size_t>(model.faultOf[pad])];
  fault.cycles = cycles;
  fault.amps = std::fmax(fault.amps, amps);
}

void solvePart(PadModel& model, PadModel::Part& part) {
  RcNetwork network;
  buildNetwork(model, part, network);
  rcSolve(network, model.cycleSeconds, part.response);
  double volts[kNodes];
  for (size_t i = 0; i < part.nodes.size(); ++i) volts[i] = model.volts[part.nodes[i]];
  rcStart(part.response, volts);
  if (part.settled) ++model.moving;
  part.settled = false;
  for (int node : part.nodes)
    if (node != kBodyNode) updateLevel(model, node);
}

int findRoot(int* parent, int node) {
  while (parent[node] != node) node = parent[node] = parent[parent[node]];
  return node;
}

}  // namespace

void padModelStart(PadModel& model, double clockHz) {
  model.cycleSeconds = 1 / clockHz;
  model.cycle = 0;
  for (int pad = 0; pad < kPadNodes; ++pad) {
    model.drives[pad] = PinDrive::kFloating;
    model.levels[pad] = false;
    model.faultOf[pad] = -1;
  }
  for (double& volts : model.volts) volts = 0;
  model.overdriven = 0;
  model.faults.clear();
  padModelRewire(model);
}

void padModelRewire(PadModel& model) {
  int parent[kNodes];
  std::iota(parent, parent + kNodes, 0);
  for (ContactMask group : model.touching) {
    int first = -1;
    for (int pad = 0; pad < kPadNodes; ++pad) {
      if (!(group & kPadsInPinOrder[pad])) continue;
      if (first < 0)
        first = pad;
      else
        parent[findRoot(parent, pad)] = findRoot(parent, first);
    }
  }
  if (model.circuit.skinOhms > 0)
    for (int pad = 0; pad < kPadNodes; ++pad)
      if (model.circuit.onSkin & kPadsInPinOrder[pad]) parent[findRoot(parent, pad)] = findRoot(parent, kBodyNode);

  model.parts.clear();
  model.moving = 0;
  int partOfRoot[kNodes];
  for (int& part : partOfRoot) part = -1;
  for (int node = 0; node < kNodes; ++node) {
    const int root = findRoot(parent, node);
    if (partOfRoot[root] < 0) {
      partOfRoot[root] = static_cast<int>(model.parts.size());
      model.parts.emplace_back();
    }
    model.partOf[node] = partOfRoot[root];
    model.parts[static_cast<size_t>(partOfRoot[root])].nodes.push_back(node);
  }
  for (PadModel::Part& part : model.parts) solvePart(model, part);
  for (int pad = 0; pad < kPadNodes; ++pad) checkCurrent(model, pad);
}

void padModelDrive(PadModel& model, const PinDrive drives[kPadNodes]) {
  bool changed[kNodes] = {};
  for (int pad = 0; pad < kPadNodes; ++pad) {
    if (model.drives[pad] == drives[pad]) continue;
    model.drives[pad] = drives[pad];
    changed[model.partOf[pad]] = true;
  }
  for (size_t index = 0; index < model.parts.size(); ++index) {
    if (!changed[index]) continue;
    solvePart(model, model.parts[index]);
    for (int node : model.parts[index].nodes)
      if (node != kBodyNode) checkCurrent(model, node);
  }
}

void padModelAdvance(PadModel& model, uint64_t cycle) {
  const uint64_t steps = cycle - model.cycle;
  model.cycle = cycle;
  for (PadModel::Part& part : model.parts) {
    if (part.settled) continue;
    rcAdvance(part.response, steps);
    double volts[kNodes];
    rcVoltages(part.response, volts);
    if (rcSettled(part.response, kSettledVolts)) {
      part.settled = true;
      --model.moving;
      for (double& amplitude : part.response.amplitudes) amplitude = 0;
      for (size_t i = 0; i < part.nodes.size(); ++i) volts[i] = part.response.steady[i];
    }
    for (size_t i = 0; i < part.nodes.size(); ++i) model.volts[part.nodes[i]] = volts[i];
    for (int node : part.nodes) {
      if (node == kBodyNode) continue;
      updateLevel(model, node);
      checkCurrent(model, node);
    }
  }
  for (int pad = 0; pad < kPadNodes; ++pad)
    if (model.overdriven & (1u << pad)) checkCurrent(model, pad);
}

bool padModelStill(const PadModel& model) { return model.moving == 0 && model.overdriven == 0; }

double padPinVolts(const PadModel& model, int pad) {
  const double padVolts = model.volts[pad];
  double volts = 0;
  double ohms = 0;
  if (!pinSource(model, pad, volts, ohms)) return padVolts;
  return padVolts + (volts - padVolts) * model.circuit.seriesOhms / (model.circuit.seriesOhms + ohms);
}

double padPinAmps(const PadModel& model, int pad) {
  double volts = 0;
  double ohms = 0;
  if (!pinSource(model, pad, volts, ohms)) return 0;
  return (volts - model.volts[pad]) / (model.circuit.seriesOhms + ohms);
}
