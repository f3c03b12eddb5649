#pragma once

#include <cstdint>

// What things take in the virtual world, in microseconds of virtual time. Every
// platform call costs a little, so that a loop that polls anything lets time pass.

// Platform calls.
constexpr int64_t kSerialByteCallMicros = 5;   // send one byte, take one byte
constexpr int64_t kSerialSetupCallMicros = 200;  // open, set baud, set line, close
constexpr int64_t kClockReadMicros = 1;
constexpr int64_t kGloveRecordReadMicros = 5;
constexpr int64_t kGloveLibraryCallMicros = 500;  // init, mouse state, close
constexpr int64_t kConsoleWriteMicros = 20;
constexpr int64_t kConsoleClearMicros = 2000;  // the command interpreter starts and runs CLS

// The glove samples the hand once a millisecond. A record refreshed on every read
// follows the hand at that read, but its noise is the sample's: it changes only from
// one sample to the next, as a real glove's does.
constexpr int64_t kGloveSampleMicros = 1000;

// The serial line: 9600 baud, 8N1, so ten bits a byte, about 1041.7 us, both ways.
constexpr int64_t kLineBaud = 9600;
constexpr int kLineNoParity = 0;    // the serial library's parity code
constexpr int kLineOneStopBit = 0;  // its stop-bit code
constexpr int kLineDataBits = 8;
constexpr int64_t kBitsPerByte = 10;
constexpr int64_t kMicrosPerSecond = 1000000;

// Microseconds the line needs for a number of bytes, rounded up.
constexpr int64_t lineMicros(int64_t bytes) {
  return (bytes * kBitsPerByte * kMicrosPerSecond + kLineBaud - 1) / kLineBaud;
}

// The controller scans its pads for this long after a request has arrived, then replies.
constexpr int64_t kControllerScanMicros = 2000;

// The receive queue the serial port is opened with holds this many bytes; more are lost.
constexpr int kReceiveQueueBytes = 1024;

// Bytes of a reply with n entries: header, entries, terminator, checksum, two bytes each.
constexpr int64_t replyBytes(int entries) { return 2 * (3 + entries); }

// The time one sample of the program takes with n contact groups touching: the request
// byte, the scan and the reply. The host's own calls add a few microseconds more.
constexpr int64_t samplePeriodMicros(int entries) {
  return lineMicros(1) + kControllerScanMicros + lineMicros(replyBytes(entries));
}
