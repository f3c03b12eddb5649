/* The flex sensors through the chip's ADC, as resistances. */
#ifndef SIGNGLOVE_FIRMWARE_FLEX_SENSORS_H
#define SIGNGLOVE_FIRMWARE_FLEX_SENSORS_H

#include <stdint.h>

/* Sets the ADC up (reference AVcc, 125 kHz) and turns off the sensor pins' digital inputs. */
void flexSensorsInit(void);

/* Converts one channel: 0 to 1023. Takes about 104 us. */
uint16_t readFlexChannel(uint8_t channel);

/* The sensor's resistance in FLEX_UNIT_OHMS for an ADC reading: the middle of the
 * voltages that give that reading, through the divider, rounded; at most
 * FLEX_MAX_UNITS. Linear in the sensor's resistance, so that a linear calibration
 * maps it onto a bend. */
uint16_t flexResistance(uint16_t reading);

#endif
