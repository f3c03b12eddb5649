#include "firmware/board.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern "C" {
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_io.h>
}

#include "firmware/pad_pins.h"

namespace {

constexpr const char* kBoardChip = "atmega328p";

// ATmega328P data-space addresses: each port's PIN, DDR and PORT registers follow one
// another from these, and the UART's status and baud registers.
constexpr uint16_t kPinBAddress = 0x23;
constexpr uint16_t kRegistersPerPort = 3;
constexpr uint16_t kUcsr0aAddress = 0xC0;
constexpr uint8_t kU2x0Bit = 1u << 1;
constexpr uint16_t kUbrr0lAddress = 0xC4;
constexpr uint16_t kUbrr0hAddress = 0xC5;
constexpr int kFrameBits = 10;  // 8N1: start, eight data bits, stop

constexpr int kPadsPerHand = PADS_PER_HAND;

uint16_t pinAddress(char port) { return static_cast<uint16_t>(kPinBAddress + kRegistersPerPort * (port - 'B')); }

int64_t wallNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The group a pad belongs to: the touching group that holds it, or the pad alone.
ContactMask nodeOf(const Board& board, ContactMask pad) {
  for (ContactMask group : board.touching)
    if (group & pad) return group;
  return pad;
}

// Which pads read high, from every pad pin's direction and output register: a pad
// driven low, or shorted to ground, pulls its whole group low; otherwise a pad driven
// high or pulled up holds it high. A group with neither floats, and reads low, so
// that firmware that forgets its pull-ups is caught.
ContactMask padsReadingHigh(const Board& board) {
  ContactMask drivenLow = board.grounded;
  ContactMask drivenHigh = 0;
  ContactMask pulledUp = 0;
  ContactMask outputs = 0;
  for (int index = 0; index < 2 * kPadsPerHand; ++index) {
    const ContactMask pad = kPadLabels[index].bit;
    const PadPin pin = padPin(pad);
    const uint16_t base = pinAddress(pin.port);
    const bool output = board.avr->data[base + 1] & (1u << pin.bit);
    const bool high = board.avr->data[base + 2] & (1u << pin.bit);
    if (output) {
      outputs |= pad;
      (high ? drivenHigh : drivenLow) |= pad;
    } else if (high) {
      pulledUp |= pad;
    }
  }
  ContactMask reading = 0;
  for (const PadLabel& label : kPadLabels) {
    const ContactMask node = nodeOf(board, label.bit);
    const bool high = (outputs & label.bit) ? (drivenHigh & label.bit) != 0
                                            : !(node & drivenLow) && (node & (drivenHigh | pulledUp));
    if (high) reading |= label.bit;
  }
  return reading;
}

// Reading a pad port's PIN register: the emulator's own read for everything else on
// the port, the wiring's levels for the pad pins. The emulator would raise pulled-up
// inputs high again on every port write, so the levels are settled here, at the read.
uint8_t readPadPins(avr_t* avr, avr_io_addr_t address, void* param) {
  Board& board = *static_cast<Board*>(param);
  uint8_t value = avr->data[address];
  for (const Board::PinRead& original : board.pinReads)
    if (original.address == address && original.read) value = original.read(avr, address, original.param);
  if (!board.padsReadSinceByte) {
    board.padsReadSinceByte = true;
    board.firstPadReadCycle = avr->cycle;
  }
  const ContactMask high = padsReadingHigh(board);
  for (const PadLabel& label : kPadLabels) {
    const PadPin pin = padPin(label.bit);
    if (pinAddress(pin.port) != address) continue;
    const uint8_t bit = static_cast<uint8_t>(1u << pin.bit);
    value = (high & label.bit) ? static_cast<uint8_t>(value | bit) : static_cast<uint8_t>(value & ~bit);
  }
  return value;
}

uint64_t cyclesPerBit(const avr_t* avr) {
  const uint32_t divisor = (avr->data[kUcsr0aAddress] & kU2x0Bit) ? 8 : 16;
  const uint32_t ubrr = (static_cast<uint32_t>(avr->data[kUbrr0hAddress] & 0x0F) << 8) | avr->data[kUbrr0lAddress];
  return static_cast<uint64_t>(divisor) * (ubrr + 1);
}

// The UART starts a byte's frame: the host has the byte once the frame has ended.
void onUartOutput(avr_irq_t*, uint32_t value, void* param) {
  Board& board = *static_cast<Board*>(param);
  const uint64_t start = std::max<uint64_t>(board.avr->cycle, board.lineFreeCycle);
  board.lineFreeCycle = start + kFrameBits * cyclesPerBit(board.avr);
  board.fromFirmware.push_back({board.lineFreeCycle, static_cast<uint8_t>(value)});
}

void feedFirmware(Board& board) {
  avr_irq_t* input = avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
  while (board.receiverReady && !board.toFirmware.empty()) {
    const uint8_t byte = board.toFirmware.front();
    board.toFirmware.pop_front();
    board.byteFedCycle = board.avr->cycle;
    board.padsReadSinceByte = false;
    avr_raise_irq(input, byte);  // may report XOFF at once
  }
}

void onUartXon(avr_irq_t*, uint32_t, void* param) {
  Board& board = *static_cast<Board*>(param);
  board.receiverReady = true;
  feedFirmware(board);
}

void onUartXoff(avr_irq_t*, uint32_t, void* param) { static_cast<Board*>(param)->receiverReady = false; }

// The emulator's messages: its errors go to standard error, its chatter (what it
// loaded, and so on) nowhere, since standard output may carry a program's console.
void logEmulatorErrors(avr_t*, const int level, const char* format, va_list arguments) {
  if (level > LOG_ERROR) return;
  std::fputs("simavr: ", stderr);
  std::vfprintf(stderr, format, arguments);
}

void wrapPinRead(Board& board, Board::PinRead& slot, char port) {
  const uint16_t address = pinAddress(port);
  auto& io = board.avr->io[AVR_DATA_TO_IO(address)];
  slot = {address, io.r.c, io.r.param};
  io.r.c = readPadPins;
  io.r.param = &board;
}

}  // namespace

Board::~Board() {
  if (avr) {
    avr_terminate(avr);
    std::free(avr);
  }
  for (uint32_t index = 0; index < symbolCount; ++index) std::free(symbols[index]);
  std::free(symbols);
}

bool boardLoad(Board& board, const std::string& elfPath, std::string& error) {
  // The library's idea of the firmware record may be larger than its header says,
  // depending on how it was built; leave it room.
  avr_global_logger_set(logEmulatorErrors);
  union {
    elf_firmware_t firmware;
    unsigned char room[2 * sizeof(elf_firmware_t)];
  } image;
  std::memset(&image, 0, sizeof image);
  if (elf_read_firmware(elfPath.c_str(), &image.firmware) != 0) {
    error = "cannot read the firmware " + elfPath;
    return false;
  }
  std::strncpy(image.firmware.mmcu, kBoardChip, sizeof image.firmware.mmcu - 1);
  image.firmware.frequency = kBoardClockHz;

  board.avr = avr_make_mcu_by_name(kBoardChip);
  if (!board.avr) {
    error = std::string("the emulator does not know the ") + kBoardChip;
    std::free(image.firmware.flash);
    std::free(image.firmware.eeprom);
    return false;
  }
  avr_init(board.avr);
  board.avr->log = LOG_ERROR;
  avr_load_firmware(board.avr, &image.firmware);
  std::free(image.firmware.flash);
  std::free(image.firmware.eeprom);
  board.symbols = reinterpret_cast<void**>(image.firmware.symbol);
  board.symbolCount = image.firmware.symbolcount;

  // The UART would otherwise echo the firmware's output on our standard output and
  // sleep on every status read while the firmware waits for a byte.
  uint32_t flags = 0;
  avr_ioctl(board.avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
  flags &= ~static_cast<uint32_t>(AVR_UART_FLAG_STDIO | AVR_UART_FLAG_POLL_SLEEP);
  avr_ioctl(board.avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
  avr_irq_register_notify(avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT), onUartOutput,
                          &board);
  avr_irq_register_notify(avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON), onUartXon,
                          &board);
  avr_irq_register_notify(avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF), onUartXoff,
                          &board);

  wrapPinRead(board, board.pinReads[0], RIGHT_PADS_PORT_LETTER);
  wrapPinRead(board, board.pinReads[1], LEFT_PADS_PORT_LETTER);
  return true;
}

void boardSetTouching(Board& board, const std::vector<ContactMask>& groups) {
  board.touching.clear();
  for (ContactMask group : groups) {
    std::vector<ContactMask> apart;
    for (ContactMask existing : board.touching) {
      if (existing & group)
        group |= existing;
      else
        apart.push_back(existing);
    }
    apart.push_back(group);
    board.touching = std::move(apart);
  }
}

void boardSendByte(Board& board, uint8_t byte) {
  board.toFirmware.push_back(byte);
  feedFirmware(board);
}

bool boardRunUntil(Board& board, uint64_t cycle) {
  while (board.avr->cycle < cycle) {
    const int state = avr_run(board.avr);
    if (state == cpu_Done || state == cpu_Crashed) return false;
  }
  return true;
}

bool boardRunFor(Board& board, int64_t micros) {
  return boardRunUntil(board, board.avr->cycle + static_cast<uint64_t>(micros) * (kBoardClockHz / 1000000));
}

bool boardTakeByte(Board& board, BoardByte& byte) {
  if (board.fromFirmware.empty() || board.fromFirmware.front().atCycle > board.avr->cycle) return false;
  byte = board.fromFirmware.front();
  board.fromFirmware.pop_front();
  return true;
}

uint64_t boardCycle(const Board& board) { return board.avr->cycle; }

int64_t boardMicros(const Board& board) {
  return static_cast<int64_t>(board.avr->cycle / (kBoardClockHz / 1000000));
}

void boardStartPace(Board& board) {
  board.paceWallStartNanos = wallNanos();
  board.paceStartCycle = board.avr->cycle;
}

void boardKeepPace(Board& board) {
  const int64_t emulatedNanos =
      static_cast<int64_t>((board.avr->cycle - board.paceStartCycle) * 1000 / (kBoardClockHz / 1000000));
  const int64_t lead = emulatedNanos - (wallNanos() - board.paceWallStartNanos);
  if (lead > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(lead));
}

ContactMask padMaskByName(const std::string& name) {
  for (const PadLabel& label : kPadLabels) {
    const std::string labelName(label.label);
    if (labelName.substr(0, labelName.size() - 1) == name) return label.bit;
  }
  return 0;
}

PadPin padPin(ContactMask pad) {
  static constexpr ContactMask kInPinOrder[] = PADS_IN_PIN_ORDER;
  for (int index = 0; index < kPadsPerHand; ++index) {
    if (pad == kInPinOrder[index]) return {RIGHT_PADS_PORT_LETTER, RIGHT_PADS_FIRST_PIN + index};
    if (pad == kInPinOrder[kPadsPerHand + index]) return {LEFT_PADS_PORT_LETTER, LEFT_PADS_FIRST_PIN + index};
  }
  return {'?', -1};
}
