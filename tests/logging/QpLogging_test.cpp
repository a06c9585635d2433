// Tests of the logging facade: the environment, the option texts, the decision at the first
// message, dispatch and its buffer, the callback, failures of the file layer and of memory, and
// many threads logging into one file.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "QpLogTestHelpers.h"
#include "QpOsHooks.h"

namespace {

struct Expected {
  const char* mPath = nullptr;
  const char* mNewName = nullptr;
  const char* mStatePath = nullptr;
  int mFormat = 2, mLevel = 4, mCreation = 1, mOverflows = 1, mPoll = 5;
  int mComponents = ALL;
  bool mAppend = false, mKeep = false, mDisable = false;
  QpLong mMaxSize = 1048576;
};

std::string orNull(const char* inText) {
  return inText != nullptr ? inText : "<null>";
}

TEST_F(QpLogTest, EnvironmentVariables) {
  struct Row {
    EnvList mEnv;
    std::function<void(Expected&)> mExpect;
  };
  const Row kRows[] = {
      {{}, [](Expected&) {}},
      {{{"QP_LOGPATH", "/x/log.txt"}}, [](Expected& e) { e.mPath = "/x/log.txt"; }},
      {{{"QP_LOGPATH", ""}}, [](Expected&) {}},
      {{{"QP_LOGLEVEL", "0"}}, [](Expected& e) { e.mLevel = 0; }},
      {{{"QP_LOGLEVEL", "abc"}}, [](Expected& e) { e.mLevel = 3; }},
      {{{"QP_LOGLEVEL", "00"}}, [](Expected& e) { e.mLevel = 3; }},
      {{{"QP_LOGLEVEL", "8"}}, [](Expected& e) { e.mLevel = 8; }},
      {{{"QP_LOGLEVEL", "9"}}, [](Expected& e) { e.mLevel = 4; }},
      {{{"QP_LOGLEVEL", "-1"}}, [](Expected& e) { e.mLevel = 4; }},
      {{{"QP_LOGLEVEL", ""}}, [](Expected&) {}},
      {{{"QP_LOG_MAX_SIZE", "0"}}, [](Expected& e) { e.mMaxSize = 0; }},
      {{{"QP_LOG_MAX_SIZE", "xyz"}}, [](Expected&) {}},
      {{{"QP_LOG_MAX_SIZE", "-1"}}, [](Expected& e) { e.mMaxSize = -1; }},
      {{{"QP_LOG_MAX_SIZE", "-2147483648"}}, [](Expected& e) { e.mMaxSize = -2147483648LL; }},
      {{{"QP_LOG_MAX_OVERFLOWS", "0"}}, [](Expected&) {}},
      {{{"QP_LOG_MAX_OVERFLOWS", "x"}}, [](Expected&) {}},
      {{{"QP_LOG_MAX_OVERFLOWS", "7"}}, [](Expected& e) { e.mOverflows = 7; }},
      {{{"QP_LOGFORMAT", "xml"}}, [](Expected& e) { e.mFormat = 1; }},
      {{{"QP_LOGFORMAT", "foo"}}, [](Expected& e) { e.mFormat = 1; }},
      {{{"QP_LOGFORMAT", "Tab"}}, [](Expected&) {}},
      {{{"QP_LOGKEEP", "append"}}, [](Expected& e) { e.mCreation = 2, e.mAppend = true; }},
      {{{"QP_LOGKEEP", "CREATE"}}, [](Expected& e) { e.mCreation = 3, e.mKeep = true; }},
      {{{"QP_LOGKEEP", "junk"}}, [](Expected&) {}},
      {{{"QP_LOGFORMAT", "XML"}, {"QP_LOGKEEP", "APPEND"}},
       [](Expected& e) { e.mFormat = 1, e.mCreation = 3, e.mKeep = true; }},
      {{{"QP_LOGFILTER", "pool,NET"}}, [](Expected& e) { e.mComponents = 0x11; }},
      {{{"QP_LOGFILTER", "POOL, NET"}}, [](Expected& e) { e.mComponents = 0x1; }},
      {{{"QP_LOGFILTER", ",,xyz,"}}, [](Expected& e) { e.mComponents = 0; }},
      {{{"QP_LOG_DISABLE_CALLBACK", "TrUe"}}, [](Expected& e) { e.mDisable = true; }},
      {{{"QP_LOG_DISABLE_CALLBACK", "yes"}}, [](Expected&) {}},
      // The poll interval is read only with a state path; an empty one reads as 0.
      {{{"QP_LOG_STATE_POLL_INTERVAL", "9"}}, [](Expected&) {}},
      {{{"QP_LOG_STATE_PATH", "/s.cfg"}, {"QP_LOG_STATE_POLL_INTERVAL", ""}},
       [](Expected& e) { e.mStatePath = "/s.cfg", e.mPoll = 0; }},
      {{{"QP_LOG_STATE_PATH", "/s.cfg"}, {"QP_LOG_STATE_POLL_INTERVAL", "-3"}},
       [](Expected& e) { e.mStatePath = "/s.cfg", e.mPoll = -3; }},
      // The debugging override ignores every other variable but its filter.
      {{{"QPLIBRARY_LOG_FILE_DEBUG", "/d.log"},
        {"QPLIBRARY_LOG_DEBUG_FILTER", "API"},
        {"QP_LOGLEVEL", "8"},
        {"QP_LOGFORMAT", "XML"},
        {"QP_LOG_STATE_PATH", "/s.cfg"},
        {"QP_LOG_DISABLE_CALLBACK", "true"}},
       [](Expected& e) { e.mPath = "/d.log", e.mComponents = API; }},
      {{{"QPLIBRARY_LOG_FILE_DEBUG", "/d.log;a;b"}, {"QP_LOGPATH", "/p"}},
       [](Expected& e) { e.mNewName = "/d.log", e.mAppend = true; }},
      {{{"QPLIBRARY_LOG_FILE_DEBUG", ""}, {"QP_LOGPATH", "/p"}},
       [](Expected& e) { e.mPath = "/p"; }},
  };
  for (const Row& vRow : kRows) {
    std::string vWhat;
    for (const auto& vVar : vRow.mEnv) vWhat += std::string(vVar.first) + "=" + vVar.second + " ";
    SCOPED_TRACE(vWhat);
    Expected vExpected;
    vRow.mExpect(vExpected);
    setLogEnv(vRow.mEnv);
    _logOptions vGot;
    QpLogging::GetEnvVarOptions(vGot);
    EXPECT_EQ(orNull(vGot.path), orNull(vExpected.mPath));
    EXPECT_EQ(orNull(vGot.newLogFileName), orNull(vExpected.mNewName));
    EXPECT_EQ(orNull(vGot.logStatePath), orNull(vExpected.mStatePath));
    EXPECT_EQ(vGot.format, vExpected.mFormat);
    EXPECT_EQ(vGot.level, vExpected.mLevel);
    EXPECT_EQ(vGot.creationOpt, vExpected.mCreation);
    EXPECT_EQ(vGot.maxOverflows, vExpected.mOverflows);
    EXPECT_EQ(vGot.pollIntervalInMins, vExpected.mPoll);
    EXPECT_EQ(vGot.components, vExpected.mComponents);
    EXPECT_EQ(vGot.append, vExpected.mAppend);
    EXPECT_EQ(vGot.keepExisting, vExpected.mKeep);
    EXPECT_EQ(vGot.disableCallback, vExpected.mDisable);
    EXPECT_EQ(vGot.maxSizeInKb, vExpected.mMaxSize);
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
      {"ALL", 1, 1, ALL},
      {"all,refs", 1, 1, -1},
      {"SCRATCH,,app", 1, 1, SCRATCH | APP},
      {"POOLPOOLPOOLPOOLPOOLPOOL,NET", 1, 1, NET},  // a piece is cut to 23 characters
  };
  for (const auto& vRow : kRows) {
    SCOPED_TRACE(orNull(vRow.mText));
    EXPECT_EQ(QpLogging::GetFormatOpt(vRow.mText), vRow.mFormat);
    EXPECT_EQ(QpLogging::GetCreationOpt(vRow.mText), vRow.mCreation);
    EXPECT_EQ(QpLogging::GetFilterOpts(vRow.mText), vRow.mFilter);
  }
  EXPECT_STREQ(QpLogging::FormatOptToString(1), "XML");
  EXPECT_STREQ(QpLogging::FormatOptToString(2), "TAB");
  EXPECT_EQ(QpLogging::FormatOptToString(3), nullptr);
  EXPECT_STREQ(QpLogging::CreationOptToString(3), "CREATE");
  EXPECT_EQ(QpLogging::CreationOptToString(0), nullptr);

  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(0x11)), "POOL,NET");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(0)), "<null>");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(STATS)), "<null>");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(ALL)), "ALL");
  EXPECT_EQ(qpTake(QpLogging::FilterOptsToString(-1)),
            "POOL,RETRY,XML,API,NET,TRANSACTION,PACKET,EXCEPTION,REFS,MOPI,STREAM,CSOD,CSO,CORE,"
            "LFS,MD5,SHA,LIB,CSO_TRANSACTIONS,CSO_STORAGE_UNIT,SCRATCH,CSO_REPLICATOR,APP");
  EXPECT_STREQ(QpLogging::ComponentToString(0x11), "???");
  EXPECT_STREQ(QpLogging::ComponentToString(CSO_HPPD), "CSO_HPPD");
  EXPECT_STREQ(QpLogging::LevelToString(9), "dbg+");
}

TEST_F(QpLogTest, DefaultLeavesLoggingOff) {
  EXPECT_TRUE(QpLogging::isDebugLogging());  // undecided counts as on
  QpLogging::Log(2, POOL, "dropped");
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
  EXPECT_FALSE(QpLogging::isDebugLogging());
  EXPECT_FALSE(QpLogging::isDebugLogging(1, POOL));
  EXPECT_EQ(QpLogFactory::mLogBasic, nullptr);
  EXPECT_EQ(QpLogging::mMsgBuf, nullptr);  // nothing was even formatted
}

TEST_F(QpLogTest, FirstMessageDecidesAndFilters) {
  const std::string vLog = path("env.log");
  setLogEnv({{"QP_LOGPATH", vLog.c_str()}});
  resetLogging();
  QpLogging::Log(4, PACKET, "first %d", 1);
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_ON);
  EXPECT_EQ(QpLogging::mActiveVerbosityLevel, 4);
  EXPECT_FALSE(QpLogging::isDebugLogging(5, PACKET));
  EXPECT_FALSE(QpLogging::isDebugLogging(4, REFS));
  EXPECT_TRUE(QpLogging::isDebugLogging(4, STATS));
  QpLogging::Log(5, PACKET, "too verbose");
  QpLogging::Log(2, REFS, "filtered");
  QpLogging::Log(2, STATS, "stats");
  QpLogging::Log(1, "100%s done");
  QpLogging::Log(3, NET, "%s", "50%d kept");
  QpLogging::Debug("untagged");
  QpLogging::Debug(0, "component none");
  const std::vector<TabEntry> vEntries = readTabLog(vLog);
  const std::vector<std::vector<std::string>> kExpected = {{"none", "---", "SDK Version 4.0.710"},
                                                           {"debug", "PACKET", "first 1"},
                                                           {"warn", "STATS", "stats"},
                                                           {"error", "APP", "100%s done"},
                                                           {"log", "NET", "50%d kept"},
                                                           {"debug", "EXCEPTION", "untagged"}};
  ASSERT_EQ(vEntries.size(), kExpected.size());
  for (size_t i = 0; i < vEntries.size(); ++i) {
    EXPECT_EQ(vEntries[i].mLevel, kExpected[i][0]);
    EXPECT_EQ(vEntries[i].mComponent, kExpected[i][1]);
    EXPECT_EQ(vEntries[i].mText, kExpected[i][2]);
  }
}

TEST_F(QpLogTest, MessageBufferGrowsBy256) {
  const std::string vLog = path("buf.log");
  setLogEnv({{"QP_LOGPATH", vLog.c_str()}});
  resetLogging();
  QpLogging::Log(4, POOL, "decide");
  const std::string v300(300, 'x');
  auto vOnce = [&](const std::string& inText) {
    return [](const char* inFormat, ...) {
      va_list vArgs;
      va_start(vArgs, inFormat);
      bool vDone = QpLogging::LogList(4, POOL, inFormat, vArgs);
      va_end(vArgs);
      return vDone;
    }("%s", inText.c_str());
  };
  EXPECT_FALSE(vOnce(v300));
  EXPECT_EQ(QpLogging::mMsgBufLen, 512);
  EXPECT_TRUE(vOnce(v300));
  EXPECT_TRUE(vOnce(v300));  // the buffer stays at 512
  EXPECT_EQ(QpLogging::mMsgBufLen, 512);

  // One Log call makes at most five attempts: 1278 characters fit from 256, 1279 do not.
  const struct {
    size_t mLength;
    bool mWritten;
    int mFinalLen;
  } kRows[] = {{254, true, 256}, {255, true, 512}, {1278, true, 1280}, {1279, false, 1536}};
  for (const auto& vRow : kRows) {
    SCOPED_TRACE(vRow.mLength);
    {
      StCriticalSection vLock(&QpLogging::mLoggerLock);
      qp_free(QpLogging::mMsgBuf);
      QpLogging::mMsgBuf = nullptr;
      QpLogging::mMsgBufLen = 256;
    }
    const std::string vText(vRow.mLength, 'y');
    QpLogging::Log(4, POOL, "%s", vText.c_str());
    EXPECT_EQ(QpLogging::mMsgBufLen, vRow.mFinalLen);
    EXPECT_EQ(readTabLog(vLog).back().mText == vText, vRow.mWritten);
  }
}

std::vector<std::string> sReceived;
std::vector<const void*> sReceivedAt;
int sCallbackResult = 0;

int recordingCallback(char* inText) {
  sReceived.push_back(inText);
  sReceivedAt.push_back(inText);
  inText[0] = '#';  // the callback owns a copy: scribbling on it harms nobody
  return sCallbackResult;
}

TEST_F(QpLogTest, CallbackGetsCopiesAndItsFailureStopsLogging) {
  sReceived.clear();
  sReceivedAt.clear();
  sCallbackResult = 0;
  QpLogging::RegisterCallback(recordingCallback);
  QpLogging::Log(4, API, "one %s", "x");  // no path: a writer for the callback alone
  QpLogging::Log(4, API, "two");
  ASSERT_EQ(sReceived.size(), 2u);
  EXPECT_EQ(sReceived[0], "one x");
  EXPECT_EQ(sReceived[1], "two");
  EXPECT_NE(sReceivedAt[1], static_cast<const void*>(QpLogging::mMsgBuf));
  EXPECT_EQ(QpLogFactory::mLogBasic->getCallback(), nullptr);  // lent only per message

  QpError::ClearError();
  sCallbackResult = 5;
  QpLogging::Log(4, API, "three");
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
  QpErrorInfo* vInfo = QpError::GetErrorInfo();
  ASSERT_NE(vInfo, nullptr);
  EXPECT_EQ(vInfo->errorCode, QP_LOGGING_CALLBACK_ERR);
  EXPECT_EQ(vInfo->sysErrorCode, 5);
  EXPECT_NE(std::string(vInfo->trace).find("QpLogging::LogList(-,-,-,-)"), std::string::npos);
  sCallbackResult = 0;
  QpLogging::Log(4, API, "four");  // stopped until the next Start
  EXPECT_EQ(sReceived.size(), 3u);
  QpLoggingState vOptions;
  QpLogging::Start(&vOptions);
  QpLogging::Log(4, API, "five");
  EXPECT_EQ(sReceived.back(), "five");

  // A callback disabled in the options is not called.
  setLogEnv({{"QP_LOG_DISABLE_CALLBACK", "true"}});
  resetLogging();
  QpLogging::RegisterCallback(recordingCallback);
  QpLogging::Log(4, API, "six");
  EXPECT_EQ(sReceived.back(), "five");
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
}

std::string sRefusal;
int reenteringCallback(char*) {
  try {
    QpLogging::Log(4, API, "from inside");
  } catch (QpSDKInternalException& e) {
    sRefusal = qpTake(e.GetMessageString());
  }
  return 0;
}

TEST_F(QpLogTest, CallbackThatLogsGetsTheRelockRefusal) {
  sRefusal.clear();
  QpLogging::RegisterCallback(reenteringCallback);
  QpLogging::Log(4, API, "outer");
  EXPECT_EQ(sRefusal, "This thread is trying to do recursive locking.");
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_ON);
  sRefusal.clear();
  QpLogging::Log(4, API, "again");  // the lock was given back
  EXPECT_EQ(sRefusal, "This thread is trying to do recursive locking.");
}

FILE* failingFopen(const char*, const char*) {
  errno = EACCES;
  return nullptr;
}
FILE* readOnlyFopen(const char* inPath, const char*) {
  FILE* vFile = std::fopen(inPath, "a");  // exists afterwards, but the handle cannot write
  if (vFile != nullptr) std::fclose(vFile);
  return std::fopen(inPath, "r");
}

TEST_F(QpLogTest, FileFailuresNeverTakeTheCallerDown) {
  const std::string vLog = path("fail.log");
  setLogEnv({{"QP_LOGPATH", vLog.c_str()}, {"QP_LOG_MAX_SIZE", "1"}, {"QP_LOGLEVEL", "8"}});
  resetLogging();
  QpOsHooks vHooks = {};
  vHooks.mFopen = failingFopen;
  {
    StOsHooks vScope(vHooks);
    EXPECT_QP_THROW(QpLogging::Log(4, POOL, "lost"), QpFileSystemException, nullptr);
  }
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_UNDECIDED);  // the next one tries again
  QpLogging::Log(4, POOL, "kept");
  EXPECT_EQ(readTabLog(vLog).back().mText, "kept");

  // A file that opens but cannot be written: nothing printed, nothing counted, nothing raised.
  QpLogging::Stop();
  {
    vHooks.mFopen = readOnlyFopen;
    StOsHooks vScope(vHooks);
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
    vHooks.mFopen = failingFopen;
    StOsHooks vScope(vHooks);
    QpLogging::Log(4, POOL, "%s", std::string(1100, 'r').c_str());
  }
  EXPECT_EQ(QpLogging::mLoggingState, QpLogging::LOGGING_OFF);
  ASSERT_NE(QpError::GetErrorInfo(), nullptr);
  EXPECT_EQ(QpError::GetErrorInfo()->errorCode, QP_FILESYS_ERR);
}

TEST_F(QpLogTest, OutOfMemoryOnTheDispatchPathLeavesLoggingUsable) {
  const std::string vLog = path("oom.log");
  setLogEnv({{"QP_LOGPATH", vLog.c_str()}});
  auto vFresh = [&] {
    resetLogging();
    std::remove(vLog.c_str());
  };
  vFresh();
  const int vAllocations = qpWalkAllocations([&] { QpLogging::Log(4, POOL, "walk"); },
                                             [&] {
                                               QpLogging::Log(4, POOL, "after");
                                               EXPECT_EQ(readTabLog(vLog).back().mText, "after");
                                               vFresh();
                                             });
  EXPECT_GE(vAllocations, 3);  // writer, its path, the message buffer
  EXPECT_EQ(readTabLog(vLog).back().mText, "walk");
}

TEST_F(QpLogTest, ThreadsLogWholeLines) {
  // Configured through a state file polled at every test, so that polls run among the messages
  // as they would in a client.
  const std::string vLog = path("threads.log");
  const std::string vState = path("threads.cfg");
  writeFile(vState, "QP_LOGPATH=" + vLog + "\n");
  setLogEnv({{"QP_LOG_STATE_PATH", vState.c_str()}, {"QP_LOG_STATE_POLL_INTERVAL", "0"}});
  resetLogging();
  const int kThreads = 8;
  const int kMessages = 10000;
  std::vector<std::thread> vThreads;
  for (int t = 0; t < kThreads; ++t)
    vThreads.emplace_back([t] {
      for (int i = 0; i < kMessages; ++i) {
        // Every thread tests first, as callers do; each test is a poll (interval 0), so only
        // some of them test, to keep the file reads from swamping the run.
        if (i % 64 == t && !QpLogging::isDebugLogging(3, NET)) ADD_FAILURE() << "logging off";
        QpLogging::Log(3, NET, "thread %d message %d", t, i);
      }
    });
  for (std::thread& vThread : vThreads) vThread.join();
  const std::vector<TabEntry> vEntries = readTabLog(vLog);
  ASSERT_EQ(vEntries.size(), 1u + kThreads * kMessages);
  std::set<std::string> vSeen;
  std::vector<std::set<std::string>> vThreadIds(kThreads);
  for (size_t i = 1; i < vEntries.size(); ++i) {
    int vThread = -1, vIndex = -1;
    ASSERT_EQ(std::sscanf(vEntries[i].mText.c_str(), "thread %d message %d", &vThread, &vIndex), 2);
    ASSERT_TRUE(vThread >= 0 && vThread < kThreads);
    vThreadIds[vThread].insert(vEntries[i].mThread);
    EXPECT_TRUE(vSeen.insert(vEntries[i].mText).second);
  }
  EXPECT_EQ(vSeen.size(), static_cast<size_t>(kThreads * kMessages));
  for (const auto& vIds : vThreadIds) EXPECT_EQ(vIds.size(), 1u);
}

TEST_F(QpLogTest, StartStopAndUpdateConfig) {
  const std::string vLog = path("start.log");
  std::unique_ptr<QpLoggingState> vOptions = makeState(vLog, kLogFormatTab);
  vOptions->setLevel(2);
  QpLogging::Start(vOptions.get());
  EXPECT_EQ(QpLogging::mActiveVerbosityLevel, 2);
  QpLogging::Log(3, POOL, "dropped");
  QpLogging::Log(2, POOL, "kept");
  setenv("QP_LOGLEVEL", "3", 1);
  QpLogging::UpdateConfig();
  QpLogging::Log(2, POOL, "refresh");  // the active copy follows the writer after a message
  QpLogging::Log(3, POOL, "now kept");
  QpLogging::Stop();
  EXPECT_EQ(QpLogFactory::mLogBasic, nullptr);
  QpLogging::Log(1, POOL, "stopped");
  std::vector<std::string> vTexts;
  for (const TabEntry& vEntry : readTabLog(vLog)) vTexts.push_back(vEntry.mText);
  EXPECT_EQ(vTexts,
            (std::vector<std::string>{"SDK Version 4.0.710", "kept", "refresh", "now kept"}));
}

}  // namespace
