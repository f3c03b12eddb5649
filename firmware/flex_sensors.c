#include "flex_sensors.h"

#include <avr/io.h>

#include "glove_pins.h"

/* The ADC's clock: 16 MHz / 128 = 125 kHz, within the 50 to 200 kHz it needs for its
 * full 10 bits. A conversion takes 13 of its cycles. */
#define ADC_PRESCALER_BITS (_BV(ADPS2) | _BV(ADPS1) | _BV(ADPS0))

uint16_t readFlexChannel(uint8_t channel) {
  /* The sample-and-hold capacitor (14 pF) charges through at most 32 kOhm (the sensor
   * and the fixed resistor side by side) in the 12 us it samples: some 26 time
   * constants, so the channel before leaves nothing behind. */
  ADMUX = (uint8_t)(_BV(REFS0) | (channel & 0x0F));
  ADCSRA |= _BV(ADSC);
  while (ADCSRA & _BV(ADSC)) {
  }
  return ADC;
}

void flexSensorsInit(void) {
  DIDR0 = GLOVE_FLEX_PINS_MASK; /* a pin between the levels would draw current in its digital input */
  ADCSRA = _BV(ADEN) | ADC_PRESCALER_BITS;
  /* The first conversion after the ADC is turned on takes 25 of its cycles instead of
   * 13, setting up its analog circuits: done here, so that every sample takes as long. */
  (void)readFlexChannel(GLOVE_FIRST_FLEX_CHANNEL);
}

uint16_t flexResistance(uint16_t reading) {
  /* A reading r stands for r to r + 1 1024ths of the reference; its middle,
   * x = (r + 1/2) / 1024, is R / (R + fixed), so R = fixed * (2r + 1) / (2047 - 2r),
   * rounded to the unit. The largest product, 47000 * 2047, fits 32 bits. */
  if (reading > 1023) reading = 1023;
  const uint32_t above = FLEX_FIXED_OHMS * (2UL * reading + 1);
  const uint32_t below = (2047UL - 2UL * reading) * FLEX_UNIT_OHMS;
  const uint32_t units = (above + below / 2) / below;
  return (uint16_t)(units > FLEX_MAX_UNITS ? FLEX_MAX_UNITS : units);
}
