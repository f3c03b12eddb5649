#include "pad_scan.h"

#include <avr/io.h>
#include <util/delay.h>

#include "pad_pins.h"

#if RIGHT_PADS_PORT_LETTER != 'D' || LEFT_PADS_PORT_LETTER != 'C'
#error "the scan below drives ports D (right hand) and C (left hand)"
#endif

#define RIGHT_PINS HAND_PINS_MASK(RIGHT_PADS_FIRST_PIN)
#define LEFT_PINS HAND_PINS_MASK(LEFT_PADS_FIRST_PIN)
#define ALL_PADS ((uint16_t)0x3F3F)

/* A pad driven low pulls every pad it touches low through the contact; a pad driven
 * high charges them back before its pin turns into an input again, so the next pad
 * is never read against a slowly recovering pull-up. Pads on long leads need only a
 * fraction of this. */
#define SETTLE_MICROS 10

/* Pads 0..5 are the right hand, 6..11 the left, in the order of their pins. */
static const uint16_t kPadMasks[PAD_COUNT] = PADS_IN_PIN_ORDER;

static uint16_t padsReadingLow(void) {
  const uint8_t right = (uint8_t)((uint8_t)~PIND & RIGHT_PINS) >> RIGHT_PADS_FIRST_PIN;
  const uint8_t left = (uint8_t)((uint8_t)~PINC & LEFT_PINS) >> LEFT_PADS_FIRST_PIN;
  return (uint16_t)right | (uint16_t)((uint16_t)left << 8);
}

/* Makes the pad's pin an output at the level given. */
static void drivePad(uint8_t pad, uint8_t high) {
  if (pad < PADS_PER_HAND) {
    const uint8_t bit = (uint8_t)(1u << (pad + RIGHT_PADS_FIRST_PIN));
    PORTD = high ? (uint8_t)(PORTD | bit) : (uint8_t)(PORTD & ~bit);
    DDRD |= bit;
  } else {
    const uint8_t bit = (uint8_t)(1u << (pad - PADS_PER_HAND + LEFT_PADS_FIRST_PIN));
    PORTC = high ? (uint8_t)(PORTC | bit) : (uint8_t)(PORTC & ~bit);
    DDRC |= bit;
  }
}

/* Makes a pad driven high an input with its pull-up again. */
static void releasePad(uint8_t pad) {
  if (pad < PADS_PER_HAND)
    DDRD &= (uint8_t)~(1u << (pad + RIGHT_PADS_FIRST_PIN));
  else
    DDRC &= (uint8_t)~(1u << (pad - PADS_PER_HAND + LEFT_PADS_FIRST_PIN));
}

/* Puts a group into its place in the ascending list. */
static uint8_t insertGroup(uint16_t groups[MAX_PAD_GROUPS], uint8_t count, uint16_t group) {
  if (count == MAX_PAD_GROUPS) return count;
  uint8_t at = count;
  while (at > 0 && groups[at - 1] > group) {
    groups[at] = groups[at - 1];
    --at;
  }
  groups[at] = group;
  return (uint8_t)(count + 1);
}

/* follows[p] holds the pads that read low while pad p was driven low. Touching is
 * symmetric and transitive, so a group is everything reachable either way. */
static uint8_t mergeGroups(const uint16_t follows[PAD_COUNT], uint16_t groups[MAX_PAD_GROUPS]) {
  const uint16_t* const bits = kPadMasks;
  uint16_t unassigned = ALL_PADS;
  uint8_t count = 0;
  for (uint8_t pad = 0; pad < PAD_COUNT; ++pad) {
    if (!(unassigned & bits[pad])) continue;
    uint16_t group = bits[pad] | follows[pad];
    uint16_t before;
    do {
      before = group;
      for (uint8_t other = 0; other < PAD_COUNT; ++other)
        if ((group & bits[other]) || (follows[other] & group)) group |= follows[other] | bits[other];
    } while (group != before);
    unassigned &= (uint16_t)~group;
    if (group != bits[pad]) count = insertGroup(groups, count, group);  // a pad alone touches nothing
  }
  return count;
}

void padsInit(void) {
  DDRD &= (uint8_t)~RIGHT_PINS;
  PORTD |= RIGHT_PINS;
  DDRC &= (uint8_t)~LEFT_PINS;
  PORTC |= LEFT_PINS;
}

uint8_t scanPadGroups(uint16_t groups[MAX_PAD_GROUPS]) {
  /* A pad that is low while nothing drives it is wired to ground or shorted, not
   * touched: it would otherwise join every group. */
  const uint16_t stuckLow = padsReadingLow();
  uint16_t follows[PAD_COUNT];
  for (uint8_t pad = 0; pad < PAD_COUNT; ++pad) {
    drivePad(pad, 0);
    _delay_us(SETTLE_MICROS);
    follows[pad] = (uint16_t)(padsReadingLow() & ~stuckLow & ~kPadMasks[pad]);
    drivePad(pad, 1);
    _delay_us(SETTLE_MICROS);
    releasePad(pad);
  }
  return mergeGroups(follows, groups);
}
