// Tests of the writers' file handling: opening modes, the size count, the rotation point and the
// overflow names.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "QpLogTestHelpers.h"

namespace {

const std::string kHeaderLine =
    "Time         \tFormattedTime        \t\tLogLevel\tPID.Thread\tModule\tMessage\n";

// Writes one entry large enough (1100 bytes) to rotate a 1 KiB file before it is written.
void rotateOnce(QpLogBasic& ioWriter, const std::string& inTag) {
  ioWriter.logEntry(4, POOL, (inTag + std::string(1100, '.')).c_str());
}

TEST_F(QpLogTest, OverflowNames) {
  struct Row {
    std::string mPath;
    int mOverflows;
    std::vector<std::string> mExisting;  // overflow files there before, oldest last
    std::vector<std::string> mAfter;     // the same names after one rotation, main file first
  };
  std::filesystem::create_directory(path("logs.d"));
  std::filesystem::create_directory(path("logs_ovr1.d"));
  const Row kRows[] = {
      {"QpLog.txt",
       3,
       {"QpLog_ovr1.txt", "QpLog_ovr2.txt", "QpLog_ovr3.txt"},
       {"QpLog_ovr1.txt", "QpLog_ovr2.txt", "QpLog_ovr3.txt"}},
      {"logs.d/app", 1, {}, {"logs_ovr1.d/app"}},
      {"applog", 2, {"applog_ovr1"}, {"applog_ovr1", "applog_ovr2"}},
  };
  for (const Row& vRow : kRows) {
    SCOPED_TRACE(vRow.mPath);
    for (size_t i = 0; i < vRow.mExisting.size(); ++i)
      writeFile(path(vRow.mExisting[i]), "old" + std::to_string(i + 1));
    std::unique_ptr<QpLoggingState> vOptions =
        makeState(path(vRow.mPath), kLogFormatTab, 1, vRow.mOverflows);
    QpLogTab vWriter(vOptions.get());
    vWriter.logEntry(4, POOL, "main");
    const std::string vMain = readFile(path(vRow.mPath));
    rotateOnce(vWriter, "next");
    // The main file moved to _ovr1, every older file one number up, the oldest dropped.
    EXPECT_EQ(readFile(path(vRow.mAfter[0])), vMain);
    for (size_t i = 1; i < vRow.mAfter.size(); ++i)
      EXPECT_EQ(readFile(path(vRow.mAfter[i])), "old" + std::to_string(i));
    EXPECT_EQ(readTabLog(path(vRow.mPath)).back().mText.substr(0, 4), "next");
  }
}

TEST_F(QpLogTest, NoOverflowsReopensEmptyOrUnique) {
  const struct { bool mAppend, mKeep; } kRows[] = {{false, false}, {true, false}, {false, true}};
  for (const auto& vRow : kRows) {
    SCOPED_TRACE(std::to_string(vRow.mAppend) + std::to_string(vRow.mKeep));
    std::filesystem::remove_all(mDir);
    std::filesystem::create_directory(mDir);
    std::unique_ptr<QpLoggingState> vOptions = makeState(path("z.log"), kLogFormatTab, 1, 0);
    vOptions->setAppend(vRow.mAppend);
    vOptions->setKeepExisting(vRow.mKeep);
    QpLogTab vWriter(vOptions.get());
    rotateOnce(vWriter, "first");
    rotateOnce(vWriter, "second");
    EXPECT_FALSE(fileExists(path("z_ovr1.log")));
    const std::vector<TabEntry> vEntries = readTabLog(path("z.log"));
    // Emptied in place (append is not kept without overflows), or left as it was, with each
    // rotation opening a new time-stamped file beside it.
    EXPECT_EQ(vEntries.back().mText.substr(0, 5), vRow.mKeep ? "SDK V" : "secon");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mDir), {}), vRow.mKeep ? 3 : 1);
  }
}

TEST_F(QpLogTest, KeepExistingPicksATimeStampedName) {
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("k.log"), kLogFormatTab);
  vOptions->setKeepExisting(true);
  { QpLogTab vFirst(vOptions.get()); }
  EXPECT_TRUE(fileExists(path("k.log")));  // free: the path itself
  QpLogTab vSecond(vOptions.get());
  vSecond.logEntry(4, POOL, "second");
  EXPECT_STREQ(vSecond.getPath(), path("k.log").c_str());
  std::vector<std::string> vNames;
  for (const auto& vEntry : std::filesystem::directory_iterator(mDir))
    vNames.push_back(vEntry.path().filename().string());
  ASSERT_EQ(vNames.size(), 2u);
  const std::string vUnique = vNames[0] == "k.log" ? vNames[1] : vNames[0];
  EXPECT_TRUE(std::regex_match(vUnique, std::regex(R"(k\.log\.\d{13,})"))) << vUnique;
  EXPECT_EQ(readTabLog(path(vUnique)).back().mText, "second");
}

TEST_F(QpLogTest, SizeCountAndThe944BytePoint) {
  // Appending counts the existing file; each write counts one more than it printed.
  writeFile(path("a.log"), std::string(500, 'p') + "\n");
  std::unique_ptr<QpLoggingState> vAppend = makeState(path("a.log"), kLogFormatTab, 100);
  vAppend->setAppend(true);
  {
    QpLogTab vWriter(vAppend.get());
    vWriter.logEntry(4, POOL, "x");
    // 8 header writes, the version line and the entry.
    EXPECT_EQ(vWriter.getSizeCount(), static_cast<QpLong>(readFile(path("a.log")).size()) + 10);
    EXPECT_EQ(readFile(path("a.log")).substr(501, kHeaderLine.size()), kHeaderLine);
  }

  // A 1 KiB tab log rotates before an entry once count + 80 reaches 1024 (count 944), or when
  // the entry's text would reach it.
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("r.log"), kLogFormatTab, 1, 1);
  QpLogTab vWriter(vOptions.get());
  int vByCount = 0, vByText = 0;
  for (int i = 0; i < 300; ++i) {
    const std::string vText(static_cast<size_t>((i * 37) % 90 + 1), 'a' + i % 26);
    const QpLong vCount = vWriter.getSizeCount();
    const bool vFull = vCount + 80 >= 1024;
    const bool vWouldFill = vCount + 80 + static_cast<QpLong>(vText.size()) + 1 >= 1024;
    vByCount += vFull;
    vByText += !vFull && vWouldFill;
    const std::string vBefore = readFile(path("r.log"));
    vWriter.logEntry(4, POOL, vText.c_str());
    const std::string vAfter = readFile(path("r.log"));
    if (vFull || vWouldFill) {
      ASSERT_EQ(readFile(path("r_ovr1.log")), vBefore) << i;
      ASSERT_EQ(readTabLog(path("r.log")).size(), 2u) << i;
    } else {
      ASSERT_EQ(vAfter.substr(0, vBefore.size()), vBefore) << i;
    }
    ASSERT_EQ(vWriter.getSizeCount(), static_cast<QpLong>(vAfter.size()) + 8 +
                                          static_cast<QpLong>(splitLines(vAfter).size() - 1));
  }
  EXPECT_GT(vByCount, 0);
  EXPECT_GT(vByText, 0);
}

TEST_F(QpLogTest, UnboundedAndCallbackOnlyWriters) {
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("u.log"), kLogFormatTab, -1);
  QpLogTab vWriter(vOptions.get());
  for (int i = 0; i < 3; ++i) rotateOnce(vWriter, "big");
  EXPECT_EQ(vWriter.getSizeCount(), 0);  // nothing counted without a limit
  EXPECT_FALSE(fileExists(path("u_ovr1.log")));

  std::unique_ptr<QpLoggingState> vNoPath = makeState("", kLogFormatXML, 1);
  QpLogXML vCallbackOnly(vNoPath.get());
  EXPECT_FALSE(vCallbackOnly.isOpen());
  static std::string sGot;
  vCallbackOnly.setCallback([](char* inText) {
    sGot = inText;
    return 0;
  });
  vCallbackOnly.logEntry(4, POOL, "via callback");
  EXPECT_EQ(sGot, "via callback");
}

}  // namespace
