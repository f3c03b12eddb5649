#pragma once

// The glove record's fields one at a time, as drivers fill them from a glove's
// readings: a column of a serial glove's line, a number of an OSC message.

#include <cstdint>
#include <string_view>

#include "platform/glove_library.h"

// In the order of the OSC message /signglove/glove.
enum GloveField : int {
  kFieldX,
  kFieldY,
  kFieldZ,
  kFieldA1,
  kFieldA2,
  kFieldA3,
  kFieldThumb,
  kFieldIndex,
  kFieldMiddle,
  kFieldRing,
  kFieldLittle,
  kFieldButtonA,
  kFieldButtonB,
  kFieldButtonC,
  kFieldButtonD,
  kGloveFields
};
constexpr int kFingers = 5;

// A set of fields, bit per field.
using GloveFieldSet = uint32_t;
constexpr GloveFieldSet kAllGloveFields = (1u << kGloveFields) - 1;
constexpr GloveFieldSet gloveFieldBit(int field) { return 1u << field; }

// The bend scale: a straight finger reads 0, a fully bent one 63 (the six-bit range of
// the glove the program was written for); a record holds up to 255.
constexpr int kBendStraight = 0;
constexpr int kBendFullyBent = 63;
constexpr int kBendMost = 255;

// A reading larger than this (a millimetre, a degree, a bend) is not a hand's: the line
// or message that carries it is refused, as one that carries NaN or infinity is.
constexpr double kLargestReading = 1e6;

// True when a reading is finite and within kLargestReading.
bool gloveReadingUsable(double value);

// The field's name as a column is named: x y z a1 a2 a3 thumb index middle ring little A B C D.
std::string_view gloveFieldName(int field);

// The field of that name; -1 when none has it.
int gloveFieldNamed(std::string_view name);

// Sets one field from a usable reading in program units: a position or angle as it is,
// a bend rounded and clamped to 0..255, a button down (1) when nonzero.
void gloveFieldSet(GloveRecord& record, int field, double value);

// The field's value in the record, as a number.
double gloveFieldValue(const GloveRecord& record, int field);
