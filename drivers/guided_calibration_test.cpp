#include "drivers/guided_calibration.h"
#include "drivers/test_driver_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned kAllFingers = 0x1F;

// Raw readings of a glove whose sensors read more as they bend, except the little
// finger's, which reads less; the fist leaves the thumb half bent.
CalibrationReadings typicalGlove() {
  CalibrationReadings readings;
  const double open[kFingers] = {200, 210, 220, 230, 900};
  const double bent[kFingers] = {900, 800, 810, 820, 300};
  for (int step = 0; step < kCalibrationSteps; ++step)
    for (int finger = 0; finger < kFingers; ++finger) readings.raw[step][finger] = open[finger];
  for (int finger = 0; finger < kFingers; ++finger) {
    readings.raw[kStepFist][finger] = finger == 0 ? 550 : bent[finger];
    readings.raw[kStepFirstFinger + finger][finger] = bent[finger];
  }
  return readings;
}

TEST(GuidedCalibration, TakesStraightFromTheOpenHandAndBentFromTheFurthestStep) {
  Calibration calibration;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(calibrationFromReadings(typicalGlove(), kAllFingers, calibration, error, warnings)) << error;
  const double expected[kFingers][2] = {{200, 900}, {210, 800}, {220, 810}, {230, 820}, {900, 300}};
  for (int finger = 0; finger < kFingers; ++finger) {
    EXPECT_TRUE(calibration.finger[finger].given);
    EXPECT_EQ(calibration.finger[finger].rawStraight, expected[finger][0]) << finger;
    EXPECT_EQ(calibration.finger[finger].rawBent, expected[finger][1]) << finger;
  }
  EXPECT_TRUE(warnings.empty());

  ASSERT_TRUE(calibrationFromReadings(typicalGlove(), 0x06, calibration, error, warnings));  // index and middle only
  EXPECT_FALSE(calibration.finger[0].given);
  EXPECT_TRUE(calibration.finger[1].given);
}

TEST(GuidedCalibration, RefusesAFingerThatHardlyMovedAndDoubtsSwappedColumns) {
  CalibrationReadings dead = typicalGlove();
  for (int step = 0; step < kCalibrationSteps; ++step) dead.raw[step][2] = 220 + step % 2 * 20;  // noise only
  Calibration calibration;
  std::string error;
  std::vector<std::string> warnings;
  EXPECT_FALSE(calibrationFromReadings(dead, kAllFingers, calibration, error, warnings));
  EXPECT_EQ(error.rfind("the reading hardly changed for: middle", 0), 0u) << error;

  CalibrationReadings swapped = typicalGlove();  // the ring and middle sensors in each other's columns
  for (int step = 0; step < kCalibrationSteps; ++step) std::swap(swapped.raw[step][2], swapped.raw[step][3]);
  warnings.clear();
  EXPECT_TRUE(calibrationFromReadings(swapped, kAllFingers, calibration, error, warnings));
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0], "bending the middle alone moved the ring column more than its own: are the columns in the "
                         "glove's order?");
}

// The driver run as a user would, its glove on a pseudo-terminal, Enter typed on a pipe.
class CalibrateCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, device_, nullptr, nullptr), 0);
    for (int fd : {master_, slave_}) fcntl(fd, F_SETFD, FD_CLOEXEC);  // the driver opens the device itself
    char folder[] = "/tmp/signglove-calibrate-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    out_ = folder_ + "/glove.cal";
    ASSERT_TRUE(driverProcessStart(driver_, {"calibrate", device_, "--out", out_}));
  }
  void TearDown() override {
    driverProcessEnd(driver_, SIGKILL);
    close(master_);
    close(slave_);
    unlink(out_.c_str());
    rmdir(folder_.c_str());
  }

  std::string nextLine() { return driverProcessLine(driver_.output); }

  // The glove sends these raw bends (and no buttons) 100 times a second for 300 ms.
  void sendReadings(const double raw[kFingers]) {
    char line[128];
    std::snprintf(line, sizeof line, "%g,%g,%g,%g,%g,0,0,0,0\r\n", raw[0], raw[1], raw[2], raw[3], raw[4]);
    for (int sample = 0; sample < 30; ++sample) {
      ASSERT_GT(write(master_, line, std::strlen(line)), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  void typeEnter() { ASSERT_EQ(write(driver_.input, "\n", 1), 1); }

  int master_ = -1, slave_ = -1;
  char device_[256] = {};
  std::string folder_, out_;
  DriverProcess driver_;
};

TEST_F(CalibrateCommand, StepsAdvanceWithEnterAndTheFileReadsBack) {
  const CalibrationReadings glove = typicalGlove();
  EXPECT_EQ(nextLine(), "Step 1 of 7: " + calibrationStepPrompt(kStepOpen));
  typeEnter();  // too soon: nothing has come from the glove yet
  EXPECT_EQ(nextLine().rfind("No readings from ", 0), 0u);
  for (int step = 0; step < kCalibrationSteps; ++step) {
    if (step > 0) {
      EXPECT_EQ(nextLine(), "Step " + std::to_string(step + 1) + " of 7: " + calibrationStepPrompt(step));
    }
    sendReadings(glove.raw[step]);
    typeEnter();
  }
  EXPECT_EQ(nextLine(), "Wrote " + out_ + ":");
  ASSERT_EQ(driverProcessEnd(driver_, 0), 0);
  Calibration written, expected;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(calibrationLoad(out_, written, error)) << error;
  ASSERT_TRUE(calibrationFromReadings(glove, kAllFingers, expected, error, warnings));
  for (int finger = 0; finger < kFingers; ++finger) {
    EXPECT_EQ(written.finger[finger].rawStraight, expected.finger[finger].rawStraight) << finger;
    EXPECT_EQ(written.finger[finger].rawBent, expected.finger[finger].rawBent) << finger;
  }
}

TEST_F(CalibrateCommand, AnInputThatEndsWritesNothing) {
  EXPECT_EQ(nextLine(), "Step 1 of 7: " + calibrationStepPrompt(kStepOpen));
  close(driver_.input);
  driver_.input = -1;
  EXPECT_EQ(driverProcessEnd(driver_, 0), 1);
  EXPECT_NE(access(out_.c_str(), F_OK), 0);
}

}  // namespace
