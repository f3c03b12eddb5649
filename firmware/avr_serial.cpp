#include "firmware/avr_serial.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>

extern "C" {
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_interrupts.h>
#include <sim_io.h>
#include <sim_regbit.h>
}

namespace {

constexpr int kHostFrameBits = 10;  // 8N1: start, eight data bits, stop
constexpr int kReceiveBufferBytes = 2;
constexpr uint8_t kParityModeBits = 0x30;  // UPMn1:0 in UCSRnC

// The chip's frame, in cycles: simavr counts a parity bit in every frame; the real
// UART sends one only when UPMn asks for it.
uint64_t chipFrameCycles(avr_t* avr, const avr_uart_t* uart) {
  const uint32_t ubrr = avr_regbit_get(avr, uart->ubrrl) | (avr_regbit_get(avr, uart->ubrrh) << 8);
  const uint64_t cyclesPerBit = (ubrr + 1) * (avr_regbit_get(avr, uart->u2x) ? 8u : 16u);
  static constexpr int kDataBits[] = {5, 6, 7, 8, 8, 8, 8, 9};
  const int data = kDataBits[avr_regbit_get(avr, uart->ucsz) | (avr_regbit_get(avr, uart->ucsz2) << 2)];
  const int parity = (avr->data[uart->r_ucsrc] & kParityModeBits) ? 1 : 0;
  const int stop = 1 + avr_regbit_get(avr, uart->usbs);
  return cyclesPerBit * static_cast<uint64_t>(1 + data + parity + stop);
}

// A write to a register that sets the frame: the emulator's own handler, then its
// transmit pump set to the real frame's length.
void onFrameRegisterWrite(avr_t* avr, avr_io_addr_t address, uint8_t value, void* param) {
  AvrSerial& serial = *static_cast<AvrSerial*>(param);
  for (const AvrSerial::FrameRegisterWrite& hook : serial.frameRegisters)
    if (hook.address == address && hook.write) hook.write(avr, address, value, hook.param);
  serial.uart->cycles_per_byte = chipFrameCycles(avr, serial.uart);
}

void onChipOutput(avr_irq_t*, uint32_t value, void* param) {
  AvrSerial& serial = *static_cast<AvrSerial*>(param);
  avr_t* avr = serial.uart->io.avr;
  const uint64_t start = std::max<uint64_t>(avr->cycle, serial.lineFreeCycle);
  serial.lineFreeCycle = start + chipFrameCycles(avr, serial.uart);
  serial.toHost.push_back({serial.lineFreeCycle, static_cast<uint8_t>(value), start});
}

uint64_t hostFrameCycles(const AvrSerial& serial, const avr_t* avr) {
  return (kHostFrameBits * static_cast<uint64_t>(avr->frequency) + serial.hostBaud / 2) / serial.hostBaud;
}

// A whole byte enters the receive buffer.
void deliver(AvrSerial& serial, avr_t* avr, const AvrSerial::HostByte& byte) {
  avr_uart_t* uart = serial.uart;
  if (!avr_regbit_get(avr, uart->rxen)) return;  // a receiver that is off hears nothing
  avr_raise_irq(uart->io.irq + UART_IRQ_INPUT, byte.byte | (byte.framingError ? UART_INPUT_FE : 0));
  // simavr would raise RXC a whole frame after a byte enters an empty buffer, and
  // slow down reads it finds too quick; the real receiver has the byte at its stop bit.
  avr_raise_interrupt(avr, &uart->rxc);
  uart->rxc_raise_time = avr->cycle;
  uart->rx_cnt = 0;
  serial.deliveredCycle = avr->cycle;
  ++serial.delivered;
}

// A start bit: when the buffer is full and a byte waits in the shift register, that
// byte is lost.
void startFrame(AvrSerial& serial, avr_t* avr, uint64_t cycle) {
  if (serial.shiftRegisterFull) {
    serial.shiftRegisterFull = false;
    ++serial.overruns;
    avr_regbit_setto(avr, serial.uart->dor, 1);  // cleared by the next read of UDRn
  }
  serial.arriving = serial.toChip.front();
  serial.toChip.pop_front();
  serial.arrivingEndCycle = cycle + hostFrameCycles(serial, avr);
  serial.frameOnWire = true;
}

}  // namespace

bool avrSerialAttach(AvrSerial& serial, avr_t* avr) {
  for (avr_io_t* io = avr->io_port; io; io = io->next) {
    if (std::strcmp(io->kind, "uart") == 0 && reinterpret_cast<avr_uart_t*>(io)->name == '0')
      serial.uart = reinterpret_cast<avr_uart_t*>(io);
  }
  if (!serial.uart) return false;
  // The UART would otherwise echo the firmware's output on our standard output and
  // sleep on every status read while the firmware waits for a byte.
  serial.uart->flags &= ~static_cast<uint32_t>(AVR_UART_FLAG_STDIO | AVR_UART_FLAG_POLL_SLEEP);
  avr_irq_register_notify(serial.uart->io.irq + UART_IRQ_OUTPUT, onChipOutput, &serial);

  const avr_io_addr_t addresses[] = {serial.uart->r_ucsra, serial.uart->r_ucsrc,
                                     static_cast<avr_io_addr_t>(serial.uart->ubrrl.reg),
                                     static_cast<avr_io_addr_t>(serial.uart->ubrrh.reg)};
  static_assert(std::size(addresses) == std::extent_v<decltype(AvrSerial::frameRegisters)>);
  for (size_t index = 0; index < std::size(addresses); ++index) {
    auto& io = avr->io[AVR_DATA_TO_IO(addresses[index])];
    serial.frameRegisters[index] = {addresses[index], io.w.c, io.w.param};
    io.w.c = onFrameRegisterWrite;
    io.w.param = &serial;
  }
  return true;
}

void avrSerialSend(AvrSerial& serial, avr_t* avr, uint8_t byte, bool framingError) {
  serial.toChip.push_back({byte, framingError});
  if (!serial.frameOnWire) startFrame(serial, avr, avr->cycle);
}

void avrSerialStep(AvrSerial& serial, avr_t* avr) {
  if (!serial.frameOnWire && !serial.shiftRegisterFull) return;
  while (true) {
    if (serial.shiftRegisterFull && avrSerialBuffered(serial) < kReceiveBufferBytes) {
      deliver(serial, avr, serial.waiting);
      serial.shiftRegisterFull = false;
    }
    if (!serial.frameOnWire || serial.arrivingEndCycle > avr->cycle) return;
    serial.frameOnWire = false;
    serial.waiting = serial.arriving;
    serial.shiftRegisterFull = true;
    if (avrSerialBuffered(serial) < kReceiveBufferBytes) {
      deliver(serial, avr, serial.waiting);
      serial.shiftRegisterFull = false;
    }
    if (!serial.toChip.empty()) startFrame(serial, avr, serial.arrivingEndCycle);
  }
}

int avrSerialBuffered(const AvrSerial& serial) {
  const uart_fifo_t& input = serial.uart->input;
  return ((input.write + uart_fifo_fifo_size) - input.read) & (uart_fifo_fifo_size - 1);
}
