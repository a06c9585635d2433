// Tests of the logging facade: the environment, the option texts, the decision at the first
// message, dispatch and its buffer, the callback, failures of files and memory, many threads.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "QpLogTestHelpers.h"
#include "QpOsHooks.h"

namespace {

TEST_F(QpLogTest, EnvironmentVariables) {
  const char* const kRows[][2] = {
      {"", ""},
      {"QP_LOGPATH=/x.log", "path=/x.log"},
      {"QP_LOGPATH=", ""},
      {"QP_LOGLEVEL=0", "lvl=0"},
      {"QP_LOGLEVEL=abc", "lvl=3"},
      {"QP_LOGLEVEL=00", "lvl=3"},
      {"QP_LOGLEVEL=8", "lvl=8"},
      {"QP_LOGLEVEL=9", "lvl=4"},
      {"QP_LOGLEVEL=-1", "lvl=4"},
      {"QP_LOGLEVEL=", ""},
      {"QP_LOG_MAX_SIZE=0", "size=0"},
      {"QP_LOG_MAX_SIZE=xyz", ""},
      {"QP_LOG_MAX_SIZE=-1", "size=-1"},
      {"QP_LOG_MAX_SIZE=-2147483648", "size=-2147483648"},
      {"QP_LOG_MAX_OVERFLOWS=0", ""},
      {"QP_LOG_MAX_OVERFLOWS=7", "ovf=7"},
      {"QP_LOGFORMAT=xml", "fmt=1"},
      {"QP_LOGFORMAT=foo", "fmt=1"},
      {"QP_LOGFORMAT=Tab", ""},
      {"QP_LOGKEEP=append", "opt=2 flags=a--"},
      {"QP_LOGKEEP=CREATE", "opt=3 flags=-k-"},
      {"QP_LOGKEEP=junk", ""},
      {"QP_LOGFORMAT=XML|QP_LOGKEEP=APPEND", "fmt=1 opt=3 flags=-k-"},
      {"QP_LOGFILTER=pool,NET", "comp=11"},
      {"QP_LOGFILTER=POOL, NET", "comp=1"},
      {"QP_LOGFILTER=,,xyz,", "comp=0"},
      {"QP_LOG_DISABLE_CALLBACK=TrUe", "flags=--d"},
      {"QP_LOG_DISABLE_CALLBACK=yes", ""},
      {"QP_LOG_STATE_POLL_INTERVAL=9", ""},  // read only with a state path
      {"QP_LOG_STATE_PATH=/s|QP_LOG_STATE_POLL_INTERVAL=", "state=/s poll=0"},
      {"QP_LOG_STATE_PATH=/s|QP_LOG_STATE_POLL_INTERVAL=-3", "state=/s poll=-3"},
      // The debugging override ignores every other variable but its filter.
      {"QPLIBRARY_LOG_FILE_DEBUG=/d|QPLIBRARY_LOG_DEBUG_FILTER=API|QP_LOGLEVEL=8|QP_LOGFORMAT=XML"
       "|QP_LOG_STATE_PATH=/s|QP_LOG_DISABLE_CALLBACK=true",
       "path=/d comp=8"},
      {"QPLIBRARY_LOG_FILE_DEBUG=/d;a;b|QP_LOGPATH=/p", "new=/d flags=a--"},
      {"QPLIBRARY_LOG_FILE_DEBUG=|QP_LOGPATH=/p", "path=/p"},
  };
  for (const auto& vRow : kRows) {
    setLogEnv(vRow[0]);
    _logOptions vGot;
    QpLogging::GetEnvVarOptions(vGot);
    EXPECT_EQ(summary(vGot), expectOptions(vRow[1])) << vRow[0];
    qp_free(vGot.newLogFileName);
  }
}

TEST(QpLoggingTexts, OptionTextsBothWays) {
  const struct {
    const char* mText;
    int mFormat, mCreation, mFilter;
  } kRows[] = {
      {nullptr, 1, 1, 0},
      {"xml", 1, 1, XML},
      {"TAB", 2, 1, 0},
      {"append", 1, 2, 0},
      {"Create", 1, 3, 0},
      {"csod,CSO,cso_transactions", 1, 1, CSO_HPPD | CSO | CSO_TRANSACTIONS},
      {"all,refs", 1, 1, -1},
      {"SCRATCH,,app", 1, 1, SCRATCH | APP},
      {"POOLPOOLPOOLPOOLPOOLPOOL,NET", 1, 1, NET},  // a piece is cut to 23 characters
  };
  for (const auto& vRow : kRows) {
    EXPECT_EQ(QpLogging::GetFormatOpt(vRow.mText), vRow.mFormat);
    EXPECT_EQ(QpLogging::GetCreationOpt(vRow.mText), vRow.mCreation);
    EXPECT_EQ(QpLogging::GetFilterOpts(vRow.mText), vRow.mFilter);
  }
  EXPECT_EQ(QpLogging::FormatOptToString(3), nullptr);
  EXPECT_EQ(QpLogging::CreationOptToString(0), nullptr);
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(0x11)), "POOL,NET");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(STATS)), "<null>");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(ALL)), "ALL");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(-1)),
            "POOL,RETRY,XML,API,NET,TRANSACTION,PACKET,EXCEPTION,REFS,MOPI,STREAM,CSOD,CSO,CORE,"
            "LFS,MD5,SHA,LIB,CSO_TRANSACTIONS,CSO_STORAGE_UNIT,SCRATCH,CSO_REPLICATOR,APP");
}

TEST_F(QpLogTest, DefaultLeavesLoggingOff) {
  EXPECT_TRUE(QpLogging::isDebugLogging());  // undecided counts as on
  QpLogging::Log(2, POOL, "dropped");
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
  EXPECT_FALSE(QpLogging::isDebugLogging());
  EXPECT_EQ(QpLogging::mMsgBuf, nullptr);  // nothing was even formatted
}

TEST_F(QpLogTest, FirstMessageDecidesAndFilters) {
  const std::string vLog = path("env.log");
  setLogEnv("QP_LOGPATH=" + vLog);
  resetLogging();
  QpLogging::Log(4, PACKET, "first %d", 1);
  EXPECT_FALSE(QpLogging::isDebugLogging(5, PACKET));
  EXPECT_FALSE(QpLogging::isDebugLogging(4, REFS));
  QpLogging::Log(5, PACKET, "too verbose");
  QpLogging::Log(2, REFS, "filtered");
  QpLogging::Log(2, STATS, "stats");
  QpLogging::Log(1, "100%s done");
  QpLogging::Log(3, NET, "%s", "50%d kept");
  QpLogging::Debug("untagged");
  QpLogging::Debug(0, "component none");
  std::vector<std::string> vGot;
  for (const TabEntry& vEntry : readTabLog(vLog))
    vGot.push_back(vEntry.mLevel + " " + vEntry.mComponent + " " + vEntry.mText);
  EXPECT_EQ(vGot, (std::vector<std::string>{"none --- SDK Version 4.0.710", "debug PACKET first 1",
                                            "warn STATS stats", "error APP 100%s done",
                                            "log NET 50%d kept", "debug EXCEPTION untagged"}));
}

bool logListOnce(const char* inFormat, ...) {
  va_list vArgs;
  va_start(vArgs, inFormat);
  const bool vDone = QpLogging::LogList(4, POOL, inFormat, vArgs);
  va_end(vArgs);
  return vDone;
}

TEST_F(QpLogTest, MessageBufferGrowsBy256) {
  const std::string vLog = path("buf.log");
  setLogEnv("QP_LOGPATH=" + vLog);
  const std::string v300(300, 'x');
  resetLogging();
  EXPECT_FALSE(logListOnce("%s", v300.c_str()));
  EXPECT_TRUE(logListOnce("%s", v300.c_str()));
  EXPECT_TRUE(logListOnce("%s", v300.c_str()));  // the buffer stays at 512
  EXPECT_EQ(QpLogging::mMsgBufLen, 512);
  // One Log call makes at most five attempts: 1278 characters fit from 256, 1279 do not.
  const struct {
    size_t mLength;
    int mFinalLen;
  } kRows[] = {{254, 256}, {255, 512}, {1278, 1280}, {1279, 1536}};
  for (const auto& vRow : kRows) {
    resetLogging();
    QpLogging::Log(4, POOL, "%s", std::string(vRow.mLength, 'y').c_str());
    EXPECT_EQ(QpLogging::mMsgBufLen, vRow.mFinalLen);
    EXPECT_EQ(tabTexts(vLog).back().size(), vRow.mLength == 1279 ? 19 : vRow.mLength);
  }
}

std::vector<std::string> sReceived;
int sCallbackResult = 0;
int recordingCallback(char* inText) {
  EXPECT_NE(inText, QpLogging::mMsgBuf);  // a copy of its own
  sReceived.push_back(inText);
  return sCallbackResult;
}

TEST_F(QpLogTest, CallbackAndItsFailure) {
  sReceived.clear();
  sCallbackResult = 0;
  QpLogging::RegisterCallback(recordingCallback);
  QpLogging::Log(4, API, "one %s", "x");  // no path: a writer for the callback alone
  EXPECT_EQ(QpLogFactory::mLogBasic->getCallback(), nullptr);  // lent only per message
  QpError::ClearError();
  sCallbackResult = 5;
  QpLogging::Log(4, API, "two");
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
  QpErrorInfo* vInfo = QpError::GetErrorInfo();
  ASSERT_NE(vInfo, nullptr);
  EXPECT_EQ(vInfo->errorCode, QP_LOGGING_CALLBACK_ERR);
  EXPECT_EQ(vInfo->sysErrorCode, 5);
  EXPECT_NE(std::string(vInfo->trace).find("QpLogging::LogList(-,-,-,-)"), std::string::npos);
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

int reenteringCallback(char*) {
  EXPECT_QP_THROW(QpLogging::Log(4, API, "inner"), QpSDKInternalException,
                  "This thread is trying to do recursive locking.");
  return 0;
}

TEST_F(QpLogTest, CallbackThatLogsGetsTheRelockRefusal) {
  QpLogging::RegisterCallback(reenteringCallback);
  QpLogging::Log(4, API, "outer");
  QpLogging::Log(4, API, "again");  // the lock was given back
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_ON);
  // What the callback throws is the caller's; the writer does not keep the callback.
  QpLogging::RegisterCallback([](char*) -> int { throw 7; });
  EXPECT_THROW(QpLogging::Log(4, API, "thrown"), int);
  EXPECT_EQ(QpLogFactory::mLogBasic->getCallback(), nullptr);
}

TEST_F(QpLogTest, FileFailuresNeverTakeTheCallerDown) {
  const std::string vLog = path("fail.log");
  setLogEnv("QP_LOGPATH=" + vLog + "|QP_LOG_MAX_SIZE=1");
  resetLogging();
  QpOsHooks vHooks = {};
  vHooks.mFopen = [](const char*, const char*) -> FILE* { return nullptr; };
  {
    StOsHooks vScope(vHooks);
    EXPECT_QP_THROW(QpLogging::Log(4, POOL, "lost"), QpFileSystemException, nullptr);
  }
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_UNDECIDED);  // the next one tries again
  QpLogging::Log(4, POOL, "kept");
  EXPECT_EQ(tabTexts(vLog).back(), "kept");
  {
    // A file that opens but cannot be written: nothing printed, nothing counted or raised.
    QpOsHooks vReadOnly = {};
    vReadOnly.mFopen = [](const char* inPath, const char*) { return std::fopen(inPath, "r"); };
    StOsHooks vScope(vReadOnly);
    QpLoggingState vOptions;
    QpLogging::Start(&vOptions);
    QpLogging::Log(4, POOL, "unwritten");
    EXPECT_EQ(QpLogFactory::mLogBasic->getSizeCount(), 0);
    EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_ON);
  }
  // A rotation that cannot reopen the file stops logging and becomes the last error.
  QpLoggingState vOptions;
  QpLogging::Start(&vOptions);
  QpError::ClearError();
  {
    StOsHooks vScope(vHooks);
    QpLogging::Log(4, POOL, "%s", std::string(1100, 'r').c_str());
  }
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
  EXPECT_EQ(QpError::GetErrorInfo()->errorCode, QP_FILESYS_ERR);
}

TEST_F(QpLogTest, OutOfMemoryOnTheDispatchPathLeavesLoggingUsable) {
  const std::string vLog = path("oom.log");
  setLogEnv("QP_LOGPATH=" + vLog);
  resetLogging();
  const int vAllocations = qpWalkAllocations([&] { QpLogging::Log(4, POOL, "walk"); },
                                             [&] {
                                               QpLogging::Log(4, POOL, "after");
                                               EXPECT_EQ(tabTexts(vLog).back(), "after");
                                               resetLogging();
                                             });
  EXPECT_GE(vAllocations, 3);  // writer, its path, the message buffer
  EXPECT_EQ(tabTexts(vLog).back(), "walk");
}

TEST_F(QpLogTest, ThreadsLogWholeLines) {
  // Configured through a state file polled at every test, so that polls run among the messages
  // as they would in a client.
  const std::string vLog = path("threads.log");
  const std::string vState = path("threads.cfg");
  writeFile(vState, "QP_LOGPATH=" + vLog + "\n");
  setLogEnv("QP_LOG_STATE_PATH=" + vState + "|QP_LOG_STATE_POLL_INTERVAL=0");
  resetLogging();
  const int kThreads = 8, kMessages = 10000;
  std::vector<std::thread> vThreads;
  for (int t = 0; t < kThreads; ++t)
    vThreads.emplace_back([t] {
      for (int i = 0; i < kMessages; ++i) {
        // Each test is a poll (interval 0): only some test, to keep file reads from swamping.
        if (i % 64 == t && !QpLogging::isDebugLogging(3, NET)) ADD_FAILURE() << "logging off";
        QpLogging::Log(3, NET, "thread %d message %d", t, i);
      }
    });
  for (std::thread& vThread : vThreads) vThread.join();
  const std::vector<TabEntry> vEntries = readTabLog(vLog);
  ASSERT_EQ(vEntries.size(), 1u + kThreads * kMessages);
  std::set<std::string> vSeen, vThreadIds[kThreads];
  for (size_t i = 1; i < vEntries.size(); ++i) {
    int vThread = -1, vIndex = -1;
    ASSERT_EQ(std::sscanf(vEntries[i].mText.c_str(), "thread %d message %d", &vThread, &vIndex), 2);
    ASSERT_TRUE(vThread >= 0 && vThread < kThreads);
    vThreadIds[vThread].insert(vEntries[i].mThread);
    vSeen.insert(vEntries[i].mText);
  }
  EXPECT_EQ(vSeen.size(), static_cast<size_t>(kThreads * kMessages));
  for (const auto& vIds : vThreadIds) EXPECT_EQ(vIds.size(), 1u);
}

TEST_F(QpLogTest, StartStopAndUpdateConfig) {
  const std::string vLog = path("start.log");
  std::unique_ptr<QpLoggingState> vOptions = makeState(vLog, kLogFormatTab);
  vOptions->setLevel(2);
  QpLogging::Start(vOptions.get());
  QpLogging::Log(3, POOL, "dropped");
  QpLogging::Log(2, POOL, "kept");
  setLogEnv("QP_LOGLEVEL=3");
  QpLogging::UpdateConfig();
  QpLogging::Log(2, POOL, "refresh");  // the early test follows the writer after a message
  QpLogging::Log(3, POOL, "now kept");
  QpLogging::Stop();
  EXPECT_EQ(QpLogFactory::mLogBasic, nullptr);
  QpLogging::Log(1, POOL, "stopped");
  EXPECT_EQ(tabTexts(vLog),
            (std::vector<std::string>{"SDK Version 4.0.710", "kept", "refresh", "now kept"}));
}

}  // namespace
