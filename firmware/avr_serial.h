#pragma once

#include <cstdint>
#include <deque>

// The wire between a host and an emulated AVR's UART 0, byte by byte as a real line
// and a real chip pass them: every frame takes its bit times; the chip's receiver
// holds two whole bytes and one more in its shift register, and loses that one
// (data overrun) when the next start bit comes before the firmware made room; its
// transmitter frames are as long as its frame format says (start, data, parity when
// set, stop bits).

struct avr_t;
struct avr_uart_t;

// A byte the firmware sent: its frame starts at startCycle; whole at atCycle.
struct BoardByte {
  uint64_t atCycle;
  uint8_t byte;
  uint64_t startCycle = 0;
};

struct AvrSerial {
  avr_uart_t* uart = nullptr;
  uint32_t hostBaud = 9600;  // the host's side of the line, 8N1

  // Host to chip.
  struct HostByte {
    uint8_t byte;
    bool framingError;  // its stop bit was missing
  };
  std::deque<HostByte> toChip;     // not yet on the wire
  bool frameOnWire = false;        // a frame is arriving
  HostByte arriving{};
  uint64_t arrivingEndCycle = 0;
  bool shiftRegisterFull = false;  // a whole byte waits for room in the receive buffer
  HostByte waiting{};
  int64_t overruns = 0;            // bytes the chip lost
  uint64_t deliveredCycle = 0;     // the latest byte entered the receive buffer then
  int64_t delivered = 0;

  // Chip to host.
  std::deque<BoardByte> toHost;    // in the order of their frames
  uint64_t lineFreeCycle = 0;      // the transmitter's line is busy until then

  // The emulator's own write handlers of the registers that set the frame, wrapped.
  struct FrameRegisterWrite {
    uint16_t address = 0;
    void (*write)(avr_t*, uint16_t, uint8_t, void*) = nullptr;
    void* param = nullptr;
  };
  FrameRegisterWrite frameRegisters[4];
};

// Wires the line to the chip's UART 0. Returns false when the chip has none.
bool avrSerialAttach(AvrSerial& serial, avr_t* avr);

// The host puts a byte on the line; its frame starts as soon as the line is free.
void avrSerialSend(AvrSerial& serial, avr_t* avr, uint8_t byte, bool framingError = false);

// Moves the line on to the chip's present cycle: called after every instruction.
void avrSerialStep(AvrSerial& serial, avr_t* avr);

// Whole bytes the chip's receive buffer holds now (0 to 2).
int avrSerialBuffered(const AvrSerial& serial);
