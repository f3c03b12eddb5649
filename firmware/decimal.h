/* Numbers as text, without printf. */
#ifndef SIGNGLOVE_FIRMWARE_DECIMAL_H
#define SIGNGLOVE_FIRMWARE_DECIMAL_H

#include <stdint.h>

/* The most digits formatDecimal writes. */
#define DECIMAL_DIGITS_MAX 10

/* Writes value in decimal, without leading zeros or a terminating NUL, at text;
 * returns how many characters it wrote (1 to DECIMAL_DIGITS_MAX). */
uint8_t formatDecimal(char* text, uint32_t value);

#endif
