#pragma once

// What OSC senders (apps, phone sensor tools, camera hand trackers) may send a glove:
//   /signglove/glove     15 numbers: x y z a1 a2 a3 thumb index middle ring little A B C D
//   /signglove/position  3: x y z
//   /signglove/angles    3: a1 a2 a3
//   /signglove/bends     5: thumb index middle ring little
//   /signglove/buttons   4: A B C D
// in program units (see platform/glove_shared_record.h), each number an int32 or a
// float32 (int64 and double are taken too). A message sets only its own fields. A
// datagram may be one message or a bundle of them.

#include <cstddef>

#include "drivers/glove_fields.h"
#include "drivers/status_line.h"

// The largest datagram taken whole; a longer one is malformed.
constexpr size_t kLargestOscDatagram = 1536;

// Applies every message of the datagram to the record, setting only the fields in
// `allowed`. A message with another address, another count of numbers, an argument that
// is not a number, or a number not finite or beyond kLargestReading changes nothing
// and is counted as skipped; the others are counted as used.
void oscApplyDatagram(const void* data, size_t size, GloveFieldSet allowed, GloveRecord& record,
                      DriverCounts& counts);
