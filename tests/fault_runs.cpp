#include "tests/fault_runs.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <string_view>

#include "contacts/contact_mask.h"
#include "contacts/contact_packet.h"
#include "simulator/script.h"
#include "simulator/simulation.h"
#include "simulator/world.h"

namespace {

constexpr char kFingerBanner[] = "Finger connections diagnostic program\n\n";
constexpr char kTimedOut[] = "error in packet: routine TIMED OUT";
constexpr int kFinalCyclesChecked = 3;
constexpr int kMaxGroupWords = 8;
// 240 to 400 zero words take 500 to 830 ms on the line: past the deadline.
constexpr int kShortestLongBurst = 240, kLongestLongBurst = 400;
// Time the final pattern is held before C. A request made just before the controller
// is healthy again may still time out, and a long burst still to come outlasts the
// next deadline too: the final cycles may start 1.4 s late after those.
constexpr int kFinalHoldMs = 900, kFinalHoldAfterSilenceOrBurstMs = 2000;

struct Random {  // splitmix64: small, and the same everywhere
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  int below(int bound) { return static_cast<int>(next() % static_cast<uint64_t>(bound)); }
  int between(int low, int high) { return low + below(high - low + 1); }
};

std::string padName(const PadLabel& pad) {
  const std::string_view label(pad.label);
  return std::string(label.substr(0, label.size() - 1));
}

std::string labels(uint16_t mask) {
  std::string text;
  for (const PadLabel& pad : kPadLabels)
    if (mask & pad.bit) text += pad.label;
  return text;
}

std::string hex(uint16_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", word);
  return text;
}

// A word the controller might send as a group: mostly pads, sometimes anything.
uint16_t groupWord(Random& random) {
  switch (random.below(8)) {
    case 0: return static_cast<uint16_t>(random.next());
    case 1: return random.below(2) ? kHeaderWord : kTerminatorWord;
    default: {
      uint16_t mask = 0;
      for (int pads = random.between(1, 3); pads > 0; --pads) mask |= kPadLabels[random.below(12)].bit;
      return mask;
    }
  }
}

void touch(std::ostringstream& script, Random& random) {
  script << "touch";
  std::set<int> chosen;
  for (int pads = random.between(2, 3); pads > 0; --pads) chosen.insert(random.below(12));
  if (chosen.size() < 2) chosen.insert((*chosen.begin() + 1) % 12);
  for (int pad : chosen) script << ' ' << padName(kPadLabels[pad]);
  script << '\n';
}

// Returns true for a burst that outlasts the deadline.
bool noise(std::ostringstream& script, Random& random) {
  script << "controller noise";
  bool longBurst = false;
  switch (random.below(4)) {
    case 0:  // a long burst of one word, as a stuck line sends
    case 1: {
      longBurst = true;
      const std::string word = random.below(3) ? "0" : hex(groupWord(random));
      for (int words = random.between(kShortestLongBurst, kLongestLongBurst); words > 0; --words) script << ' ' << word;
      break;
    }
    case 2:  // a few words of anything
      for (int words = random.between(1, 40); words > 0; --words) script << ' ' << hex(groupWord(random));
      break;
    default: {  // a whole valid frame, which the program may take for a reply
      uint32_t sum = 0;
      script << ' ' << hex(kHeaderWord);
      for (int entries = random.below(4); entries > 0; --entries) {
        const uint16_t word = static_cast<uint16_t>(groupWord(random) & 0x3F3F);
        sum += word;
        script << ' ' << hex(word);
      }
      script << ' ' << hex(kTerminatorWord) << ' ' << hex(static_cast<uint16_t>(sum));
      break;
    }
  }
  script << '\n';
  return longBurst;
}

// Returns true when the step leaves the controller silent or a long burst to come.
bool randomStep(std::ostringstream& script, Random& random) {
  bool slow = false;
  switch (random.below(20)) {
    case 0: case 1: case 2: touch(script, random); break;
    case 3: script << "untouch\n"; break;
    case 4: case 5: {
      script << "groups";
      for (int words = random.between(0, kMaxGroupWords); words > 0; --words) script << ' ' << hex(groupWord(random));
      script << '\n';
      break;
    }
    case 6: case 7: script << "controller corrupt " << random.between(1, 4) << '\n'; break;
    case 8: case 9: script << "controller drop " << random.between(1, 3) << '\n'; break;
    case 10: case 11: case 12: case 13: slow = noise(script, random); break;
    case 14: script << "controller silent\n"; slow = true; break;
    case 15: script << "controller normal\n"; break;
    default:
      for (int enters = random.between(1, 2); enters > 0; --enters) script << "enter\n";
      break;
  }
  script << "wait " << random.between(0, 400) << '\n';
  return slow;
}

// Every frame, valid by the framing, that can be read in step from the words the
// controller sent: each reply is paired into words from its first byte (noise words
// and all), and frames may run on from one reply into the next.
std::set<std::string> linesOfValidFrames(const std::vector<std::vector<uint8_t>>& replies) {
  std::vector<uint16_t> words;
  for (const std::vector<uint8_t>& reply : replies)
    for (size_t byte = 0; byte + 1 < reply.size(); byte += 2)
      words.push_back(static_cast<uint16_t>(reply[byte] << 8 | reply[byte + 1]));
  std::set<std::string> lines;
  for (size_t header = 0; header < words.size(); ++header) {
    if (words[header] != kHeaderWord) continue;
    size_t index = header + 1;
    uint32_t sum = 0;
    while (index < words.size() && words[index] != kTerminatorWord && index - header <= kPacketSlots)
      sum += words[index++];
    if (index + 1 >= words.size() || words[index] != kTerminatorWord || sum != words[index + 1]) continue;
    for (size_t entry = header + 1; entry < index; ++entry) lines.insert(labels(words[entry]));
  }
  return lines;
}

}  // namespace

std::vector<std::string> fingerConnectionLines(const std::string& transcript) {
  std::vector<std::string> lines;
  const size_t banner = transcript.find(kFingerBanner);
  if (banner == std::string::npos) return lines;
  std::istringstream text(transcript.substr(banner + sizeof kFingerBanner - 1));
  for (std::string line; std::getline(text, line) && line.find('\f') == std::string::npos;) lines.push_back(line);
  return lines;
}

FaultRun makeFaultRun(uint64_t seed) {
  Random random{seed};
  FaultRun run;
  run.seed = seed;
  std::ostringstream script;
  script << "# fault run, seed " << seed << "\ncalibrate\ntap A\ntap A\n";
  bool slow = false;
  for (int steps = random.between(3, 10); steps > 0; --steps) slow |= randomStep(script, random);

  // A healthy controller and a final pattern of one to three separate groups.
  script << "controller normal\ncontroller corrupt 0\ncontroller drop 0\nuntouch\n";
  std::vector<int> pads(12);
  for (int pad = 0; pad < 12; ++pad) pads[pad] = pad;
  for (int pad = 11; pad > 0; --pad) std::swap(pads[pad], pads[random.below(pad + 1)]);
  std::vector<uint16_t> groups;
  for (int group = 0, count = random.between(1, 3); group < count; ++group) {
    const PadLabel& first = kPadLabels[pads[2 * group]];
    const PadLabel& second = kPadLabels[pads[2 * group + 1]];
    script << "touch " << padName(first) << ' ' << padName(second) << '\n';
    groups.push_back(static_cast<uint16_t>(first.bit | second.bit));
  }
  std::sort(groups.begin(), groups.end());
  for (uint16_t group : groups) run.finalLines.push_back(labels(group));
  // Enough Enters for any time-out still to come; the final pattern held; leave and end.
  script << "enter\nenter\nenter\nwait " << (slow ? kFinalHoldAfterSilenceOrBurstMs : kFinalHoldMs)
         << "\npress C\nwait 100\nrelease C\npress B C\nwait 100\nrelease all\n";
  run.script = script.str();
  return run;
}

FaultRunVerdict checkFaultRun(const FaultRun& run) {
  FaultRunVerdict verdict;
  Scenario scenario;
  ScriptError error;
  if (!compileScript(run.script, scenario, error)) {
    verdict.hung = true;
    verdict.stopReason = "script line " + std::to_string(error.line) + ": " + error.message;
    return verdict;
  }
  const SimulationResult result = runSimulation(scenario);
  verdict.hung = result.exitStatus != 0;
  verdict.stopReason = result.stopReason;

  const std::set<std::string> allowed = linesOfValidFrames(world.repliesSent);
  std::vector<std::string> lines;
  for (const std::string& line : fingerConnectionLines(result.transcript)) {
    if (line == kTimedOut) continue;
    lines.push_back(line);
    if (allowed.count(line)) continue;
    if (verdict.wrongLines++ == 0) verdict.firstWrongLine = line;
  }
  verdict.lines = static_cast<int>(lines.size());

  const size_t checked = kFinalCyclesChecked * run.finalLines.size();
  verdict.endsWithFinalPattern = lines.size() >= checked;
  for (size_t index = 0; verdict.endsWithFinalPattern && index < checked; ++index)
    verdict.endsWithFinalPattern =
        lines[lines.size() - checked + index] == run.finalLines[index % run.finalLines.size()];
  return verdict;
}
