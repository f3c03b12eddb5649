/* Text going out on the serial line while the chip works or sleeps: the transmitter
 * takes each next byte in its interrupt. The UART is set up by serialInit. */
#ifndef SIGNGLOVE_FIRMWARE_LINE_SENDER_H
#define SIGNGLOVE_FIRMWARE_LINE_SENDER_H

#include <stdint.h>

/* Starts sending length bytes of text; they must stay as they are until lineSending()
 * is 0. Interrupts must be on. */
void lineSend(const char* text, uint8_t length);

/* 1 while bytes of the latest line have still to go into the transmitter. */
uint8_t lineSending(void);

#endif
