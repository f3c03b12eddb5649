/* The serial line to the host: SERIAL_BAUD (by default 9600) baud, 8 data bits, no
 * parity, one stop bit. */
#ifndef SIGNGLOVE_FIRMWARE_SERIAL_LINE_H
#define SIGNGLOVE_FIRMWARE_SERIAL_LINE_H

#include <stdint.h>

/* The firmware's own speed: -DSERIAL_BAUD=N. */
#ifndef SERIAL_BAUD
#define SERIAL_BAUD 9600
#endif

/* Sets the UART up for the line. */
void serialInit(void);

/* Waits for the next byte, keeping the watchdog fed while the line is quiet; returns
 * it, or -1 when it arrived with a framing error. */
int16_t serialReceive(void);

/* Sends one byte, waiting while the transmitter is busy. */
void serialSend(uint8_t byte);

#endif
