#include "control/program.h"

#include <memory>

#include "control/menu.h"
#include "control/recognition_context.h"
#include "platform/console.h"
#include "platform/serial.h"

namespace {

constexpr int kQueueSize = 1024;
constexpr int kContactBaud = 9600;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;
constexpr int kDataBits = 8;
constexpr int kGloveFound = 1;

// Opens COM1 for the contact controller; false at the first step that fails.
bool setUpContactPort() {
  return serialOpen(kContactPort, kQueueSize, kQueueSize) >= 0 && serialSetBaud(kContactPort, kContactBaud) >= 0 &&
         serialSetLine(kContactPort, kNoParity, kOneStopBit, kDataBits) >= 0;
}

}  // namespace

int signgloveMain() {
  const auto context = std::make_unique<RecognitionContext>();
  if (!setUpContactPort()) {
    consolePrint("COM1 for Contact sensors NOT setup\n\n");
    return 0;
  }
  if (gloveInit() != kGloveFound) {
    consolePrint("P5 NOT DETECTED\n\n");
    return 0;
  }
  gloveMouseOff();

  calibrateReferences(*context);
  runMenu(*context);

  gloveClose();
  serialClose(kContactPort);
  return 0;
}
