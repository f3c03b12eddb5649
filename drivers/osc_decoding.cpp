#include "drivers/osc_decoding.h"

#include <lo/lo.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

struct OscAddress {
  std::string_view path;
  int firstField, count;
};

constexpr OscAddress kAddresses[] = {
    {"/signglove/glove", kFieldX, kGloveFields},  {"/signglove/position", kFieldX, 3},
    {"/signglove/angles", kFieldA1, 3},           {"/signglove/bends", kFieldThumb, kFingers},
    {"/signglove/buttons", kFieldButtonA, 4},
};

// Bundles hold bundles; deeper than this is not a glove's sender.
constexpr int kDeepestBundle = 4;
constexpr size_t kBundleHeaderBytes = 16;  // "#bundle\0" and the time tag
constexpr char kBundleTag[] = "#bundle";

const OscAddress* addressOf(std::string_view path) {
  for (const OscAddress& address : kAddresses)
    if (address.path == path) return &address;
  return nullptr;
}

// liblo lays arguments out four bytes apart, so an int64 or a double may sit
// misaligned: each is copied out rather than read through the union.
template <typename Number>
double copied(const lo_arg* argument) {
  Number number;
  std::memcpy(&number, argument, sizeof number);
  return static_cast<double>(number);
}

bool numberOf(char type, const lo_arg* argument, double& value) {
  switch (type) {
    case LO_INT32: value = copied<int32_t>(argument); return true;
    case LO_FLOAT: value = copied<float>(argument); return true;
    case LO_INT64: value = copied<int64_t>(argument); return true;
    case LO_DOUBLE: value = copied<double>(argument); return true;
    default: return false;
  }
}

// One message's numbers into the record; false, with the record unchanged, when it is
// not one of ours.
bool applyMessage(void* data, size_t size, GloveFieldSet allowed, GloveRecord& record) {
  int result = 0;
  lo_message message = lo_message_deserialise(data, size, &result);
  if (!message) return false;
  const OscAddress* address = addressOf(static_cast<const char*>(data));  // the path is the message's first string
  const char* types = lo_message_get_types(message);
  lo_arg** arguments = lo_message_get_argv(message);
  double values[kGloveFields];
  bool good = address && lo_message_get_argc(message) == address->count;
  for (int index = 0; good && index < address->count; ++index)
    good = numberOf(types[index], arguments[index], values[index]) && gloveReadingUsable(values[index]);
  lo_message_free(message);
  if (!good) return false;
  for (int index = 0; index < address->count; ++index)
    if (allowed & gloveFieldBit(address->firstField + index))
      gloveFieldSet(record, address->firstField + index, values[index]);
  return true;
}

uint32_t bigEndian32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

void applyElement(unsigned char* data, size_t size, GloveFieldSet allowed, GloveRecord& record, DriverCounts& counts,
                  int depth) {
  const bool bundle = size >= sizeof kBundleTag && std::memcmp(data, kBundleTag, sizeof kBundleTag) == 0;
  if (!bundle) {
    ++(applyMessage(data, size, allowed, record) ? counts.used : counts.skipped);
    return;
  }
  if (depth == kDeepestBundle || size < kBundleHeaderBytes) {
    ++counts.skipped;
    return;
  }
  // Elements: a 32-bit big-endian size, then that many bytes, a multiple of four.
  size_t at = kBundleHeaderBytes;
  while (at < size) {
    const size_t length = size - at >= 4 ? bigEndian32(data + at) : 0;
    if (size - at < 4 || length > size - at - 4 || length % 4 != 0) {
      ++counts.skipped;  // the rest of a bundle cut short or garbled
      return;
    }
    applyElement(data + at + 4, length, allowed, record, counts, depth + 1);
    at += 4 + length;
  }
}

}  // namespace

void oscApplyDatagram(const void* data, size_t size, GloveFieldSet allowed, GloveRecord& record,
                      DriverCounts& counts) {
  if (size > kLargestOscDatagram) {
    ++counts.skipped;
    return;
  }
  // liblo reads a message in place; a copy keeps the caller's bytes its own.
  unsigned char copy[kLargestOscDatagram];
  std::memcpy(copy, data, size);
  applyElement(copy, size, allowed, record, counts, 0);
}
