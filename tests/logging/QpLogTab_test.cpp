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
  vWriter.logEntry(4, PACKET, "hello\tworld 100%");
  vWriter.logEntry(5, PACKET, "too verbose");
  vWriter.logEntry(1, POOL, "filtered");
  vWriter.logEntry(-2, NET, "negative");
  EXPECT_EQ(readFile(path("t.log")).substr(0, 72),
            "Time         \tFormattedTime        \t\tLogLevel\tPID.Thread\tModule\tMessage\n");
  std::vector<std::string> vGot;
  for (const TabEntry& vEntry : readTabLog(path("t.log")))
    vGot.push_back(vEntry.mLevel + " " + vEntry.mComponent + " " + vEntry.mText);
  EXPECT_EQ(vGot,
            (std::vector<std::string>{"none --- SDK Version 4.0.710",
                                      "debug PACKET hello\tworld 100%", "none NET negative"}));
  EXPECT_EQ(readTabLog(path("t.log"))[1].mThread,
            std::to_string(static_cast<long>(qp_thread_self())));
}

}  // namespace
