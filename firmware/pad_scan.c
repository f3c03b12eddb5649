#include "pad_scan.h"

#include <avr/io.h>
#include <util/delay.h>

#include "pad_pins.h"

#if RIGHT_PADS_PORT_LETTER != 'D' || LEFT_PADS_PORT_LETTER != 'C'
#error "the scan below drives ports D (right hand) and C (left hand)"
#endif

/* How long a pad driven low is given to pull the pads it touches below the input
 * threshold, against their pull-ups, through the contact and their capacitance. */
#ifndef PAD_SETTLE_US
#define PAD_SETTLE_US 10
#endif

/* How long a pad is then driven high, to charge the pads it touches back before its
 * pin turns into an input again: their pull-ups alone would take up to 50 us on a
 * 1 nF pad, and the next pad would be read against them. 0 releases it from low. */
#ifndef PAD_RECHARGE_US
#define PAD_RECHARGE_US 10
#endif

/* 1: a pad that reads low at idle (shorted to ground, or touching a pad that is) is
 * never driven, nor one that stays high when driven low (shorted to the supply):
 * either would push tens of milliamperes through the pin into the short. */
#ifndef PAD_GUARD_SHORTS
#define PAD_GUARD_SHORTS 1
#endif

/* A group is reported only when each of this many scans, PAD_CONFIRM_GAP_US apart,
 * found it: a contact that flickers for a moment is not a group. */
#ifndef PAD_CONFIRM_SCANS
#define PAD_CONFIRM_SCANS 2
#endif
#ifndef PAD_CONFIRM_GAP_US
#define PAD_CONFIRM_GAP_US 500
#endif

/* A pad driven low is looked at this many cycles later: time enough for its pin to
 * fall below the input threshold however much it touches (twelve pads of 1 nF take
 * 0.4 us), and short enough that a pad shorted to the supply is let go within 1.1 us.
 * Such a pad is then left alone for STUCK_HIGH_RETRY_SCANS scans, and tried again in
 * case the short has gone. */
#define STUCK_HIGH_CHECK_CYCLES 8
#define STUCK_HIGH_RETRY_SCANS 200

#define RIGHT_PINS HAND_PINS_MASK(RIGHT_PADS_FIRST_PIN)
#define LEFT_PINS HAND_PINS_MASK(LEFT_PADS_FIRST_PIN)
#define ALL_PADS ((uint16_t)0x3F3F)

/* Pads 0..5 are the right hand, 6..11 the left, in the order of their pins. */
static const uint16_t kPadMasks[PAD_COUNT] = PADS_IN_PIN_ORDER;

static uint16_t stuckHigh;
static uint8_t scansSinceRetry;

/* A pad's port, by its PIN register (its DDR and PORT registers follow), and its bit. */
typedef struct {
  volatile uint8_t* pin;
  uint8_t bit;
} PadPort;
#define PAD_DDR(port) ((port).pin[1])
#define PAD_PORT(port) ((port).pin[2])

static PadPort padPort(uint8_t pad) {
  PadPort port;
  if (pad < PADS_PER_HAND) {
    port.pin = &PIND;
    port.bit = (uint8_t)(1u << (pad + RIGHT_PADS_FIRST_PIN));
  } else {
    port.pin = &PINC;
    port.bit = (uint8_t)(1u << (pad - PADS_PER_HAND + LEFT_PADS_FIRST_PIN));
  }
  return port;
}

static uint16_t padsReadingLow(void) {
  const uint8_t right = (uint8_t)((uint8_t)~PIND & RIGHT_PINS) >> RIGHT_PADS_FIRST_PIN;
  const uint8_t left = (uint8_t)((uint8_t)~PINC & LEFT_PINS) >> LEFT_PADS_FIRST_PIN;
  return (uint16_t)right | (uint16_t)((uint16_t)left << 8);
}

/* Drives the pad low and returns the pads that followed it low, leaving out those in
 * leftOut; a pad that stays high is let go at once and joins stuckHigh. Every other
 * pad is an input with its pull-up meanwhile, and so is this one afterwards. */
static uint16_t probePad(uint8_t pad, uint16_t leftOut) {
  const PadPort port = padPort(pad);
  volatile uint8_t* const direction = &PAD_DDR(port);
  const uint8_t asInput = *direction; /* ready, so that letting go takes one store */
  PAD_PORT(port) &= (uint8_t)~port.bit; /* pull-up off: floating for an instant */
  *direction = (uint8_t)(asInput | port.bit); /* driven low */
#if PAD_GUARD_SHORTS
  __builtin_avr_delay_cycles(STUCK_HIGH_CHECK_CYCLES);
  if (*port.pin & port.bit) {
    *direction = asInput;
    PAD_PORT(port) |= port.bit;
    stuckHigh |= kPadMasks[pad];
    return 0;
  }
#endif
#if PAD_SETTLE_US > 0
  _delay_us(PAD_SETTLE_US);
#endif
  const uint16_t follows = (uint16_t)(padsReadingLow() & ~leftOut & ~kPadMasks[pad]);
#if PAD_RECHARGE_US > 0
  PAD_PORT(port) |= port.bit; /* driven high */
  _delay_us(PAD_RECHARGE_US);
  *direction = asInput;
#else
  *direction = asInput;
  PAD_PORT(port) |= port.bit;
#endif
  return follows;
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
 * symmetric and transitive, so a group is everything reachable either way. Pads in
 * leftOut are in no follows, and belong to no group. */
static uint8_t mergeGroups(const uint16_t follows[PAD_COUNT], uint16_t leftOut, uint16_t groups[MAX_PAD_GROUPS]) {
  const uint16_t* const bits = kPadMasks;
  uint16_t followed = 0;  // pads some pad pulled low
  for (uint8_t pad = 0; pad < PAD_COUNT; ++pad) followed |= follows[pad];
  uint16_t unassigned = ALL_PADS & (uint16_t)~leftOut;
  uint8_t count = 0;
  for (uint8_t pad = 0; pad < PAD_COUNT; ++pad) {
    if (!(unassigned & bits[pad])) continue;
    if (!follows[pad] && !(followed & bits[pad])) continue;  // a pad alone touches nothing
    uint16_t group = bits[pad] | follows[pad];
    uint16_t before;
    do {
      before = group;
      for (uint8_t other = 0; other < PAD_COUNT; ++other)
        if ((group & bits[other]) || (follows[other] & group)) group |= follows[other] | bits[other];
    } while (group != before);
    unassigned &= (uint16_t)~group;
    count = insertGroup(groups, count, group);
  }
  return count;
}

void padsInit(void) {
  DDRD &= (uint8_t)~RIGHT_PINS;
  PORTD |= RIGHT_PINS;
  DDRC &= (uint8_t)~LEFT_PINS;
  PORTC |= LEFT_PINS;
  MCUCR &= (uint8_t)~_BV(PUD);
}

/* One scan: every pad that may be driven, in turn. */
static uint8_t scanOnce(uint16_t groups[MAX_PAD_GROUPS]) {
  padsInit(); /* again: a disturbed direction or pull-up bit lasts one scan at most */
  if (++scansSinceRetry >= STUCK_HIGH_RETRY_SCANS) {
    scansSinceRetry = 0;
    stuckHigh = 0;
  }
  uint16_t leftOut = padsReadingLow() | stuckHigh;
  uint16_t follows[PAD_COUNT];
  for (uint8_t pad = 0; pad < PAD_COUNT; ++pad) {
#if PAD_GUARD_SHORTS
    if (leftOut & kPadMasks[pad]) {
      follows[pad] = 0;
      continue;
    }
#endif
    follows[pad] = probePad(pad, leftOut);
  }
  leftOut |= stuckHigh;
  return mergeGroups(follows, leftOut, groups);
}

/* Keeps the groups that are in both lists, in their order. */
static uint8_t keepCommon(uint16_t groups[MAX_PAD_GROUPS], uint8_t count, const uint16_t again[MAX_PAD_GROUPS],
                          uint8_t againCount) {
  uint8_t kept = 0;
  for (uint8_t index = 0; index < count; ++index) {
    for (uint8_t other = 0; other < againCount; ++other) {
      if (again[other] == groups[index]) {
        groups[kept++] = groups[index];
        break;
      }
    }
  }
  return kept;
}

uint8_t scanPadGroups(uint16_t groups[MAX_PAD_GROUPS]) {
  uint8_t count = scanOnce(groups);
  for (uint8_t scan = 1; scan < PAD_CONFIRM_SCANS; ++scan) {
    _delay_us(PAD_CONFIRM_GAP_US);
    uint16_t again[MAX_PAD_GROUPS];
    count = keepCommon(groups, count, again, scanOnce(again));
  }
  return count;
}
