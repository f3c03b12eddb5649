#include "record/glove_watch.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/glove_record_writer.h"

namespace {

GloveRecord numbered(int value) {
  const float v = static_cast<float>(value);
  const uint8_t b = static_cast<uint8_t>(value);
  return {v, -v, v / 4, {v, v, v}, {b, b, b, b, b}, {static_cast<uint8_t>(value & 1), 0, 0, 0}};
}

bool sameRecord(const GloveRecord& a, const GloveRecord& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.orient[0] == b.orient[0] && a.orient[1] == b.orient[1] &&
         a.orient[2] == b.orient[2] && std::equal(a.bend, a.bend + 5, b.bend) &&
         std::equal(a.buttons, a.buttons + 4, b.buttons);
}

std::string objectName(const char* what) {
  return "/signglove-record-test-" + std::string(what) + "-" + std::to_string(getpid());
}

TEST(GloveWatchTest, FindsNoGloveWhereTheProgramWouldFindNone) {
  EXPECT_FALSE(gloveWatchAttach(objectName("missing").c_str()));
}

// However the watcher's looks fall against the writer's changes, it notes only records
// that were published, each once, in their order, and always the last one.
TEST(GloveWatchTest, NotesPublishedRecordsInOrderAndNothingElse) {
  const std::string name = objectName("watch");
  GloveRecordWriter writer;
  ASSERT_TRUE(gloveWriterCreate(writer, name.c_str()));
  gloveWriterPublish(writer, numbered(1));
  ASSERT_TRUE(gloveWatchAttach(name.c_str()));

  std::atomic<bool> stop{false};
  GloveWatchLog log;
  std::thread watcher(gloveWatchRun, std::cref(stop), std::ref(log));
  std::vector<GloveSnapshot> snapshots;
  constexpr int kRecords = 200;
  for (int value = 2; value <= kRecords; ++value) {
    gloveWriterPublish(writer, numbered(value));
    gloveWriterPublish(writer, numbered(value));  // the same again: no change
    if (value % 20 == 0) usleep(2000);
    if (value % 50 == 0) {  // taken away as the session goes, as the recorder does
      const std::vector<GloveSnapshot> taken = gloveWatchTake(log);
      snapshots.insert(snapshots.end(), taken.begin(), taken.end());
    }
  }
  stop = true;
  watcher.join();
  const std::vector<GloveSnapshot> rest = gloveWatchTake(log);
  snapshots.insert(snapshots.end(), rest.begin(), rest.end());
  EXPECT_EQ(log.changes, static_cast<int64_t>(snapshots.size()));
  gloveWriterClose(writer);

  ASSERT_FALSE(snapshots.empty());
  EXPECT_TRUE(sameRecord(snapshots.back().record, numbered(kRecords)));
  int last = 0;
  for (const GloveSnapshot& snapshot : snapshots) {
    const int value = static_cast<int>(snapshot.record.x);
    EXPECT_TRUE(sameRecord(snapshot.record, numbered(value))) << "a record nobody published";
    EXPECT_GT(value, last);
    last = value;
  }
  for (size_t index = 1; index < snapshots.size(); ++index)
    EXPECT_GE(snapshots[index].atMicros, snapshots[index - 1].atMicros);
}

}  // namespace
