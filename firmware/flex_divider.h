#pragma once

#include <cstdint>

// A 2.2-inch flex sensor in the do-it-yourself glove's divider, as its emulated board
// sees it: the program's bend (0 straight, 63 fully bent; more bends the sensor on)
// turns the finger over the sensor by an angle, the sensor's resistance rises
// linearly with that angle, and the divider (glove_pins.h) turns it into the voltage
// on the pin, which the chip's ADC reads against its 5 V reference.

constexpr int kFlexFullBend = 63;                // the program's bend of a fully bent finger
constexpr double kFlexFullBendDegrees = 90;      // the sensor's bend then
constexpr double kFlexStraightOhms = 25e3;       // the sensor lying flat
constexpr double kFlexFullyBentOhms = 100e3;     // and bent by kFlexFullBendDegrees
constexpr double kGloveSupplyVolts = 5.0;        // the divider's supply and the ADC's reference
constexpr int kAdcReadings = 1024;               // 10 bits

// The sensor's bend for a program bend, in degrees.
double flexDegrees(double bend);

// The sensor's resistance at that bend, in ohms.
double flexOhmsAtDegrees(double degrees);

// The pin's voltage with the sensor at that resistance.
double flexPinVolts(double sensorOhms);

// What the real chip's ADC reads for a voltage: floor(V / Vref * 1024), at most 1023.
int adcReadingOf(double volts);

// The millivolts to hand simavr's ADC for it to read that: simavr scales by 1023,
// not 1024, and takes whole millivolts.
uint32_t simavrMillivoltsFor(int reading);

// The bend a linear calibration (kFlexStraightOhms -> 0, kFlexFullyBentOhms ->
// kFlexFullBend) makes of a resistance.
double linearlyCalibratedBend(double sensorOhms);
