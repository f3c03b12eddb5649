#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "contacts/contact_mask.h"

// The contact-pad controller's firmware: which pads touch, how it answers a request,
// and the faults a scenario can ask of it.
struct ContactController {
  std::vector<ContactMask> touching;  // groups of pads that touch, disjoint
  bool explicitWords = false;         // `groups` fixed the entries exactly
  std::vector<uint16_t> words;        // those entries
  bool silent = false;
  bool cued = false;  // answers only when the script cues it, not by itself
  int corruptReplies = 0;           // next replies sent with a wrong checksum
  int dropReplies = 0;              // next replies that lose one byte in the middle
  std::vector<uint16_t> noiseWords;  // sent before the header of the next reply
  std::deque<std::vector<uint8_t>> rawReplies;  // sent as they are, one a request, before any composed reply
};

// These pads now touch each other; groups that share a pad with them join them.
void controllerTouch(ContactController& controller, ContactMask pads);

// No pads touch any more.
void controllerUntouch(ContactController& controller);

// From now on the entries are exactly these words, in this order.
void controllerSetWords(ContactController& controller, std::vector<uint16_t> words);

// The entries of a reply: explicit words, or the touching groups in ascending mask order.
std::vector<uint16_t> controllerEntries(const ContactController& controller);

// The next request is answered with exactly these bytes (none: not answered), after
// any raw replies queued before them.
void controllerQueueReply(ContactController& controller, std::vector<uint8_t> bytes);

// The bytes of the reply to one request: the oldest queued raw reply, or one composed
// from the entries with the faults applied (and used up).
std::vector<uint8_t> controllerReply(ContactController& controller);

// The same into bytes, replacing what it held; reusing one buffer spares the heap.
void controllerWriteReply(ContactController& controller, std::vector<uint8_t>& bytes);
