// The tab writer keeps parts of its line from one entry to the next (the second's date, the
// level, thread and component part). Each line is checked byte for byte against libc's rendering
// of the layout from the line's own second and millisecond, which must lie within the call that
// wrote it, over entries that cross second and millisecond boundaries and change thread, level
// or component one at a time, so that a kept part that goes stale shows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "QpLogTestHelpers.h"

namespace {

struct Kind {
  int mLevel;
  const char* mLevelName;
  component_t mComponent;
  const char* mComponentName;
};
// Taken in turn: the first step changes only the level, the second only the component.
const Kind kKinds[] = {
    {4, "debug", PACKET, "PACKET"},
    {2, "warn", PACKET, "PACKET"},
    {2, "warn", NET, "NET"},
    {8, "dbg+", 0x11, "???"},
    {1, "error", CSO_STORAGE_UNIT, "CSO_STORAGE_UNIT"},
};
const int kKindCount = sizeof kKinds / sizeof kKinds[0];

long long nowMillis() {
  timespec vNow;
  clock_gettime(CLOCK_REALTIME, &vNow);
  return static_cast<long long>(vNow.tv_sec) * 1000 + vNow.tv_nsec / 1000000;
}

std::string expectedLine(long long inSeconds, long inMillis, const char* inLevel, long inThread,
                         const char* inComponent, const std::string& inText) {
  char vTime[128] = "";
  const time_t vSeconds = static_cast<time_t>(inSeconds);
  struct tm vBrokenDown;
  char vDay[123];
  if (inSeconds >= 0 && gmtime_r(&vSeconds, &vBrokenDown) != nullptr &&
      strftime(vDay, sizeof vDay, "%Y-%m-%d %H:%M:%S", &vBrokenDown) != 0)
    snprintf(vTime, sizeof vTime, "%s.%03ld", vDay, inMillis);
  std::string vLine(512 + inText.size(), '\0');
  vLine.resize(static_cast<size_t>(snprintf(
      &vLine[0], vLine.size(), "%lld%.3ld\t%s\t\t[%s]\t\t%ld.%ld\t[%s]\t%s\n", inSeconds, inMillis,
      vTime, inLevel, static_cast<long>(getpid()), inThread, inComponent, inText.c_str())));
  return vLine;
}

TEST_F(QpLogTest, TabLinesStayExactAcrossSecondsAndThreads) {
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("t.log"), kLogFormatTab);
  struct Entry {
    long long mBefore, mAfter;  // the call, in milliseconds
    Kind mKind;
    long mThread;
    std::string mText;
  };
  std::vector<Entry> vEntries;
  const long long vOpened = nowMillis();
  {
    QpLogTab vWriter(vOptions.get());
    vEntries.push_back({vOpened,
                        nowMillis(),
                        {0, "none", ALL, "---"},
                        static_cast<long>(qp_thread_self()),
                        "SDK Version 4.0.710"});
    std::mutex vTurns;  // callers take turns, as the facade's lock makes them
    std::atomic<bool> vStop(false);
    std::atomic<int> vByThread[2] = {{0}, {0}};
    int vTurnCount = 0;
    auto vLogSome = [&](int inWho) {
      while (!vStop.load()) {
        {
          // Two entries a turn: within a turn only the level or only the component changes, and
          // a turn starts with the kind the last one ended with, often on the other thread.
          std::lock_guard<std::mutex> vTurn(vTurns);
          for (int k = 0; k < 2; ++k) {
            const int i = static_cast<int>(vEntries.size());
            // Some texts are longer than the writer joins on the stack, one carries a '%'.
            Entry vEntry{nowMillis(), 0, kKinds[(vTurnCount + k) % kKindCount],
                         static_cast<long>(qp_thread_self()),
                         std::to_string(i) + (i % 7 == 0 ? std::string(600, 'x') : " 100%")};
            vWriter.logEntry(vEntry.mKind.mLevel, vEntry.mKind.mComponent, vEntry.mText.c_str());
            vEntry.mAfter = nowMillis();
            vEntries.push_back(vEntry);
          }
          ++vTurnCount;
        }
        ++vByThread[inWho];
        std::this_thread::sleep_for(std::chrono::microseconds(700));
      }
    };
    std::thread vOther(vLogSome, 1);
    // Until the clock has passed a second boundary and both threads have logged, then a little
    // more.
    const time_t vStart = time(nullptr);
    std::thread vTimer([&] {
      for (int i = 0; i < 1000 && (time(nullptr) == vStart || vByThread[0] < 3 || vByThread[1] < 3);
           ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      vStop.store(true);
    });
    vLogSome(0);
    vOther.join();
    vTimer.join();
  }

  std::istringstream vIn(readFile(path("t.log")));
  std::string vLine;
  ASSERT_TRUE(std::getline(vIn, vLine));  // the column header
  static const std::regex kTime(R"(^(\d+)(\d{3})\t.*)");
  std::set<long long> vSeconds;
  size_t vCount = 0;
  for (; std::getline(vIn, vLine); ++vCount) {
    ASSERT_LT(vCount, vEntries.size());
    const Entry& vEntry = vEntries[vCount];
    std::smatch vMatch;
    ASSERT_TRUE(std::regex_match(vLine, vMatch, kTime)) << vLine;
    const long long vSecond = std::stoll(vMatch[1]);
    const long vMillis = std::stol(vMatch[2]);
    vSeconds.insert(vSecond);
    ASSERT_GE(vSecond * 1000 + vMillis, vEntry.mBefore) << vLine;
    ASSERT_LE(vSecond * 1000 + vMillis, vEntry.mAfter) << vLine;
    ASSERT_EQ(vLine + "\n", expectedLine(vSecond, vMillis, vEntry.mKind.mLevelName, vEntry.mThread,
                                         vEntry.mKind.mComponentName, vEntry.mText));
  }
  EXPECT_EQ(vCount, vEntries.size());
  EXPECT_GE(vSeconds.size(), 2u);  // the date was broken down again at least once
}

}  // namespace
