#include "firmware/flex_glove_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/glove_record_writer.h"
#include "platform/glove_shared_record.h"

namespace {

constexpr int64_t kDriverReadyMicros = 5'000'000;
constexpr int64_t kReadyPollMicros = 1000;
constexpr int kDriverGraceMillis = 1000;

int64_t wallMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// An OSC message of float32 arguments: the address and the type tags, each ended by a
// NUL and padded to four bytes, then each number big-endian.
std::vector<uint8_t> oscMessage(const char* address, const float* numbers, int count) {
  std::vector<uint8_t> message;
  const auto addPadded = [&message](const std::string& text) {
    message.insert(message.end(), text.begin(), text.end());
    message.resize((message.size() / 4 + 1) * 4, 0);
  };
  addPadded(address);
  addPadded("," + std::string(static_cast<size_t>(count), 'f'));
  for (int index = 0; index < count; ++index) {
    uint32_t bits;
    std::memcpy(&bits, &numbers[index], sizeof bits);
    bits = htonl(bits);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&bits);
    message.insert(message.end(), bytes, bytes + sizeof bits);
  }
  return message;
}

void sendPose(const FlexGloveLink& link, const FlexGloveLink::Pose& pose) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(link.oscPort);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (const std::vector<uint8_t>& message :
       {oscMessage("/signglove/position", pose.position, 3), oscMessage("/signglove/angles", pose.angles, 3)})
    sendto(link.oscSocket, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

GloveHand handOf(const GloveRecord& record) {
  GloveHand hand;
  std::copy(std::begin(record.bend), std::end(record.bend), hand.bend);
  std::copy(std::begin(record.buttons), std::end(record.buttons), hand.buttons);
  return hand;
}

// A UDP port on 127.0.0.1 that nobody holds now, for the driver to listen on.
bool freeUdpPort(uint16_t& port, std::string& error) {
  const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool found = probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (probe >= 0) close(probe);
  if (!found) error = std::string("cannot find a free UDP port: ") + std::strerror(errno);
  port = ntohs(address.sin_port);
  return found;
}

bool startDriver(FlexGloveLink& link, const FlexGloveDriver& driver, std::string& error) {
  std::vector<std::string> arguments = {driver.program,  "serial", link.line.path, "--calibration",
                                        driver.calibration, "--osc-port", std::to_string(link.oscPort)};
  const pid_t parent = getpid();
  link.driver = fork();
  if (link.driver < 0) {
    error = std::string("cannot fork: ") + std::strerror(errno);
    return false;
  }
  if (link.driver == 0) {
    // The driver never outlives its player; its standard output is not the program's.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    setenv("SIGNGLOVE_GLOVE", driver.gloveName.c_str(), 1);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  return true;
}

// False, with the reason, once the driver has ended.
bool driverRunning(FlexGloveLink& link, std::string& error) {
  int status = 0;
  if (link.driver < 0 || waitpid(link.driver, &status, WNOHANG) != link.driver) return true;
  link.driver = -1;
  error = "the glove driver ended (" +
          (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                             : "signal " + std::to_string(WTERMSIG(status))) +
          ")";
  return false;
}

// The record the driver publishes now, read as the glove bridge says a reader must
// (twice, the same even sequence both times); false while there is none.
bool readPublished(const std::string& name, GloveRecord& record) {
  const int fd = shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  SharedGloveRecord first{}, second{};
  const bool read = pread(fd, &first, sizeof first, 0) == sizeof first &&
                    pread(fd, &second, sizeof second, 0) == sizeof second;
  close(fd);
  if (!read || first.magic != kGloveMagic || first.sequence % 2 != 0 || first.sequence != second.sequence)
    return false;
  record = gloveRecordOf(second);
  return true;
}

// The driver has published the record: its pose and buttons exactly, its bends as the
// chain reads them (exactly up to 148, within a step beyond, where the ADC's steps
// grow past half a bend).
bool samePublished(const GloveRecord& published, const GloveRecord& record) {
  const auto nearBend = [](uint8_t a, uint8_t b) { return std::abs(a - b) <= 1; };
  return published.x == record.x && published.y == record.y && published.z == record.z &&
         std::equal(published.orient, published.orient + 3, record.orient) &&
         std::equal(published.bend, published.bend + 5, record.bend, nearBend) &&
         std::equal(published.buttons, published.buttons + 4, record.buttons);
}

// Runs the board to the cycle; each sample that starts meanwhile takes the record's pose.
bool runBoard(FlexGloveLink& link, const GloveRecord& record, uint64_t cycle) {
  const bool running = avrBoardRunUntil(link.board.chip, cycle);
  for (; link.samplesSeen < link.board.samplesStarted; ++link.samplesSeen) {
    FlexGloveLink::Pose pose{{record.x, record.y, record.z}, {}};
    std::copy(record.orient, record.orient + 3, pose.angles);
    link.linePoses.push_back(pose);
  }
  return running;
}

// The board's bytes that have reached the line by now, on to the driver; as a line
// ends, its sample's pose goes first.
void passLines(FlexGloveLink& link) {
  for (BoardByte taken; avrBoardTakeByte(link.board.chip, taken);) {
    if (taken.byte == '\n' && !link.linePoses.empty()) {
      sendPose(link, link.linePoses.front());
      link.linePoses.pop_front();
    }
    // A full line means nobody reads it: the byte is lost, as on a wire.
    [[maybe_unused]] const ssize_t written = write(link.line.master, &taken.byte, 1);
  }
}

}  // namespace

FlexGloveLink::~FlexGloveLink() { flexGloveLinkStop(*this); }

bool flexGloveLinkStart(FlexGloveLink& link, const std::string& firmwarePath, const FlexGloveDriver& driver,
                        const GloveRecord& record, std::string& error) {
  if (!flexGloveBoardStart(link.board, firmwarePath, error) || !boardPtyOpen(link.line, error) ||
      !freeUdpPort(link.oscPort, error))
    return false;
  link.oscSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (link.oscSocket < 0) {
    error = std::string("cannot open a UDP socket: ") + std::strerror(errno);
    return false;
  }
  if (!startDriver(link, driver, error)) return false;
  flexGloveBoardSetHand(link.board, handOf(record));
  link.samplesSeen = link.board.samplesStarted;  // the firmware's set-up, not a sample
  const uint64_t bootCycle = avrBoardCycle(link.board.chip);
  const int64_t wallStart = wallMicros();
  for (int64_t elapsed = 0; elapsed < kDriverReadyMicros; elapsed = wallMicros() - wallStart) {
    if (!driverRunning(link, error)) return false;
    runBoard(link, record, bootCycle + static_cast<uint64_t>(elapsed) * kAvrCyclesPerMicro);
    passLines(link);
    GloveRecord published;
    if (readPublished(driver.gloveName, published) && samePublished(published, record)) {
      link.startCycle = avrBoardCycle(link.board.chip);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(kReadyPollMicros));
  }
  error = "the glove driver did not publish the glove within 5 s";
  flexGloveLinkStop(link);
  return false;
}

bool flexGloveLinkRunTo(FlexGloveLink& link, const GloveRecord& record, int64_t micros, std::string& error) {
  if (!driverRunning(link, error)) return false;
  // The hand as the record has it from now on; the board has run to the record before.
  const GloveHand hand = handOf(record);
  if (!(hand == link.board.hand) && !flexGloveBoardSetHandBetweenSamples(link.board, hand)) {
    error = "the glove's emulated chip stopped";
    return false;
  }
  if (!runBoard(link, record, link.startCycle + static_cast<uint64_t>(micros) * kAvrCyclesPerMicro)) {
    error = "the glove's emulated chip stopped";
    return false;
  }
  passLines(link);
  return true;
}

void flexGloveLinkStop(FlexGloveLink& link) {
  if (link.driver > 0) {
    kill(link.driver, SIGTERM);
    const int64_t deadline = wallMicros() + kDriverGraceMillis * 1000;
    while (waitpid(link.driver, nullptr, WNOHANG) == 0) {
      if (wallMicros() > deadline) {
        kill(link.driver, SIGKILL);
        waitpid(link.driver, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    link.driver = -1;
  }
  if (link.oscSocket >= 0) close(link.oscSocket);
  link.oscSocket = -1;
  boardPtyClose(link.line);
}
