#include "simulator/observation.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr uint64_t kFnvPrime = 0x100000001b3ULL;
constexpr uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ULL;

// One multiplication a value: order-sensitive, and every bit of the value reaches
// the high bits that the rotation carries into the next step.
uint64_t fold(uint64_t digest, uint64_t value) {
  digest = ((digest << 23) | (digest >> 41)) ^ value;
  return digest * kGoldenGamma + 1;
}

uint64_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

void observeCall(Observation& observation, PlatformCall call, int64_t atMicros, int64_t result, int64_t first,
                 int64_t second, int64_t third) {
  ++observation.calls;
  if (observation.keepDigest) foldSkippedCall(observation, call, atMicros, result, first, second, third);
}

void foldSkippedCall(Observation& observation, PlatformCall call, int64_t atMicros, int64_t result, int64_t first,
                     int64_t second, int64_t third) {
  if (!observation.keepDigest) return;
  uint64_t digest = fold(observation.digest, static_cast<uint64_t>(call));
  for (int64_t value : {atMicros, result, first, second, third}) digest = fold(digest, static_cast<uint64_t>(value));
  observation.digest = digest;
}

int64_t gloveRecordDigest(const GloveRecord& record) {
  uint64_t digest = kObservationStart;
  for (float value : {record.x, record.y, record.z, record.orient[0], record.orient[1], record.orient[2]})
    digest = fold(digest, floatBits(value));
  for (uint8_t bend : record.bend) digest = fold(digest, bend);
  for (uint8_t button : record.buttons) digest = fold(digest, button);
  return static_cast<int64_t>(digest);
}

int64_t textDigest(const char* text, uint64_t length) {
  uint64_t digest = fold(kObservationStart, length);
  for (uint64_t index = 0; index < length; ++index) {
    digest ^= static_cast<unsigned char>(text[index]);
    digest *= kFnvPrime;
  }
  return static_cast<int64_t>(digest);
}

void observeEnd(Observation& observation, int64_t value) {
  observation.digest = fold(observation.digest, static_cast<uint64_t>(value));
}
