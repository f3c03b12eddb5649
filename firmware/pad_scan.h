/* Finding which contact pads touch each other. */
#ifndef SIGNGLOVE_FIRMWARE_PAD_SCAN_H
#define SIGNGLOVE_FIRMWARE_PAD_SCAN_H

#include <stdint.h>

/* Twelve pads in groups of at least two: never more than six groups. */
#define MAX_PAD_GROUPS 6

/* Sets every pad pin to an input with its pull-up, the state between scans. */
void padsInit(void);

/* Scans the pads (more than once: see PAD_CONFIRM_SCANS) and stores one mask per
 * group of touching pads that every scan found in groups, in ascending order. Pads
 * shorted to ground or to the supply, and those touching a grounded pad, are in no
 * group. Returns the number of groups. */
uint8_t scanPadGroups(uint16_t groups[MAX_PAD_GROUPS]);

#endif
