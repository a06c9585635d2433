// The tab writer keeps pieces of its line from one entry to the next (the second's date, the
// stretch from the level to the component). Each line is checked byte for byte against libc's
// rendering of the layout from the line's own second and millisecond, which must lie within the
// call that wrote it, over entries that cross second and millisecond boundaries and change thread,
// level or component one at a time, so that a kept piece that goes stale shows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "QpLogTestHelpers.h"

namespace {

struct Entry {
  long long mBefore, mAfter;  // the call, in milliseconds
  int mLevel;
  component_t mComponent;
  const char* mNames;  // "level\t\t[component" as the line shows them
  long mThread = 0;
  std::string mText = "";
};
// Taken in turn: the first step changes only the level, the second only the component.
const Entry kKinds[] = {{0, 0, 4, PACKET, "debug]\t\t%ld.%ld\t[PACKET"},
                        {0, 0, 2, PACKET, "warn]\t\t%ld.%ld\t[PACKET"},
                        {0, 0, 2, NET, "warn]\t\t%ld.%ld\t[NET"},
                        {0, 0, 8, 0x11, "dbg+]\t\t%ld.%ld\t[???"},
                        {0, 0, 1, CSO_STORAGE_UNIT, "error]\t\t%ld.%ld\t[CSO_STORAGE_UNIT"}};

long long nowMillis() {
  timespec vNow;
  clock_gettime(CLOCK_REALTIME, &vNow);
  return static_cast<long long>(vNow.tv_sec) * 1000 + vNow.tv_nsec / 1000000;
}

TEST_F(QpLogTest, TabLinesStayExactAcrossSecondsAndThreads) {
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("t.log"), kLogFormatTab);
  const long vSelf = static_cast<long>(qp_thread_self());
  std::vector<Entry> vEntries{
      {nowMillis(), 0, 0, ALL, "none]\t\t%ld.%ld\t[---", vSelf, "SDK Version 4.0.710"}};
  {
    QpLogTab vWriter(vOptions.get());
    vEntries[0].mAfter = nowMillis();
    std::mutex vTurns;  // callers take turns, as the facade's lock makes them
    std::atomic<int> vByThread[2] = {{0}, {0}};
    const time_t vStart = time(nullptr);
    auto vLogSome = [&](int inWho) {
      // Until the clock has passed a second boundary and both threads have logged a few turns.
      while (time(nullptr) == vStart || vByThread[0] < 3 || vByThread[1] < 3) {
        {
          // Two entries a turn: within a turn only the level or only the component changes, and
          // a turn starts with the kind the last one ended with, often on the other thread.
          std::lock_guard<std::mutex> vTurn(vTurns);
          const size_t vTurnCount = vEntries.size() / 2;
          for (size_t k = 0; k < 2; ++k) {
            const int i = static_cast<int>(vEntries.size());
            Entry vEntry = kKinds[(vTurnCount + k) % 5];
            vEntry.mBefore = nowMillis();
            vEntry.mThread = static_cast<long>(qp_thread_self());
            // Some texts are longer than the writer joins on the stack, one carries a '%'.
            vEntry.mText = std::to_string(i) + (i % 7 == 0 ? std::string(600, 'x') : " 100%");
            vWriter.logEntry(vEntry.mLevel, vEntry.mComponent, vEntry.mText.c_str());
            vEntry.mAfter = nowMillis();
            vEntries.push_back(vEntry);
          }
        }
        ++vByThread[inWho];
        std::this_thread::sleep_for(std::chrono::microseconds(700));
      }
    };
    std::thread vOther(vLogSome, 1);
    vLogSome(0);
    vOther.join();
  }

  std::istringstream vIn(readFile(path("t.log")));
  std::string vLine;
  ASSERT_TRUE(std::getline(vIn, vLine));  // the column header
  long long vFirstSecond = -1, vLastSecond = -1;
  size_t vCount = 0;
  for (; std::getline(vIn, vLine); ++vCount) {
    ASSERT_LT(vCount, vEntries.size());
    const Entry& vEntry = vEntries[vCount];
    const long long vStamp = std::stoll(vLine);  // seconds and milliseconds run together
    ASSERT_TRUE(vStamp >= vEntry.mBefore && vStamp <= vEntry.mAfter) << vLine;
    const time_t vSeconds = static_cast<time_t>(vStamp / 1000);
    struct tm vTm;
    char vDay[64], vExpected[1024];
    strftime(vDay, sizeof vDay, "%Y-%m-%d %H:%M:%S", gmtime_r(&vSeconds, &vTm));
    const std::string vFormat = std::string("%lld\t%s.%03lld\t\t[") + vEntry.mNames + "]\t%s";
    snprintf(vExpected, sizeof vExpected, vFormat.c_str(), vStamp, vDay, vStamp % 1000,
             static_cast<long>(getpid()), vEntry.mThread, vEntry.mText.c_str());
    ASSERT_EQ(vLine, vExpected);
    vFirstSecond = vFirstSecond < 0 ? vStamp / 1000 : vFirstSecond;
    vLastSecond = vStamp / 1000;
  }
  EXPECT_EQ(vCount, vEntries.size());
  EXPECT_GT(vLastSecond, vFirstSecond);  // the date was broken down again at least once
}

}  // namespace
