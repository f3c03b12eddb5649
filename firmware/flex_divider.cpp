#include "firmware/flex_divider.h"

#include <algorithm>
#include <cmath>

#include "firmware/glove_pins.h"

namespace {

constexpr double kOhmsPerDegree = (kFlexFullyBentOhms - kFlexStraightOhms) / kFlexFullBendDegrees;
constexpr uint32_t kSupplyMillivolts = static_cast<uint32_t>(kGloveSupplyVolts * 1000);
constexpr int kSimavrFullScale = 1023;

}  // namespace

double flexDegrees(double bend) { return bend * kFlexFullBendDegrees / kFlexFullBend; }

double flexOhmsAtDegrees(double degrees) { return kFlexStraightOhms + degrees * kOhmsPerDegree; }

double flexPinVolts(double sensorOhms) {
  return kGloveSupplyVolts * sensorOhms / (sensorOhms + static_cast<double>(FLEX_FIXED_OHMS));
}

int adcReadingOf(double volts) {
  const double reading = std::floor(volts / kGloveSupplyVolts * kAdcReadings);
  return static_cast<int>(std::clamp(reading, 0.0, static_cast<double>(kAdcReadings - 1)));
}

uint32_t simavrMillivoltsFor(int reading) {
  // The least whole millivolts that simavr's floor(mV * 1023 / 5000) takes to the
  // reading; 5000 / 1023 mV a step, so every reading has some.
  const uint32_t steps = static_cast<uint32_t>(std::clamp(reading, 0, kSimavrFullScale));
  return (steps * kSupplyMillivolts + kSimavrFullScale - 1) / kSimavrFullScale;
}

double linearlyCalibratedBend(double sensorOhms) {
  return (sensorOhms - kFlexStraightOhms) * kFlexFullBend / (kFlexFullyBentOhms - kFlexStraightOhms);
}
