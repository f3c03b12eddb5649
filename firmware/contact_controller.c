/* The contact-pad controller: an ATmega328P at 16 MHz (an Arduino Uno or Nano) that
 * answers each request byte 0x53 on its serial line with the groups of pads that
 * touch each other. Every other byte is ignored.
 *
 * The reply is a run of 16-bit words, each high byte first: the header 0x0040, one
 * mask per group in ascending order, the terminator 0x4000 and the sum of the masks.
 * Masks are disjoint and use bits 0x3F3F only, so the sum never exceeds 16 bits.
 */
#include <avr/io.h>
#include <avr/wdt.h>
#include <stdint.h>

#include "pad_scan.h"
#include "serial_line.h"

#define REQUEST_BYTE 0x53
#define HEADER_WORD 0x0040
#define TERMINATOR_WORD 0x4000

/* Port B carries nothing (PB6 and PB7 hold the crystal): inputs with their pull-ups,
 * so that none floats, drawing current and catching noise. */
#define UNUSED_PORTB_PINS 0x3F

static void sendWord(uint16_t word) {
  serialSend((uint8_t)(word >> 8));
  serialSend((uint8_t)word);
}

int main(void) {
  /* The reset cause goes first: a watchdog reset leaves WDRF set, and while it is set
   * the watchdog cannot be set up. The longest reply (scans and 18 bytes) takes about
   * 20 ms, well inside the watchdog's time. */
  MCUSR = 0;
  wdt_enable(WDTO_250MS);
  DDRB = 0;
  PORTB = UNUSED_PORTB_PINS;
  padsInit();
  serialInit();
  for (;;) {
    wdt_reset();
    if (serialReceive() != REQUEST_BYTE) continue;
    uint16_t groups[MAX_PAD_GROUPS];
    const uint8_t count = scanPadGroups(groups);
    uint16_t sum = 0;
    sendWord(HEADER_WORD);
    for (uint8_t index = 0; index < count; ++index) {
      sendWord(groups[index]);
      sum = (uint16_t)(sum + groups[index]);
    }
    sendWord(TERMINATOR_WORD);
    sendWord(sum);
  }
}
