#include "control/program.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "control/menu.h"
#include "control/recognition_context.h"
#include "simulator/loose_ends.h"
#include "simulator/script.h"
#include "simulator/simulation.h"
#include "tests/virtual_world.h"

namespace {

using Strings = std::vector<std::string>;
using MouseCalls = std::vector<std::pair<int, int>>;

const char* const kPortMessage = "COM1 for Contact sensors NOT setup\n\n";
const char* const kGloveMessage = "P5 NOT DETECTED\n\n";
const char* const kPortLeftOpen = "left open: serial port COM1";

SimulationResult runScript(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << "line " << error.line << ": " << error.message;
  return runSimulation(scenario);
}

TEST(StartUp, ConfiguresThePortFindsTheGloveAndClosesBothAtTheEnd) {
  const SimulationResult result = runScript("calibrate\npress B C\nwait 100");
  EXPECT_EQ(result.exitStatus, 0);
  const PlatformCalls& calls = world.calls;
  EXPECT_EQ(calls.serialOpens, 1);
  EXPECT_EQ(calls.receiveQueueSize, 1024);
  EXPECT_EQ(calls.transmitQueueSize, 1024);
  EXPECT_EQ(calls.baud, 9600);
  EXPECT_EQ(calls.parityCode, 0);
  EXPECT_EQ(calls.stopBitsCode, 0);
  EXPECT_EQ(calls.dataBits, 8);
  EXPECT_EQ(calls.gloveInits, 1);
  EXPECT_EQ(calls.mouseStates, (MouseCalls{{0, 0}}));
  EXPECT_EQ(calls.gloveCloses, 1);
  EXPECT_EQ(calls.serialCloses, 1);
  EXPECT_EQ(result.looseEnds, Strings{});
  EXPECT_EQ(result.transcript.find(kPortMessage), std::string::npos);
  EXPECT_EQ(result.transcript.find(kGloveMessage), std::string::npos);
}

// Each failure ends the program with its one message, having made exactly the calls
// before it, and leaves open what start-up had opened so far.
TEST(StartUp, EndsAtTheFirstFailingStep) {
  struct Case {
    const char* script;
    const char* transcript;
    int opens, baudSets, lineSets, gloveInits;
    Strings looseEnds;
  };
  const Case cases[] = {
      {"serial fails", kPortMessage, 1, 0, 0, 0, {}},
      {"serial fails open", kPortMessage, 1, 0, 0, 0, {}},
      {"serial fails baud", kPortMessage, 1, 1, 0, 0, {kPortLeftOpen}},
      {"serial fails line", kPortMessage, 1, 1, 1, 0, {kPortLeftOpen}},
      {"serial fails line\nglove absent", kPortMessage, 1, 1, 1, 0, {kPortLeftOpen}},
      {"glove absent", kGloveMessage, 1, 1, 1, 1, {kPortLeftOpen}},
      {"glove returns 0", kGloveMessage, 1, 1, 1, 1, {kPortLeftOpen}},
      {"glove returns 2", kGloveMessage, 1, 1, 1, 1, {kPortLeftOpen}},
      {"glove returns -1", kGloveMessage, 1, 1, 1, 1, {kPortLeftOpen}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const SimulationResult result = runScript(std::string(c.script) + "\nwait 100");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.transcript, c.transcript);
    const PlatformCalls& calls = world.calls;
    EXPECT_EQ(calls.serialOpens, c.opens);
    EXPECT_EQ(calls.baudSets, c.baudSets);
    EXPECT_EQ(calls.lineSets, c.lineSets);
    EXPECT_EQ(calls.gloveInits, c.gloveInits);
    EXPECT_EQ(calls.mouseStates, MouseCalls{});
    EXPECT_EQ(calls.gloveCloses, 0);
    EXPECT_EQ(calls.serialCloses, 0);
    EXPECT_EQ(result.looseEnds, c.looseEnds);
  }
  const SimulationResult found = runScript("glove returns 1\ncalibrate\npress B C\nwait 100");
  EXPECT_EQ(found.transcript.find(kGloveMessage), std::string::npos);
  EXPECT_EQ(world.calls.gloveCloses, 1);
}

// The world notices what a platform would: a port set differently from the controller
// gets no sensible reply, only time-outs.
TEST(ContactPort, OnlyNineHundredSixtyBaudEightNOneReachesTheController) {
  struct Case {
    int baud, parity, stopBits, dataBits;
    bool answered;
  };
  const Case cases[] = {
      {9600, 0, 0, 8, true},   {19200, 0, 0, 8, false}, {4800, 0, 0, 8, false}, {9600, 1, 0, 8, false},
      {9600, 2, 0, 8, false},  {9600, 0, 1, 8, false},  {9600, 0, 2, 8, false}, {9600, 0, 0, 7, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud << " " << c.parity << " " << c.stopBits << " " << c.dataBits);
    VirtualWorld scene("touch RT RI\nwait 2000");
    serialSetBaud(kContactPort, c.baud);
    serialSetLine(kContactPort, c.parity, c.stopBits, c.dataBits);
    RecognitionContext context;
    if (c.answered) {
      readContactPacket(context);
      EXPECT_EQ(context.packet.count, 1);
    } else {
      EXPECT_THROW(readContactPacket(context), SimulationStopped);  // waits for an Enter never typed
      EXPECT_EQ(scene.console(), "error in packet: routine TIMED OUT\n");
    }
  }
}

TEST(ContactPort, AnUnsetPortGarblesAndRepliesInFlightArriveGarbled) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("wait 2000", scenario, error));
  worldStart(scenario, {});
  serialOpen(kContactPort, 1024, 1024);
  EXPECT_EQ(worldLineMatches(), 0);
  serialSendByte(kContactPort, kRequestByte);
  worldAdvance(50'000);
  EXPECT_EQ(serialTakeByte(kContactPort), -1) << "the controller never saw its request";

  serialSetBaud(kContactPort, 9600);
  serialSetLine(kContactPort, 0, 0, 8);
  serialSendByte(kContactPort, kRequestByte);
  worldAdvance(50'000);
  serialSetBaud(kContactPort, 19200);
  for (int expected : {worldGarble(0x00), worldGarble(0x40)}) EXPECT_EQ(serialTakeByte(kContactPort), expected);
  serialSetBaud(kContactPort, 9600);
  EXPECT_EQ(serialTakeByte(kContactPort), 0x40) << "the terminator, read at the right speed again";
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_NE(worldGarble(static_cast<uint8_t>(byte)), 0x00);
    EXPECT_NE(worldGarble(static_cast<uint8_t>(byte)), 0x40);
  }
}

TEST(LooseEnds, NamesWhatIsStillOpenOrOn) {
  Scenario scenario;
  worldStart(scenario, {});
  EXPECT_EQ(worldLooseEnds(), Strings{});
  serialOpen(kContactPort, 1024, 1024);
  gloveLibraryInit();
  EXPECT_EQ(worldLooseEnds(), (Strings{kPortLeftOpen, "left open: glove library",
                                       "never switched off: mouse emulation of glove device 0"}));
  gloveLibrarySetMouseState(1, 0);
  gloveLibrarySetMouseState(0, 1);
  EXPECT_EQ(worldLooseEnds().size(), 3u) << "only device 0 in state 0 stops the mouse";
  gloveLibrarySetMouseState(0, 0);
  gloveLibraryClose();
  serialClose(1);
  EXPECT_EQ(worldLooseEnds(), Strings{kPortLeftOpen});
  serialClose(kContactPort);
  EXPECT_EQ(worldLooseEnds(), Strings{});
}

// Every button wait tests the state of the last poll before it polls again, so a
// button already down when the wait begins is acted on without a poll.
TEST(Menu, WaitsTestTheLastPollBeforePolling) {
  const std::string mainPage =
      "\fPress: A button for diagnostics\n\n       B button for SIGN RECOGNITION\n\n"
      "NOTE: Press C button to EXIT subprograms\n\n            B and C button to EXIT program\n\n";
  const std::string diagnosticsPage =
      "\fPress: A button for finger connections\n\n       B button for handshapes and movement\n\n";
  struct Case {
    const char* name;
    bool a, b, c;  // as last polled when the menu starts
    const char* script;
    std::string console;  // when the world stops the program
  };
  const Case cases[] = {
      {"B and C end the menu at once", false, true, true, "wait 100", ""},
      {"A held goes to diagnostics", true, false, false, "wait 100", mainPage + diagnosticsPage},
      {"B held starts sign recognition", false, true, false, "wait 100",
       mainPage + "\fSIGN RECOGNITION program\n\n"},
      {"nothing held waits", false, false, false, "wait 100", mainPage},
      // A, then C held on entering finger connections: the mode ends before a cycle.
      {"C held ends a mode before its first cycle", true, false, false,
       "touch RT RI\npress C\nwait 50\npress A\nwait 100",
       mainPage + diagnosticsPage + "\fFinger connections diagnostic program\n\n" + mainPage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualWorld scene(c.script);
    RecognitionContext context;
    context.glove.buttons[kButtonA] = c.a;
    context.glove.buttons[kButtonB] = c.b;
    context.glove.buttons[kButtonC] = c.c;
    const bool ends = c.b && c.c;
    if (ends) {
      runMenu(context);
      EXPECT_EQ(world.calls.gloveRecordReads, 0);
    } else {
      EXPECT_THROW(runMenu(context), SimulationStopped);
    }
    EXPECT_EQ(scene.console(), c.console);
  }
}

}  // namespace
