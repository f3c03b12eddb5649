#include "serial_line.h"

#include <avr/io.h>

#define BAUD 9600
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
}

int16_t serialReceive(void) {
  while (!(UCSR0A & _BV(RXC0))) {
  }
  const uint8_t damaged = UCSR0A & _BV(FE0);  // valid only before UDR0 is read
  const uint8_t byte = UDR0;
  return damaged ? -1 : byte;
}

void serialSend(uint8_t byte) {
  while (!(UCSR0A & _BV(UDRE0))) {
  }
  UDR0 = byte;
}
