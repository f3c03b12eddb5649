#include "line_sender.h"

#include <avr/interrupt.h>
#include <avr/io.h>

static const char* volatile sendingText;
static volatile uint8_t bytesLeft;

ISR(USART_UDRE_vect) {
  if (bytesLeft == 0) {
    UCSR0B &= (uint8_t)~_BV(UDRIE0); /* nothing more: quiet until the next line */
    return;
  }
  UDR0 = (uint8_t)*sendingText;
  sendingText = sendingText + 1;
  --bytesLeft;
}

void lineSend(const char* text, uint8_t length) {
  if (length == 0) return;
  sendingText = text;
  bytesLeft = length;
  UCSR0B |= _BV(UDRIE0); /* the interrupt comes at once while the transmitter has room */
}

uint8_t lineSending(void) { return bytesLeft != 0; }
