// Tests of the tab writer's exact layout.
#include <gtest/gtest.h>

#include <string>

#include "QpLogTestHelpers.h"

namespace {

TEST_F(QpLogTest, TabHeaderAndLines) {
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("t.log"), kLogFormatTab);
  vOptions->setLevel(12);  // out of range: 4
  vOptions->setComponents(PACKET | NET);
  QpLogTab vWriter(vOptions.get());
  EXPECT_EQ(vWriter.getLevel(), 4);
  vWriter.logEntry(4, PACKET, "hello\tworld 100%");
  vWriter.logEntry(5, PACKET, "too verbose");
  vWriter.logEntry(1, POOL, "filtered");
  vWriter.logEntry(-2, NET, "negative");
  const std::string vText = readFile(path("t.log"));
  EXPECT_EQ(vText.substr(0, 72),
            "Time         \tFormattedTime        \t\tLogLevel\tPID.Thread\tModule\tMessage\n");
  const std::vector<TabEntry> vEntries = readTabLog(path("t.log"));
  ASSERT_EQ(vEntries.size(), 3u);
  EXPECT_EQ(vEntries[0].mLevel + vEntries[0].mComponent + vEntries[0].mText,
            "none---SDK Version 4.0.710");
  EXPECT_EQ(vEntries[1].mLevel + vEntries[1].mComponent + vEntries[1].mText,
            "debugPACKEThello\tworld 100%");
  EXPECT_EQ(vEntries[2].mLevel + vEntries[2].mComponent + vEntries[2].mText, "noneNETnegative");
  EXPECT_EQ(vEntries[1].mThread, std::to_string(static_cast<long>(qp_thread_self())));
}

}  // namespace
