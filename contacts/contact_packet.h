#pragma once

#include <cstdint>

struct RecognitionContext;

constexpr int kPacketSlots = 6;

// The contact groups of the latest accepted controller reply. Slots at and above
// count keep what earlier replies left there.
struct ContactPacket {
  int32_t count = 0;
  int32_t slots[kPacketSlots] = {};
};

// Progress of the current request against its deadline.
struct PacketDeadline {
  uint32_t deadline = 0;  // clock milliseconds
  int inTime = 0;         // result of the latest deadline check
  int lastByte = 0;       // last value the receive operation returned
};

// The wire format shared with the contact controller: the host sends kRequestByte,
// the controller answers with 16-bit words, high byte first: kHeaderWord, one word
// per touching group, kTerminatorWord and the sum of the group words.
constexpr int kContactPort = 0;  // COM1
constexpr uint8_t kRequestByte = 0x53;
constexpr uint16_t kHeaderWord = 0x0040;
constexpr uint16_t kTerminatorWord = 0x4000;
constexpr uint32_t kPacketTimeoutMs = 500;

// Requests contact groups until a reply with the right checksum has been stored in
// the context's ContactPacket. A time-out is reported and waits for Enter first.
void readContactPacket(RecognitionContext& context);
