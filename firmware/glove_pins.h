/* The do-it-yourself glove's wiring and the figures its firmware and its emulated
 * board must agree on.
 *
 *   finger  flex sensor on   Uno/Nano      button  pin  Uno/Nano
 *   thumb   ADC0 (PC0)       A0            A       PD2  D2
 *   index   ADC1 (PC1)       A1            B       PD3  D3
 *   middle  ADC2 (PC2)       A2            C       PD4  D4
 *   ring    ADC3 (PC3)       A3            D       PD5  D5
 *   little  ADC4 (PC4)       A4
 *
 * Each flex sensor runs from its pin to ground, with the fixed resistor from the pin
 * to 5 V: the pin reads 5 V * R / (R + FLEX_FIXED_OHMS), rising with the bend. The
 * ADC's reference is AVcc, the same 5 V, so the supply's own value drops out. Each
 * button closes its pin to ground; the pin's pull-up holds it high while it is open.
 * PD0 and PD1 are the serial line.
 */
#ifndef SIGNGLOVE_FIRMWARE_GLOVE_PINS_H
#define SIGNGLOVE_FIRMWARE_GLOVE_PINS_H

#define GLOVE_FINGERS 5
#define GLOVE_FIRST_FLEX_CHANNEL 0 /* thumb; the other fingers on the channels after it */
#define GLOVE_FLEX_PINS_MASK 0x1F  /* PC0..PC4 */

#define GLOVE_BUTTONS 4
#define GLOVE_BUTTONS_PORT_LETTER 'D'
#define GLOVE_FIRST_BUTTON_PIN 2 /* A; B, C and D on the pins after it */

/* The divider's fixed resistor, in ohms: 47 kOhm, near the middle of a 2.2-inch flex
 * sensor's 25 to 100 kOhm, where the divider reads the sensor most finely. */
#define FLEX_FIXED_OHMS 47000UL

/* A sensor's resistance goes out in hundreds of ohms (262 is 26.2 kOhm): three or
 * four digits, so that a line is short enough for a sample every 3 ms. The most a
 * reading may say, and its digits: an open sensor (its pin pulled to 5 V) reads so. */
#define FLEX_UNIT_OHMS 100UL
#define FLEX_MAX_UNITS 9999UL
#define FLEX_MAX_UNITS_DIGITS 4

/* One line a sample, a sample every this many microseconds (333 a second), on a line
 * at this speed (8N1). */
#define GLOVE_SAMPLE_MICROS 3000
#define GLOVE_BAUD 115200

#endif
