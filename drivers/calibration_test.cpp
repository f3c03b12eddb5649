#include "drivers/calibration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

TEST(Calibration, MapsRawReadingsLinearlyOntoTheBendScale) {
  struct Case {
    const char* name;
    FingerCalibration finger;
    double raw, bend;
  };
  const Case cases[] = {
      {"straight", {true, 200, 830}, 200, 0},
      {"fully bent", {true, 200, 830}, 830, 63},
      {"half way", {true, 200, 830}, 515, 31.5},
      {"beyond bent", {true, 200, 830}, 1460, 126},
      {"beyond straight", {true, 200, 830}, 100, -10},
      {"inverted: straight", {true, 900, 400}, 900, 0},
      {"inverted: bent", {true, 900, 400}, 400, 63},
      {"inverted: between", {true, 900, 400}, 650, 31.5},
      {"not calibrated: as it is", {}, 42.5, 42.5},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(calibratedBend(c.finger, c.raw), c.bend) << c.name;
}

TEST(Calibration, ReadsTheFileAndNamesTheLineThatDoesNotParse) {
  Calibration calibration;
  std::string error;
  ASSERT_TRUE(calibrationParse("# from calibrate\n\nindex 512 830  # inverted below\n  little\t900 400\n", "g.cal",
                               calibration, error))
      << error;
  EXPECT_TRUE(calibration.finger[1].given);
  EXPECT_EQ(calibration.finger[1].rawStraight, 512);
  EXPECT_EQ(calibration.finger[4].rawBent, 400);
  EXPECT_FALSE(calibration.finger[0].given);

  struct Bad {
    const char* text;
    const char* error;
  };
  const Bad bad[] = {
      {"index 1 2\npinky 1 2\n", "g.cal:2: 'pinky' is not a finger"},
      {"\n\nx 1 2\n", "g.cal:3: 'x' is not a finger"},
      {"index 1\n", "g.cal:1: expected FINGER RAW_STRAIGHT RAW_BENT"},
      {"index 1 2 3\n", "g.cal:1: expected FINGER RAW_STRAIGHT RAW_BENT"},
      {"index one 2\n", "g.cal:1: the raw readings must be numbers"},
      {"index 1 nan\n", "g.cal:1: the raw readings must be numbers"},
      {"index +-1 2\n", "g.cal:1: the raw readings must be numbers"},
      {"index 1 1e300\n", "g.cal:1: the raw readings must be numbers"},
      {"index 5 5\n", "g.cal:1: the straight and the bent readings are the same"},
      {"index 1 2\n# again\nindex 3 4\n", "g.cal:3: index is calibrated twice"},
  };
  for (const Bad& b : bad) {
    EXPECT_FALSE(calibrationParse(b.text, "g.cal", calibration, error)) << b.text;
    EXPECT_EQ(error.rfind(b.error, 0), 0u) << error;
  }
}

TEST(Calibration, WritesAFileThatReadsBackTheSame) {
  char folder[] = "/tmp/signglove-calibration-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/glove.cal";
  Calibration written;
  written.finger[0] = {true, 210.5, 640};
  written.finger[3] = {true, 900, 401};
  std::string error;
  ASSERT_TRUE(calibrationSave(path, calibrationText(written, "device /dev/ttyACM0\ncolumns thumb,index"), error));
  Calibration read;
  ASSERT_TRUE(calibrationLoad(path, read, error)) << error;
  for (int finger = 0; finger < kFingers; ++finger) {
    EXPECT_EQ(read.finger[finger].given, written.finger[finger].given);
    EXPECT_EQ(read.finger[finger].rawStraight, written.finger[finger].rawStraight);
    EXPECT_EQ(read.finger[finger].rawBent, written.finger[finger].rawBent);
  }
  std::ifstream file(path);
  std::string first;
  std::getline(file, first);
  EXPECT_EQ(first, "# device /dev/ttyACM0");

  EXPECT_FALSE(calibrationLoad(std::string(folder) + "/missing.cal", read, error));
  EXPECT_EQ(error, std::string(folder) + "/missing.cal: No such file or directory");
  EXPECT_FALSE(calibrationLoad(folder, read, error));
  EXPECT_EQ(error, std::string(folder) + ": Is a directory");
  EXPECT_FALSE(calibrationSave(std::string(folder) + "/no/such/folder.cal", "x", error));
  EXPECT_FALSE(calibrationLoad("/dev/zero", read, error));  // bounded, not read for ever
  unlink(path.c_str());
  rmdir(folder);
}

}  // namespace
