#include "firmware/board_check.h"

#include <cmath>
#include <cstdio>
#include <functional>

#include "contacts/contact_packet.h"
#include "simulator/contact_controller.h"

namespace {

constexpr int64_t kStepMicros = 100;
constexpr double kBisectionRatio = 1.03;  // ranges to within 3 %

struct Thresholds {
  double lowBelow;
  double highAbove;
};
// A chip that reads low only below 0.3 Vcc, and one that reads high only above 0.6 Vcc.
constexpr Thresholds kThresholdCorners[] = {{1.5, 1.8}, {2.7, 3.0}};
constexpr double kPullUpCorners[] = {20e3, 50e3};
constexpr double kPadFaradCorners[] = {220e-12, 1e-9};

bool replyComplete(const std::vector<uint8_t>& reply) {
  // Masks never carry 0x4000, so it ends the entries wherever it is word-aligned.
  const size_t size = reply.size();
  return size >= 6 && size % 2 == 0 && reply[size - 4] == 0x40 && reply[size - 3] == 0x00;
}

std::string describe(const PadCircuit& circuit, const TouchPattern& groups) {
  char text[200];
  std::snprintf(text, sizeof text, "pull-up %.0f kOhm, pads %.0f pF, thresholds %.1f-%.1f V, contact %.0f Ohm",
                circuit.pullUpOhms / 1e3, circuit.padFarads * 1e12, circuit.lowBelowVolts, circuit.highAboveVolts,
                circuit.contactOhms);
  std::string result = text;
  if (circuit.onSkin) {
    std::snprintf(text, sizeof text, ", skin %.0f Ohm", circuit.skinOhms);
    result += text;
  }
  result += ", touching:";
  for (ContactMask group : groups) {
    std::snprintf(text, sizeof text, " 0x%04x", group);
    result += text;
  }
  return result;
}

// Bisects, in ratio, between a value that reads right and one that does not.
double bisect(double right, double wrong, const std::function<bool(double)>& readsRight) {
  while (std::fmax(right, wrong) / std::fmin(right, wrong) > kBisectionRatio) {
    const double middle = std::sqrt(right * wrong);
    (readsRight(middle) ? right : wrong) = middle;
  }
  return right;
}

}  // namespace

std::vector<uint8_t> boardExchange(Board& board, uint8_t byte, int64_t waitMicros, std::vector<BoardByte>* frames) {
  avrBoardSendByte(board.chip, byte);
  return boardReply(board, waitMicros, frames);
}

std::vector<uint8_t> boardReply(Board& board, int64_t waitMicros, std::vector<BoardByte>* frames) {
  std::vector<uint8_t> reply;
  const int64_t until = avrBoardMicros(board.chip) + waitMicros;
  while (avrBoardMicros(board.chip) < until && !replyComplete(reply)) {
    if (!avrBoardRunFor(board.chip, kStepMicros)) break;
    for (BoardByte taken; avrBoardTakeByte(board.chip, taken);) {
      reply.push_back(taken.byte);
      if (frames) frames->push_back(taken);
    }
  }
  return reply;
}

std::vector<uint8_t> expectedReply(const TouchPattern& groups) {
  ContactController controller;
  for (ContactMask group : groups) controllerTouch(controller, group);
  return controllerReply(controller);
}

const std::vector<TouchPattern>& checkPatterns() {
  static const std::vector<TouchPattern> patterns = {
      {},
      {0x0018},
      {0x003F},
      {0x2001, 0x0120},
      {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000},
      {0x3F3F},
  };
  return patterns;
}

std::vector<PadCircuit> circuitCorners(const PadCircuit& base) {
  std::vector<PadCircuit> corners;
  for (double pullUp : kPullUpCorners) {
    for (double farads : kPadFaradCorners) {
      for (const Thresholds& thresholds : kThresholdCorners) {
        PadCircuit corner = base;
        corner.pullUpOhms = pullUp;
        corner.padFarads = farads;
        corner.lowBelowVolts = thresholds.lowBelow;
        corner.highAboveVolts = thresholds.highAbove;
        corners.push_back(corner);
      }
    }
  }
  return corners;
}

std::string boardCheck(const std::string& firmwarePath, const PadCircuit& circuit,
                       const std::vector<TouchPattern>& patterns) {
  Board board;
  std::string error;
  if (!boardStart(board, firmwarePath, error, circuit)) return error;
  for (const TouchPattern& groups : patterns) {
    boardSetTouching(board, groups);
    if (boardExchange(board, kRequestByte) != expectedReply(groups))
      return "a wrong reply with " + describe(circuit, groups);
    if (!board.pads.faults.empty()) {
      const PinFault& fault = board.pads.faults.front();
      char text[120];
      std::snprintf(text, sizeof text, "pad 0x%04x's pin drove %.0f mA for %.1f us against a short with ",
                    kPadsInPinOrder[fault.pad], fault.amps * 1e3,
                    static_cast<double>(fault.cycles) * 1e6 / kAvrClockHz);
      return text + describe(circuit, groups);
    }
  }
  return "";
}

std::string boardCheckCorners(const std::string& firmwarePath, const PadCircuit& base,
                              const std::vector<TouchPattern>& patterns) {
  for (const PadCircuit& corner : circuitCorners(base)) {
    const std::string problem = boardCheck(firmwarePath, corner, patterns);
    if (!problem.empty()) return problem;
  }
  return "";
}

double largestContactOhms(const std::string& firmwarePath, const PadCircuit& base) {
  return bisect(10, 1e6, [&](double ohms) {
    PadCircuit circuit = base;
    circuit.contactOhms = ohms;
    return boardCheckCorners(firmwarePath, circuit, checkPatterns()).empty();
  });
}

double smallestSkinOhms(const std::string& firmwarePath, const PadCircuit& base) {
  return bisect(10e6, 100, [&](double ohms) {
    PadCircuit circuit = base;
    circuit.onSkin = 0x3F3F;
    circuit.skinOhms = ohms;
    return boardCheckCorners(firmwarePath, circuit, checkPatterns()).empty();
  });
}
