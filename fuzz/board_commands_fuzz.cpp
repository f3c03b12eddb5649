// Fuzzes the contact controller's emulated board's command parser (signglove-board's
// standard input) with any line. Checked on every input, against a reading of the line
// written out here apart from the parser: what is before '#', split at white space; `quit`
// ends, `untouch` clears, `touch` adds one group of the pads named (one at least, every
// name a pad's); anything else is refused with a reason and changes nothing.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "firmware/board_commands.h"

namespace {

struct Pad {
  const char* name;
  ContactMask mask;
};
constexpr Pad kPads[] = {{"RP", 0x0001},  {"RR", 0x0002}, {"RM", 0x0004}, {"RI", 0x0008}, {"RT", 0x0010}, {"RPm", 0x0020},
                         {"LPm", 0x0100}, {"LT", 0x0200}, {"LI", 0x0400}, {"LM", 0x0800}, {"LR", 0x1000}, {"LP", 0x2000}};

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

std::vector<std::string> words(const std::string& line) {
  const std::string text = line.substr(0, line.find('#'));
  std::vector<std::string> split;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
      if (!word.empty()) split.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) split.push_back(word);
  return split;
}

ContactMask padNamed(const std::string& name) {
  for (const Pad& pad : kPads)
    if (name == pad.name) return pad.mask;
  return 0;
}

}  // namespace

// The board's pad names, as board.cpp reads them (built with simavr, which this target
// does without).
ContactMask padMaskByName(const std::string& name) { return padNamed(name); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::vector<ContactMask> before = {0x0018, 0x0300};
  std::vector<ContactMask> touching = before;
  bool quit = false;
  std::string error;
  const bool accepted = boardCommand(line, touching, quit, error);

  const std::vector<std::string> split = words(line);
  std::vector<ContactMask> expected = before;
  bool expectQuit = false, expectAccepted = true;
  if (split.empty()) {
  } else if (split[0] == "quit") {
    expectQuit = true;
  } else if (split[0] == "untouch") {
    expected.clear();
  } else if (split[0] == "touch" && split.size() > 1) {
    ContactMask group = 0;
    for (size_t index = 1; index < split.size() && expectAccepted; ++index) {
      const ContactMask pad = padNamed(split[index]);
      expectAccepted = pad != 0;
      group |= pad;
    }
    if (expectAccepted) expected.push_back(group);
  } else {
    expectAccepted = false;
  }
  if (accepted != expectAccepted) broken("accepted a line it should refuse, or the other way round");
  if (accepted != error.empty()) broken("a reason given for an accepted line, or none for a refused one");
  if (quit != expectQuit) broken("quit from a line that is not quit, or not from one that is");
  if (touching != (expectAccepted ? expected : before)) broken("the groups are not what the line says");
  return 0;
}
