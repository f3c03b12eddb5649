#include "firmware/board.h"

extern "C" {
#include <avr_ioport.h>
#include <sim_avr.h>
#include <sim_io.h>
#include <sim_irq.h>
}

namespace {

// ATmega328P data-space addresses: each port's PIN, DDR and PORT registers follow one
// another from these; the pull-up disable bit of MCUCR.
constexpr uint16_t kPinBAddress = 0x23;
constexpr uint16_t kRegistersPerPort = 3;
constexpr uint16_t kMcucrAddress = 0x55;
constexpr uint8_t kPullUpDisableBit = 1u << 4;
constexpr int kLookAtPinsEverySteps = 1024;  // instructions, without a write to the pins' registers

constexpr int kPadsPerHand = PADS_PER_HAND;
constexpr char kHandPorts[2] = {RIGHT_PADS_PORT_LETTER, LEFT_PADS_PORT_LETTER};
constexpr int kHandFirstPins[2] = {RIGHT_PADS_FIRST_PIN, LEFT_PADS_FIRST_PIN};
constexpr uint8_t kHandPins[2] = {HAND_PINS_MASK(RIGHT_PADS_FIRST_PIN), HAND_PINS_MASK(LEFT_PADS_FIRST_PIN)};

uint16_t pinAddress(char port) { return static_cast<uint16_t>(kPinBAddress + kRegistersPerPort * (port - 'B')); }

// A pad in pin order: its hand's port (0 right, 1 left) and its bit there.
int handOf(int pad) { return pad / kPadsPerHand; }
int bitOf(int pad) { return kHandFirstPins[handOf(pad)] + pad % kPadsPerHand; }

// Hands the circuit's levels to the chip through its pin lines, where the PIN
// register does not hold them already (the chip's own port writes set its output
// pins' lines to their output levels). Inputs also default to them, so that a port
// write never flashes a pulled-up level onto a pad held low.
void deliverLevels(Board& board, bool setDefaults = false) {
  avr_t* avr = board.chip.avr;
  board.pads.levelsChanged = false;
  uint8_t levels[2] = {};
  for (int pad = 0; pad < kPadNodes; ++pad) {
    const int hand = handOf(pad);
    const uint8_t bit = static_cast<uint8_t>(1u << bitOf(pad));
    if (board.pads.levels[pad]) levels[hand] |= bit;
    const bool reads = avr->data[pinAddress(kHandPorts[hand])] & bit;
    if (reads != board.pads.levels[pad]) avr_raise_irq(board.pinLines[pad], board.pads.levels[pad]);
  }
  for (int hand = 0; hand < 2; ++hand) {
    if (levels[hand] == board.externalLevels[hand] && !setDefaults) continue;
    board.externalLevels[hand] = levels[hand];
    avr_ioport_external_t external{};
    external.name = static_cast<unsigned>(kHandPorts[hand]) & 0x7F;
    external.mask = kHandPins[hand];
    external.value = levels[hand];
    avr_ioctl(avr, AVR_IOCTL_IOPORT_SET_EXTERNAL(kHandPorts[hand]), &external);
  }
}

// After every instruction: the circuit moves on to the chip's clock, takes up any
// change the firmware made to its pad pins, and hands the pins' levels back.
void followPads(void* wiring) {
  Board& board = *static_cast<Board*>(wiring);
  avr_t* avr = board.chip.avr;
  if (!board.pinRegistersWritten && padModelStill(board.pads) && ++board.stepsSinceLook < kLookAtPinsEverySteps) {
    board.pads.cycle = avr->cycle;
    return;
  }
  const bool written = board.pinRegistersWritten;
  board.pinRegistersWritten = false;
  board.stepsSinceLook = 0;
  uint8_t directions[2];
  uint8_t outputs[2];
  for (int hand = 0; hand < 2; ++hand) {
    const uint16_t base = pinAddress(kHandPorts[hand]);
    directions[hand] = avr->data[base + 1] & kHandPins[hand];
    outputs[hand] = avr->data[base + 2] & kHandPins[hand];
  }
  const bool pullUpsOff = avr->data[kMcucrAddress] & kPullUpDisableBit;
  const bool changed = directions[0] != board.directions[0] || directions[1] != board.directions[1] ||
                       outputs[0] != board.outputs[0] || outputs[1] != board.outputs[1] ||
                       pullUpsOff != board.pullUpsOff;
  padModelAdvance(board.pads, avr->cycle);
  if (changed) {
    for (int hand = 0; hand < 2; ++hand) {
      board.directions[hand] = directions[hand];
      board.outputs[hand] = outputs[hand];
    }
    board.pullUpsOff = pullUpsOff;
    PinDrive drives[kPadNodes];
    for (int pad = 0; pad < kPadNodes; ++pad) {
      const uint8_t bit = static_cast<uint8_t>(1u << bitOf(pad));
      const bool output = directions[handOf(pad)] & bit;
      const bool high = outputs[handOf(pad)] & bit;
      drives[pad] = output ? (high ? PinDrive::kHigh : PinDrive::kLow)
                           : (high && !pullUpsOff ? PinDrive::kPulledUp : PinDrive::kFloating);
    }
    padModelDrive(board.pads, drives);
  }
  // A port write has the chip set its pin lines again, even one that changes nothing.
  if (written || changed || board.pads.levelsChanged) deliverLevels(board);
}

// Reading a pad port's PIN register gives its pins' levels, as the pin lines set them,
// outputs included: the real chip reads every pin back through its input buffer, where
// simavr would give an output's PORT bit. The emulator's own read still runs, for its
// side effects (watchpoints, the port's PIN line).
uint8_t readPadPort(avr_t* avr, avr_io_addr_t address, void* param) {
  Board& board = *static_cast<Board*>(param);
  const uint8_t levels = avr->data[address];
  for (const Board::PinRead& original : board.pinReads)
    if (original.address == address && original.read) original.read(avr, address, original.param);
  avr->data[address] = levels;
  if (board.firstPadReadForByte != board.chip.serial.delivered) {
    board.firstPadReadForByte = board.chip.serial.delivered;
    board.firstPadReadCycle = avr->cycle;
  }
  return levels;
}

void onPinRegisterWritten(avr_irq_t*, uint32_t, void* param) { static_cast<Board*>(param)->pinRegistersWritten = true; }

void wrapPinRead(Board& board, Board::PinRead& slot, char port) {
  const uint16_t address = pinAddress(port);
  auto& io = board.chip.avr->io[AVR_DATA_TO_IO(address)];
  slot = {address, io.r.c, io.r.param};
  io.r.c = readPadPort;
  io.r.param = &board;
}

}  // namespace

bool boardLoad(Board& board, const std::string& elfPath, std::string& error, const PadCircuit& circuit) {
  if (!avrBoardLoad(board.chip, elfPath, error)) return false;
  avr_t* avr = board.chip.avr;
  for (int pad = 0; pad < kPadNodes; ++pad) {
    // Every raise reaches the PIN register, even of a level the line had already.
    avr_irq_t* line = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ(kHandPorts[handOf(pad)]), bitOf(pad));
    line->flags &= static_cast<uint8_t>(~IRQ_FLAG_FILTERED);
    board.pinLines[pad] = line;
  }
  for (int hand = 0; hand < 2; ++hand) {
    const uint16_t base = pinAddress(kHandPorts[hand]);
    for (uint16_t address : {static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2)})
      avr_irq_register_notify(avr_iomem_getirq(avr, address, nullptr, AVR_IOMEM_IRQ_ALL), onPinRegisterWritten, &board);
  }
  avr_irq_register_notify(avr_iomem_getirq(avr, kMcucrAddress, nullptr, AVR_IOMEM_IRQ_ALL), onPinRegisterWritten,
                          &board);
  wrapPinRead(board, board.pinReads[0], kHandPorts[0]);
  wrapPinRead(board, board.pinReads[1], kHandPorts[1]);
  board.pads.circuit = circuit;
  padModelStart(board.pads, kAvrClockHz);
  board.chip.followPins = followPads;
  board.chip.wiring = &board;
  deliverLevels(board, true);
  return true;
}

bool boardStart(Board& board, const std::string& elfPath, std::string& error, const PadCircuit& circuit) {
  return boardLoad(board, elfPath, error, circuit) && avrBoardSetUp(board.chip, error);
}

void boardSetTouching(Board& board, const std::vector<ContactMask>& groups) {
  std::vector<ContactMask> touching;
  for (ContactMask group : groups) {
    std::vector<ContactMask> apart;
    for (ContactMask existing : touching) {
      if (existing & group)
        group |= existing;
      else
        apart.push_back(existing);
    }
    apart.push_back(group);
    touching = std::move(apart);
  }
  padModelAdvance(board.pads, avrBoardCycle(board.chip));
  board.pads.touching = std::move(touching);
  padModelRewire(board.pads);
  deliverLevels(board);
}

void boardSetCircuit(Board& board, const PadCircuit& circuit) {
  padModelAdvance(board.pads, avrBoardCycle(board.chip));
  board.pads.circuit = circuit;
  padModelRewire(board.pads);
  deliverLevels(board);
}

ContactMask padMaskByName(const std::string& name) {
  for (const PadLabel& label : kPadLabels) {
    const std::string labelName(label.label);
    if (labelName.substr(0, labelName.size() - 1) == name) return label.bit;
  }
  return 0;
}

PadPin padPin(ContactMask pad) {
  for (int index = 0; index < kPadNodes; ++index)
    if (kPadsInPinOrder[index] == pad) return {kHandPorts[handOf(index)], bitOf(index)};
  return {'?', -1};
}
