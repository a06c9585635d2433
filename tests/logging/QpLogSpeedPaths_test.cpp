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
#include <utility>
#include <vector>

#include "QpLogTestHelpers.h"

namespace {

struct Kind {
  int mLevel;
  const char* mLevelName;
  component_t mComponent;
  const char* mComponentName;
};
// Taken in pairs, in turn: from one to the next only the level, or only the component, changes.
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
  const long vMain = static_cast<long>(qp_thread_self());
  const long long vOpened = nowMillis();
  std::vector<std::pair<long long, long long>> vCalls;  // each entry's call, in milliseconds
  {
    QpLogTab vWriter(vOptions.get());
    vCalls.emplace_back(vOpened, nowMillis());  // the header's own entry
    std::mutex vTurns;  // callers take turns, as the facade's lock makes them
    std::atomic<bool> vStop(false);
    int vEntry = 0;
    std::atomic<int> vByThread[2] = {{0}, {0}};
    auto vLogSome = [&](int inWho) {
      const long vSelf = static_cast<long>(qp_thread_self());
      while (!vStop.load()) {
        {
          std::lock_guard<std::mutex> vTurn(vTurns);
          const int i = vEntry++;
          const Kind& vKind = kKinds[i / 2 % kKindCount];
          // Some texts are longer than the writer joins on the stack, one carries a '%'.
          const std::string vText = "e" + std::to_string(i) + " t" + std::to_string(vSelf) +
                                    (i % 7 == 0 ? std::string(600, 'x') : " 100%");
          const long long vBefore = nowMillis();
          vWriter.logEntry(vKind.mLevel, vKind.mComponent, vText.c_str());
          vCalls.emplace_back(vBefore, nowMillis());
        }
        ++vByThread[inWho];
        std::this_thread::sleep_for(std::chrono::microseconds(700));
      }
    };
    std::thread vOther(vLogSome, 1);
    // Until the clock has passed a second boundary and both threads have logged, then some
    // entries more.
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
  ASSERT_TRUE(std::getline(vIn, vLine));
  EXPECT_EQ(vLine, "Time         \tFormattedTime        \t\tLogLevel\tPID.Thread\tModule\tMessage");
  static const std::regex kLayout(R"(^(\d+)(\d{3})\t.*\t([^\t]*)$)");
  static const std::regex kText(R"(^e(\d+) t(-?\d+)(x+| 100%)$)");
  std::set<long long> vSeconds;
  std::set<long> vThreads;
  int vEntries = 0;
  bool vFirst = true;
  while (std::getline(vIn, vLine)) {
    std::smatch vMatch;
    ASSERT_TRUE(std::regex_match(vLine, vMatch, kLayout)) << vLine;
    const long long vSecond = std::stoll(vMatch[1]);
    const long vMillis = std::stol(vMatch[2]);
    vSeconds.insert(vSecond);
    ASSERT_LT(static_cast<size_t>(vEntries), vCalls.size());
    ASSERT_GE(vSecond * 1000 + vMillis, vCalls[vEntries].first) << vLine;
    ASSERT_LE(vSecond * 1000 + vMillis, vCalls[vEntries].second) << vLine;
    if (vFirst) {  // the header's own entry
      EXPECT_EQ(vLine + "\n",
                expectedLine(vSecond, vMillis, "none", vMain, "---", "SDK Version 4.0.710"));
      vFirst = false;
      ++vEntries;
      continue;
    }
    const std::string vText = vMatch[3].str();
    ASSERT_TRUE(std::regex_match(vText, vMatch, kText)) << vLine;
    const int i = std::stoi(vMatch[1]);
    const long vThread = std::stol(vMatch[2]);
    vThreads.insert(vThread);
    EXPECT_EQ(i + 1, vEntries++);
    const Kind& vKind = kKinds[i / 2 % kKindCount];
    ASSERT_EQ(vLine + "\n", expectedLine(vSecond, vMillis, vKind.mLevelName, vThread,
                                         vKind.mComponentName, vText));
  }
  EXPECT_GE(vSeconds.size(), 2u);  // the date was broken down again at least once
  EXPECT_EQ(vThreads.size(), 2u);
  EXPECT_EQ(vThreads.count(vMain), 1u);
}

}  // namespace
