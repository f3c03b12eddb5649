#include "serial_line.h"

#include <avr/io.h>
#include <avr/wdt.h>

/* 115200 from 16 MHz is 117647 at best (U2X, UBRR 16), 2.1% fast, which a receiving
 * UART (and every USB serial adapter) takes; setbaud's own tolerance is 2%. */
#define BAUD SERIAL_BAUD
#define BAUD_TOL 3
#include <util/setbaud.h>

void serialInit(void) {
  UBRR0H = UBRRH_VALUE;
  UBRR0L = UBRRL_VALUE;
#if USE_2X
  UCSR0A = _BV(U2X0);
#else
  UCSR0A = 0;
#endif
  UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);  // 8N1
  UCSR0B = _BV(RXEN0) | _BV(TXEN0);
  PORTD |= _BV(PORTD0);  // the receive line idles high with nothing connected
}

int16_t serialReceive(void) {
  while (!(UCSR0A & _BV(RXC0))) wdt_reset();
  /* The error flags belong to the byte at the head of the buffer, so they are read
   * first; reading the byte clears them. After an overrun (DOR0) the byte itself is
   * whole: some later one was lost, and the host will ask again. */
  const uint8_t status = UCSR0A;
  const uint8_t byte = UDR0;
  return (status & _BV(FE0)) ? -1 : byte;
}

void serialSend(uint8_t byte) {
  // No watchdog here: a transmitter that never empties is a fault the watchdog ends.
  while (!(UCSR0A & _BV(UDRE0))) {
  }
  UDR0 = byte;
}
