// Tests of the logging facade: the environment, the option texts, the decision at the first
// message, dispatch and its buffer, the callback, failures of files and memory, many threads.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "QpLogTestHelpers.h"

namespace {

TEST_F(QpLogTest, EnvironmentVariables) {
  const char* const kRows[][2] = {
      {"QP_LOGPATH=/x.log", "path=/x.log"},
      {"QP_LOGLEVEL=abc", "lvl=3"},
      {"QP_LOGLEVEL=9", "lvl=4"},
      {"QP_LOG_MAX_SIZE=0", "size=0"},
      {"QP_LOGKEEP=append", "opt=2 flags=a--"},
      {"QP_LOGKEEP=CREATE", "opt=3 flags=-k-"},
      // Unknown or unusable texts give the defaults; an XML log is never appended to.
      {"QP_LOGFORMAT=tab|QP_LOGKEEP=x|QP_LOGPATH=|QP_LOG_MAX_SIZE=xyz|QP_LOG_MAX_OVERFLOWS=0", ""},
      {"QP_LOGFORMAT=foo|QP_LOGKEEP=append", "fmt=1 opt=3 flags=-k-"},
      {"QP_LOGFILTER=pool,poolpoolpoolpoolpoolpoolpool,NET", "comp=11"},  // 23 characters count
      {"QP_LOG_DISABLE_CALLBACK=TrUe", "flags=--d"},
      {"QP_LOG_STATE_PATH=/s|QP_LOG_STATE_POLL_INTERVAL=-3", "state=/s poll=-3"},
      // The debugging override ignores every other variable but its filter.
      {"QPLIBRARY_LOG_FILE_DEBUG=/d|QPLIBRARY_LOG_DEBUG_FILTER=API|QP_LOGLEVEL=8|QP_LOGFORMAT=XML"
       "|QP_LOG_STATE_PATH=/s|QP_LOG_DISABLE_CALLBACK=true",
       "path=/d comp=8"},
      {"QPLIBRARY_LOG_FILE_DEBUG=/d;a;b|QP_LOGPATH=/p", "new=/d flags=a--"},
  };
  for (const auto& vRow : kRows) {
    setLogEnv(vRow[0]);
    _logOptions vGot;
    QpLogging::GetEnvVarOptions(vGot);
    EXPECT_EQ(summary(vGot), expectOptions(vRow[1])) << vRow[0];
    qp_free(vGot.newLogFileName);
  }
  setLogEnv("");  // the default file is used when its switch is on and QP_LOGPATH is unset
  QpLogging::mUseDefaultFile = true;
  _logOptions vDefault;
  QpLogging::GetEnvVarOptions(vDefault);
  QpLogging::mUseDefaultFile = false;
  EXPECT_STREQ(vDefault.path, "QpLog.txt");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(STATS)), "<null>");
  EXPECT_STREQ(QpLogging::LevelToString(9), "dbg+");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(-1)),
            "POOL,RETRY,XML,API,NET,TRANSACTION,PACKET,EXCEPTION,REFS,MOPI,STREAM,CSOD,CSO,CORE,"
            "LFS,MD5,SHA,LIB,CSO_TRANSACTIONS,CSO_STORAGE_UNIT,SCRATCH,CSO_REPLICATOR,APP");
}

TEST_F(QpLogTest, FirstMessageDecidesAndFilters) {
  QpLogging::Log(2, POOL, "dropped");  // no path: off
  EXPECT_FALSE(QpLogging::isDebugLogging());
  const std::string vLog = path("env.log");
  setLogEnv("QP_LOGPATH=" + vLog);
  resetLogging();
  QpLogging::Log(4, PACKET, "first %d", 1);
  QpLogging::Log(5, PACKET, "too verbose");
  QpLogging::Log(2, REFS, "filtered");
  QpLogging::Log(2, STATS, "stats");
  QpLogging::Log(1, "100%s done");
  QpLogging::Log(3, NET, "%s", "50%d kept");
  QpLogging::Debug("untagged");
  EXPECT_EQ(readTabLog(vLog),
            (std::vector<std::string>{"none --- SDK Version 4.0.710", "debug PACKET first 1",
                                      "warn STATS stats", "error APP 100%s done",
                                      "log NET 50%d kept", "debug EXCEPTION untagged"}));
  EXPECT_EQ(readTabLog(vLog, true)[1],
            "debug PACKET first 1#" + std::to_string(long(qp_thread_self())));
  // A 300-character message grows the buffer once; one call tries at most five sizes.
  const struct {
    size_t mLength;
    int mFinalLen;
  } kRows[] = {{254, 256}, {255, 512}, {300, 512}, {1278, 1280}, {1279, 1536}};
  for (const auto& vRow : kRows) {
    resetLogging();
    QpLogging::Log(4, POOL, "%s", std::string(vRow.mLength, 'y').c_str());
    EXPECT_EQ(QpLogging::mMsgBufLen, vRow.mFinalLen);
    EXPECT_EQ(readTabLog(vLog).back(), vRow.mLength == 1279
                                           ? "none --- SDK Version 4.0.710"
                                           : "debug POOL " + std::string(vRow.mLength, 'y'));
  }
  // Each allocation of the first message may fail, and logging stays usable.
  resetLogging();
  qpWalkAllocations([&] { QpLogging::Log(4, POOL, "walk"); },
                    [&] {
                      QpLogging::Log(4, POOL, "after");
                      EXPECT_EQ(readTabLog(vLog).back(), "debug POOL after");
                      resetLogging();
                    });
  EXPECT_EQ(readTabLog(vLog).back(), "debug POOL walk");
}

std::vector<std::string> sReceived;
int sCallbackResult = 0;
int recordingCallback(char* inText) {
  EXPECT_NE(inText, QpLogging::mMsgBuf);  // a copy of its own
  sReceived.push_back(inText);
  return sCallbackResult;
}

TEST_F(QpLogTest, CallbackAndItsFailure) {
  QpLogging::RegisterCallback(recordingCallback);
  QpLogging::Log(4, API, "one %s", "x");  // no path: a writer for the callback alone
  QpError::ClearError();
  sCallbackResult = 5;
  QpLogging::Log(4, API, "two");
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
  QpErrorInfo* vInfo = QpError::GetErrorInfo();
  ASSERT_NE(vInfo, nullptr);
  EXPECT_EQ(vInfo->errorCode, QP_LOGGING_CALLBACK_ERR);
  EXPECT_EQ(vInfo->sysErrorCode, 5);
  sCallbackResult = 0;
  QpLogging::Log(4, API, "three");  // stopped until the next Start
  QpLoggingState vOptions;
  QpLogging::Start(&vOptions);
  QpLogging::Log(4, API, "four");
  setLogEnv("QP_LOG_DISABLE_CALLBACK=true");
  resetLogging();
  QpLogging::RegisterCallback(recordingCallback);
  QpLogging::Log(4, API, "five");
  EXPECT_EQ(sReceived, (std::vector<std::string>{"one x", "two", "four"}));
}

TEST_F(QpLogTest, ThreadsLogWholeLines) {
  // Through a state file polled at every test: polls run among the messages, as in a client.
  const std::string vLog = path("threads.log");
  const std::string vState = path("threads.cfg");
  writeFile(vState, "QP_LOGPATH=" + vLog + "\n");
  setLogEnv("QP_LOG_STATE_PATH=" + vState + "|QP_LOG_STATE_POLL_INTERVAL=0");
  resetLogging();
  const int kThreads = 4, kMessages = 3000;
  std::vector<std::thread> vThreads;
  for (int t = 0; t < kThreads; ++t)
    vThreads.emplace_back([t] {
      for (int i = 0; i < kMessages; ++i) {
        if (i % 64 == t && !QpLogging::isDebugLogging(3, NET)) ADD_FAILURE() << "logging off";
        QpLogging::Log(3, NET, "%d", t * kMessages + i);
      }
    });
  for (std::thread& vThread : vThreads) vThread.join();
  // Every message once, whole, and each thread under one id.
  std::vector<std::string> vEntries = readTabLog(vLog, true);
  ASSERT_EQ(vEntries.size(), 1u + kThreads * kMessages);
  std::set<std::string> vTexts, vIds, vExpected;
  for (int i = 0; i < kThreads * kMessages; ++i) vExpected.insert("log NET " + std::to_string(i));
  for (size_t i = 1; i < vEntries.size(); ++i) {
    const size_t vHash = vEntries[i].find('#');
    vTexts.insert(vEntries[i].substr(0, vHash));
    vIds.insert(std::to_string(std::stoi(vEntries[i].substr(8)) / kMessages) +
                vEntries[i].substr(vHash));
  }
  EXPECT_TRUE(vTexts == vExpected);
  EXPECT_EQ(vIds.size(), static_cast<size_t>(kThreads));
}

}  // namespace
