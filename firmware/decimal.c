#include "decimal.h"

/* Digit by digit from the top, by subtraction: the chip has no divider, and a 32-bit
 * division by 10 costs some 600 cycles a digit where this costs at most a few dozen. */
static const uint32_t kPowersOfTen[DECIMAL_DIGITS_MAX] = {
    1000000000UL, 100000000UL, 10000000UL, 1000000UL, 100000UL, 10000UL, 1000UL, 100UL, 10UL, 1UL};

uint8_t formatDecimal(char* text, uint32_t value) {
  uint8_t written = 0;
  for (uint8_t place = 0; place < DECIMAL_DIGITS_MAX; ++place) {
    const uint32_t power = kPowersOfTen[place];
    char digit = '0';
    while (value >= power) {
      value -= power;
      ++digit;
    }
    if (digit != '0' || written > 0 || power == 1) text[written++] = digit;
  }
  return written;
}
