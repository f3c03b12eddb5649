#include "drivers/glove_fields.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::string_view kFieldNames[kGloveFields] = {"x",     "y",    "z",      "a1",   "a2",
                                                         "a3",    "thumb", "index", "middle", "ring",
                                                         "little", "A",    "B",      "C",    "D"};

// x, y and z are separate members: each is reached by name.
float& positionOf(GloveRecord& record, int field) { return field == kFieldX ? record.x : field == kFieldY ? record.y : record.z; }

}  // namespace

bool gloveReadingUsable(double value) { return std::isfinite(value) && std::fabs(value) <= kLargestReading; }

std::string_view gloveFieldName(int field) { return field >= 0 && field < kGloveFields ? kFieldNames[field] : ""; }

int gloveFieldNamed(std::string_view name) {
  for (int field = 0; field < kGloveFields; ++field)
    if (kFieldNames[field] == name) return field;
  return -1;
}

void gloveFieldSet(GloveRecord& record, int field, double value) {
  if (field <= kFieldZ) {
    positionOf(record, field) = static_cast<float>(value);
  } else if (field <= kFieldA3) {
    record.orient[field - kFieldA1] = static_cast<float>(value);
  } else if (field <= kFieldLittle) {
    const double bend = std::clamp(std::round(value), static_cast<double>(kBendStraight), static_cast<double>(kBendMost));
    record.bend[field - kFieldThumb] = static_cast<uint8_t>(bend);
  } else if (field < kGloveFields) {
    record.buttons[field - kFieldButtonA] = value != 0 ? 1 : 0;
  }
}

double gloveFieldValue(const GloveRecord& record, int field) {
  if (field == kFieldX) return record.x;
  if (field == kFieldY) return record.y;
  if (field == kFieldZ) return record.z;
  if (field <= kFieldA3) return record.orient[field - kFieldA1];
  if (field <= kFieldLittle) return record.bend[field - kFieldThumb];
  if (field < kGloveFields) return record.buttons[field - kFieldButtonA];
  return 0;
}
