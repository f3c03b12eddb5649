#pragma once

// A UDP socket that takes a glove's OSC messages (drivers/osc_decoding.h). It listens on
// 127.0.0.1 unless told otherwise: whoever can send to it drives the program.

#include <string>

#include "drivers/glove_fields.h"
#include "drivers/status_line.h"

constexpr const char* kDefaultOscAddress = "127.0.0.1";
constexpr int kDefaultOscPort = 9000;

struct OscReceiver {
  int fd = -1;
  int port = 0;  // the port bound (a free one when 0 was asked for)
};

// Binds to a numeric IPv4 or IPv6 address and a port (0: any free one); false with the
// reason in error.
bool oscReceiverOpen(OscReceiver& receiver, const std::string& address, int port, std::string& error);

// Takes every datagram waiting, applying each to the record (only the fields in
// `allowed`). Never waits.
void oscReceiverDrain(OscReceiver& receiver, GloveFieldSet allowed, GloveRecord& record, DriverCounts& counts);

void oscReceiverClose(OscReceiver& receiver);
