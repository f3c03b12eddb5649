#include "firmware/board_link.h"

#include <algorithm>

#include "contacts/contact_packet.h"

bool boardLinkStart(BoardLink& link, const std::string& firmwarePath, std::string& error) {
  if (!boardStart(link.board, firmwarePath, error)) return false;
  link.startCycle = avrBoardCycle(link.board.chip);
  return true;
}

void boardLinkFromHost(BoardLink& link, ContactController& controller, const uint8_t* bytes, size_t count,
                       std::vector<uint8_t>& toHost) {
  for (size_t index = 0; index < count; ++index) {
    if (!controllerLineFromHost(link.line, controller, bytes[index], toHost)) continue;
    if (bytes[index] == kRequestByte) link.requestCycles.push_back(avrBoardCycle(link.board.chip));
    avrBoardSendByte(link.board.chip, bytes[index]);
  }
}

bool boardLinkRunTo(BoardLink& link, const ContactController& controller, int64_t micros,
                    std::vector<uint8_t>& toHost, bool& stopped) {
  stopped = false;
  if (link.board.pads.touching != controller.touching) boardSetTouching(link.board, controller.touching);
  if (!avrBoardRunUntil(link.board.chip, link.startCycle + static_cast<uint64_t>(micros) * kAvrCyclesPerMicro)) {
    stopped = true;
    return false;
  }
  bool replyEnded = false;
  for (BoardByte taken; avrBoardTakeByte(link.board.chip, taken);) {
    if (controllerLineFromController(link.line, taken.byte, toHost)) {
      replyEnded = true;
      if (!link.requestCycles.empty()) {
        ++link.replies;
        link.replyCyclesSum += taken.atCycle - link.requestCycles.front();
        link.lastReplyMicros = static_cast<int64_t>((taken.atCycle - link.requestCycles.front()) / kAvrCyclesPerMicro);
        link.requestCycles.erase(link.requestCycles.begin());
      }
    }
  }
  return replyEnded && link.line.pending.empty();
}

double boardLinkMeanReplyMicros(const BoardLink& link) {
  if (link.replies == 0) return 0;
  return static_cast<double>(link.replyCyclesSum) / static_cast<double>(link.replies) / kAvrCyclesPerMicro;
}

bool scriptFitsTheBoard(std::string_view script, ScriptError& error) {
  int number = 0;
  for (size_t position = 0; position <= script.size();) {
    const size_t end = std::min(script.find('\n', position), script.size());
    std::string_view line = script.substr(position, end - position);
    ++number;
    line = line.substr(0, line.find('#'));
    const size_t start = line.find_first_not_of(" \t\r");
    if (start != std::string_view::npos &&
        line.substr(start, line.find_first_of(" \t\r", start) - start) == "groups") {
      error = {number, "'groups' has no meaning for the controller's firmware: its entries are the pads that touch"};
      return false;
    }
    position = end + 1;
  }
  return true;
}
