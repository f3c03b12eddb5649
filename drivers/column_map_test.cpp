#include "drivers/column_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ColumnMap, ReadsTheListAndRefusesBadNames) {
  ColumnMap map;
  std::string error;
  ASSERT_TRUE(columnMapParse(kDefaultColumns, map, error));
  EXPECT_EQ(map.count, 9);
  EXPECT_EQ(map.fields, 0x7FC0u);  // five bends and four buttons
  ASSERT_TRUE(columnMapParse("-,x,y,z,a1,a2,a3,-,thumb", map, error));
  EXPECT_EQ(map.count, 9);
  EXPECT_EQ(map.field[0], kSkippedColumn);
  EXPECT_EQ(map.field[8], kFieldThumb);

  struct Bad {
    const char* list;
    const char* error;
  };
  const Bad bad[] = {
      {"thumb,pinky", "unknown column 'pinky'"}, {"thumb,,index", "an empty column name"},
      {"", "an empty column name"},              {"index,index", "column 'index' is named twice"},
      {"Thumb", "unknown column 'Thumb'"},       {"thumb ,index", "unknown column 'thumb '"},
  };
  for (const Bad& b : bad) {
    EXPECT_FALSE(columnMapParse(b.list, map, error)) << b.list;
    EXPECT_EQ(error.rfind(b.error, 0), 0u) << error;
  }
  std::string many = "-";
  for (int column = 1; column <= kMostLineNumbers; ++column) many += ",-";
  EXPECT_FALSE(columnMapParse(many, map, error));
}

GloveLine lineOf(std::vector<double> numbers) {
  GloveLine line;
  for (double number : numbers) line.value[line.count++] = number;
  return line;
}

TEST(ColumnMap, SetsTheNamedFieldsFromALine) {
  struct Case {
    const char* name;
    const char* columns;
    std::vector<double> numbers;
    LineRefusal refusal;
    GloveRecord record;  // expected, from an all-zero record
  };
  const Case cases[] = {
      {"defaults", kDefaultColumns, {1, 25, 60, 63, 0, 1, 0, 2, -1}, LineRefusal::kNone,
       {0, 0, 0, {}, {1, 25, 60, 63, 0}, {1, 0, 1, 1}}},
      {"bends rounded and clamped", "thumb,index,middle", {12.5, -4, 300}, LineRefusal::kNone,
       {0, 0, 0, {}, {13, 0, 255, 0, 0}, {}}},
      {"position and angles as they are", "x,y,z,a3,a2,a1", {-10.25, 350, 400, 950, -35, 0.5}, LineRefusal::kNone,
       {-10.25f, 350, 400, {0.5f, -35, 950}, {}, {}}},
      {"skipped columns", "-,index,-", {99, 7, 99}, LineRefusal::kNone, {0, 0, 0, {}, {0, 7, 0, 0, 0}, {}}},
      {"too few", "thumb,index", {1}, LineRefusal::kTooFew, {}},
      {"too many", "thumb", {1, 2}, LineRefusal::kTooMany, {}},
      {"out of range anywhere", "thumb,-", {1, 2e6}, LineRefusal::kOutOfRange, {}},
  };
  for (const Case& c : cases) {
    ColumnMap map;
    std::string error;
    ASSERT_TRUE(columnMapParse(c.columns, map, error)) << c.name;
    GloveRecord record{};
    EXPECT_EQ(columnMapApply(map, Calibration{}, lineOf(c.numbers), record), c.refusal) << c.name;
    for (int field = 0; field < kGloveFields; ++field)
      EXPECT_EQ(gloveFieldValue(record, field), gloveFieldValue(c.record, field)) << c.name << ", " << gloveFieldName(field);
  }
}

TEST(ColumnMap, TakesBendsThroughTheCalibrationOnly) {
  ColumnMap map;
  std::string error;
  ASSERT_TRUE(columnMapParse("thumb,index,x,A", map, error));
  Calibration calibration;
  calibration.finger[0] = {true, 900, 400};  // inverted
  GloveRecord record{};
  ASSERT_EQ(columnMapApply(map, calibration, lineOf({400, 30, 900, 1}), record), LineRefusal::kNone);
  EXPECT_EQ(record.bend[0], 63);  // fully bent
  EXPECT_EQ(record.bend[1], 30);  // not calibrated: program units
  EXPECT_EQ(record.x, 900);       // never calibrated
  ASSERT_EQ(columnMapApply(map, calibration, lineOf({1000, 30, 0, 0}), record), LineRefusal::kNone);
  EXPECT_EQ(record.bend[0], 0);  // straighter than straight, clamped
  ASSERT_EQ(columnMapApply(map, calibration, lineOf({-1e6, 30, 0, 0}), record), LineRefusal::kNone);
  EXPECT_EQ(record.bend[0], 255);
}

}  // namespace
