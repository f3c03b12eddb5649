#pragma once

// A driver's run: its sources merged into one glove record, published through the glove
// bridge's writer (platform/glove_record_writer.h, the object SIGNGLOVE_GLOVE names)
// until SIGINT, SIGTERM or SIGHUP ends it and the object is removed.

#include <sys/types.h>

#include <cstdint>

#include "drivers/calibration.h"
#include "drivers/column_map.h"
#include "drivers/glove_serial.h"
#include "drivers/osc_receiver.h"
#include "platform/glove_record_writer.h"

constexpr int kDriverExitFailed = 1;  // a device, a socket or the glove object failed
constexpr int kDriverExitUsage = 2;    // the command line, a calibration file, SIGNGLOVE_GLOVE

// The record is published at least this often, so that the program sees a live driver.
constexpr int64_t kHeartbeatMillis = 50;

struct DriverSources {
  GloveSerial* serial = nullptr;  // a serial glove, read through its columns
  ColumnMap columns;
  Calibration calibration;
  OscReceiver* osc = nullptr;  // an OSC socket, for the fields the columns do not give
};

// Creates the glove object (0600, or 0640 for readerGroup): 0, or the exit status with
// the reason on standard error (kDriverExitUsage when SIGNGLOVE_GLOVE names no object).
int driverCreateRecord(GloveRecordWriter& writer, gid_t readerGroup);

// SIGINT, SIGTERM and SIGHUP set driverStopping() instead of ending the process, and
// interrupt a wait; SIGPIPE is ignored.
void driverCatchSignals();
bool driverStopping();

// Reads and publishes until a signal: 0, or driverCreateRecord's failure.
int runDriver(DriverSources& sources, gid_t readerGroup);
