/* Which pin carries which contact pad. Shared by the firmware and the host-side board
 * emulation, so that both agree on the wiring.
 *
 * Each hand's six pads sit on six consecutive pins of one port, in mask bit order:
 *
 *   pad   mask    pin  Uno/Nano       pad   mask    pin  Uno/Nano
 *   RP_   0x0001  PD2  D2             LPm_  0x0100  PC0  A0
 *   RR_   0x0002  PD3  D3             LT_   0x0200  PC1  A1
 *   RM_   0x0004  PD4  D4             LI_   0x0400  PC2  A2
 *   RI_   0x0008  PD5  D5             LM_   0x0800  PC3  A3
 *   RT_   0x0010  PD6  D6             LR_   0x1000  PC4  A4
 *   RPm_  0x0020  PD7  D7             LP_   0x2000  PC5  A5
 *
 * PD0 and PD1 are the serial line. Port B is left free: on a Nano, D13 (PB5) carries
 * an LED and resistor to ground that would hold a pulled-up pad near the threshold.
 */
#ifndef SIGNGLOVE_FIRMWARE_PAD_PINS_H
#define SIGNGLOVE_FIRMWARE_PAD_PINS_H

#define PADS_PER_HAND 6
#define PAD_COUNT (2 * PADS_PER_HAND)

/* Right hand: mask bits 0x0001..0x0020 on PD2..PD7. */
#define RIGHT_PADS_PORT_LETTER 'D'
#define RIGHT_PADS_FIRST_PIN 2
/* Left hand: mask bits 0x0100..0x2000 on PC0..PC5. */
#define LEFT_PADS_PORT_LETTER 'C'
#define LEFT_PADS_FIRST_PIN 0

/* Each pad's mask bit, named by its label. */
enum {
  PAD_RP = 0x0001, PAD_RR = 0x0002, PAD_RM = 0x0004, PAD_RI = 0x0008, PAD_RT = 0x0010, PAD_RPm = 0x0020,
  PAD_LPm = 0x0100, PAD_LT = 0x0200, PAD_LI = 0x0400, PAD_LM = 0x0800, PAD_LR = 0x1000, PAD_LP = 0x2000
};

/* The pads in the order of their pins: the right hand's from its first pin up, then
 * the left hand's. The reading of a port turns into mask bits by a shift, so this
 * order is also the order of the mask bits. */
#define PADS_IN_PIN_ORDER \
  { PAD_RP, PAD_RR, PAD_RM, PAD_RI, PAD_RT, PAD_RPm, PAD_LPm, PAD_LT, PAD_LI, PAD_LM, PAD_LR, PAD_LP }

/* A hand's pads as they sit in its port: six pins from the first. */
#define HAND_PINS_MASK(first_pin) ((unsigned char)(0x3F << (first_pin)))

#endif
