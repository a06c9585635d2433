// Tests of the writers' file handling: opening modes, the size count, the rotation point and the
// overflow names.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "QpLogTestHelpers.h"

namespace {

size_t fileCount(const std::string& inDir) {
  size_t vCount = 0;
  for (const auto& vEntry : std::filesystem::recursive_directory_iterator(inDir))
    vCount += vEntry.is_regular_file();
  return vCount;
}

TEST_F(QpLogTest, RotationAndOverflowNames) {
  struct Row {
    std::string mPath;
    int mOverflows;
    bool mAppend, mKeep;
    std::vector<std::string> mOld;    // overflow files there before, old1, old2, ...
    std::vector<std::string> mAfter;  // the first entry's file, then where old1, old2... went
    size_t mFiles;                    // in the folder afterwards
  };
  const Row kRows[] = {
      {"QpLog.txt",
       3,
       false,
       false,
       {"QpLog_ovr1.txt", "QpLog_ovr2.txt", "QpLog_ovr3.txt"},
       {"QpLog_ovr1.txt", "QpLog_ovr2.txt", "QpLog_ovr3.txt"},
       4},
      {"logs.d/app", 1, false, false, {}, {"logs_ovr1.d/app"}, 2},  // the dot of a folder
      {"applog", 2, true, false, {"applog_ovr1"}, {"applog_ovr1", "applog_ovr2"}, 3},
      // Without overflows the file is emptied, even when appending, or kept beside a new one.
      {"z.log", 0, true, false, {}, {}, 1},
      {"z.log", 0, false, true, {}, {"z.log"}, 2},
  };
  for (const Row& vRow : kRows) {
    SCOPED_TRACE(vRow.mPath + " " + std::to_string(vRow.mOverflows));
    std::filesystem::remove_all(mDir);
    std::filesystem::create_directories(path("logs.d"));
    std::filesystem::create_directories(path("logs_ovr1.d"));
    for (size_t i = 0; i < vRow.mOld.size(); ++i)
      writeFile(path(vRow.mOld[i]), "old" + std::to_string(i + 1));
    std::unique_ptr<QpLoggingState> vOptions =
        makeState(path(vRow.mPath), kLogFormatTab, 1, vRow.mOverflows);
    vOptions->setAppend(vRow.mAppend);
    vOptions->setKeepExisting(vRow.mKeep);
    QpLogTab vWriter(vOptions.get());
    vWriter.logEntry(4, POOL, "first");
    const std::string vFirst = readFile(path(vRow.mPath));
    vWriter.logEntry(4, POOL, std::string(1100, 'n').c_str());  // over 1 KiB: rotates first
    if (!vRow.mAfter.empty()) {
      EXPECT_EQ(readFile(path(vRow.mAfter[0])), vFirst);
    }
    for (size_t i = 1; i < vRow.mAfter.size(); ++i)
      EXPECT_EQ(readFile(path(vRow.mAfter[i])), "old" + std::to_string(i));
    const std::vector<std::string> vTexts = tabTexts(path(vRow.mPath));
    EXPECT_EQ(vTexts.back().substr(0, 5), vRow.mKeep ? "first" : "nnnnn");
    EXPECT_EQ(fileCount(mDir), vRow.mFiles);
    // Kept files stay whole; the new one is the path plus "." and the time in milliseconds.
    for (const auto& vEntry : std::filesystem::directory_iterator(mDir)) {
      const std::string vName = vEntry.path().filename().string();
      if (vRow.mKeep && vName != "z.log" && vEntry.is_regular_file()) {
        EXPECT_TRUE(std::regex_match(vName, std::regex(R"(z\.log\.\d{13,})"))) << vName;
      }
    }
  }
}

TEST_F(QpLogTest, SizeCountAndThe944BytePoint) {
  // Appending counts the existing file; each write counts one more than it printed.
  writeFile(path("a.log"), std::string(500, 'p') + "\n");
  std::unique_ptr<QpLoggingState> vAppend = makeState(path("a.log"), kLogFormatTab, 100);
  vAppend->setAppend(true);
  {
    QpLogTab vWriter(vAppend.get());
    vWriter.logEntry(4, POOL, "x");  // 8 header writes, the version line and the entry
    EXPECT_EQ(vWriter.getSizeCount(), static_cast<QpLong>(readFile(path("a.log")).size()) + 10);
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
    } else {
      ASSERT_EQ(vAfter.substr(0, vBefore.size()), vBefore) << i;
    }
    const QpLong vLines = std::count(vAfter.begin(), vAfter.end(), '\n');
    ASSERT_EQ(vWriter.getSizeCount(), static_cast<QpLong>(vAfter.size()) + 8 + vLines - 1);
  }
  EXPECT_GT(vByCount, 0);
  EXPECT_GT(vByText, 0);
  // Without a limit nothing is counted and nothing rotates.
  std::unique_ptr<QpLoggingState> vUnbounded = makeState(path("u.log"), kLogFormatTab, -1);
  QpLogTab vBig(vUnbounded.get());
  for (int i = 0; i < 3; ++i) vBig.logEntry(4, POOL, std::string(1100, 'u').c_str());
  EXPECT_EQ(vBig.getSizeCount(), 0);
  EXPECT_FALSE(fileExists(path("u_ovr1.log")));
}

}  // namespace
