// Tests of the state file: what each key does over the environment's values, the written file,
// the default file in the working directory, and a running process following the file's changes
// through the poll.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <unistd.h>

#include "QpLogTestHelpers.h"
#include "QpOsHooks.h"

namespace {

TEST_F(QpLogTest, StateFileKeysOverTheEnvironment) {
  const struct {
    EnvList mEnv;
    const char* mFile;
    const char* mPath;
    int mLevel, mFormat, mCreation, mOverflows, mPoll;
    QpLong mMaxSize;
    bool mDisable;
  } kRows[] = {
      // Keys the file does not name take fixed defaults, except path, poll interval and the
      // callback switch, which come from the environment.
      {{{"QP_LOGPATH", "/e.log"}, {"QP_LOGLEVEL", "2"}, {"QP_LOG_MAX_SIZE", "5"}},
       "QP_LOGLEVEL=8\n",
       "/e.log",
       8,
       2,
       1,
       1,
       5,
       -1,
       false},
      {{{"QP_LOGPATH", "/e.log"}},
       "QP_LOGPATH=<NULL>\nQP_LOGLEVEL=\n",
       "/e.log",
       4,
       2,
       1,
       1,
       5,
       -1,
       false},
      {{},
       "QP_LOGPATH=/f.log\nQP_LOG_MAX_OVERFLOWS=0\nQP_LOG_MAX_SIZE=qp_log_size_unbounded\n",
       "/f.log",
       4,
       2,
       1,
       0,
       5,
       -1,
       false},
      {{}, "QP_LOG_MAX_SIZE=0\nQP_LOGLEVEL=abc\n", nullptr, 3, 2, 1, 1, 5, 0, false},
      {{}, "QP_LOG_MAX_SIZE=xyz\nQP_LOGLEVEL=0\n", nullptr, 0, 2, 1, 1, 5, -1, false},
      {{},
       "QP_LOG_MAX_SIZE=12\nQP_LOGFORMAT=XML\nQP_LOGKEEP=append\n",
       nullptr,
       4,
       1,
       3,
       1,
       5,
       12,
       false},
      {{{"QP_LOG_STATE_PATH", "/s"}, {"QP_LOG_STATE_POLL_INTERVAL", "7"}},
       "QP_LOGKEEP=APPEND\n",
       nullptr,
       4,
       2,
       2,
       1,
       7,
       -1,
       false},
      {{{"QP_LOG_STATE_PATH", "/s"}},
       "QP_LOG_STATE_POLL_INTERVAL=0\n",
       nullptr,
       4,
       2,
       1,
       1,
       0,
       -1,
       false},
      // The file can set the callback switch but not clear one the environment set.
      {{{"QP_LOG_DISABLE_CALLBACK", "true"}},
       "QP_LOG_DISABLE_CALLBACK=false\n",
       nullptr,
       4,
       2,
       1,
       1,
       5,
       -1,
       true},
      {{}, "QP_LOG_DISABLE_CALLBACK=TRUE\n", nullptr, 4, 2, 1, 1, 5, -1, true},
  };
  const std::string vFile = path("state.cfg");
  for (const auto& vRow : kRows) {
    SCOPED_TRACE(vRow.mFile);
    setLogEnv(vRow.mEnv);
    writeFile(vFile, vRow.mFile);
    QpLoggingState vState(const_cast<char*>(vFile.c_str()));
    EXPECT_EQ(std::string(vState.getLogPath() != nullptr ? vState.getLogPath() : "<null>"),
              vRow.mPath != nullptr ? vRow.mPath : "<null>");
    EXPECT_STREQ(vState.getLogStatePath(), vFile.c_str());
    EXPECT_EQ(vState.getLevel(), vRow.mLevel);
    EXPECT_EQ(vState.getFormat(), vRow.mFormat);
    EXPECT_EQ(vState.getCreationOpt(), vRow.mCreation);
    EXPECT_EQ(vState.getAppend(), vRow.mCreation == 2);
    EXPECT_EQ(vState.getKeepExisting(), vRow.mCreation == 3);
    EXPECT_EQ(vState.getMaxOverflows(), vRow.mOverflows);
    EXPECT_EQ(vState.getPollIntervalInMins(), vRow.mPoll);
    EXPECT_EQ(vState.getMaxSizeInKb(), vRow.mMaxSize);
    EXPECT_EQ(vState.getDisableCallback(), vRow.mDisable);
    EXPECT_EQ(vState.getComponents(), ALL);
  }
}

TEST_F(QpLogTest, StateFileFailuresLeaveTheOptions) {
  writeFile(path("s.cfg"), "QP_LOGPATH=/kept.log\n");
  QpLoggingState vState(const_cast<char*>(path("s.cfg").c_str()));
  EXPECT_QP_THROW(vState.loadFile(nullptr), QpParameterException, nullptr);
  EXPECT_QP_THROW(vState.loadFile(path("missing.cfg").c_str()), QpFileSystemException, nullptr);
  writeFile(path("s.cfg"), "QP_LOGPATH=/other.log\n");
  {
    QpOsHooks vHooks = {};
    vHooks.mFopen = [](const char*, const char*) -> FILE* { return nullptr; };
    StOsHooks vScope(vHooks);  // exists, but cannot be opened
    EXPECT_QP_THROW(vState.loadFile(path("s.cfg").c_str()), QpFileSystemException, nullptr);
  }
  EXPECT_STREQ(vState.getLogPath(), "/kept.log");
  EXPECT_STREQ(vState.getLogStatePath(), path("s.cfg").c_str());
}

TEST_F(QpLogTest, WritesTheStateFile) {
  QpLoggingState vState;  // the environment's defaults: nothing set
  vState.writeToFile(path("w.cfg").c_str());
  const std::string kRule(34, '#');
  EXPECT_EQ(readFile(path("w.cfg")), kRule + "\n# QpLoggingState\n" + kRule +
                                         "\n\n"
                                         "QP_LOGPATH=<NULL>\n"
                                         "QP_LOGLEVEL=4\n"
                                         "QP_LOGFORMAT=TAB\n"
                                         "QP_LOGFILTER=ALL\n"
                                         "QP_LOGKEEP=OVERWRITE\n"
                                         "QP_LOG_DISABLE_CALLBACK=<NULL>\n"
                                         "QP_LOG_STATE_POLL_INTERVAL=5\n"
                                         "QP_LOG_MAX_SIZE=1048576\n"
                                         "QP_LOG_MAX_OVERFLOWS=1\n");
  vState.setPath("/p.log");
  vState.setMaxSizeInKb(-1);
  vState.setComponents(POOL | NET);
  vState.setDisableCallback(true);
  vState.setKeepExisting(true);
  vState.writeToFile(path("w.cfg").c_str());
  const std::string vText = readFile(path("w.cfg"));
  for (const char* vLine :
       {"QP_LOGPATH=/p.log\n", "QP_LOG_MAX_SIZE=QP_LOG_SIZE_UNBOUNDED\n", "QP_LOGFILTER=POOL,NET\n",
        "QP_LOG_DISABLE_CALLBACK=TRUE\n", "QP_LOGKEEP=CREATE\n"})
    EXPECT_NE(vText.find(vLine), std::string::npos) << vLine;
  QpLoggingState vBack(const_cast<char*>(path("w.cfg").c_str()));
  EXPECT_STREQ(vBack.getLogPath(), "/p.log");
  EXPECT_EQ(vBack.getComponents(), POOL | NET);
  EXPECT_EQ(vBack.getMaxSizeInKb(), -1);
  EXPECT_TRUE(vBack.getKeepExisting());
}

TEST_F(QpLogTest, DefaultStateFileInTheWorkingDirectory) {
  char vOld[4096];
  ASSERT_NE(getcwd(vOld, sizeof vOld), nullptr);
  ASSERT_EQ(chdir(mDir.c_str()), 0);
  writeFile("QpLogState.cfg", "QP_LOGPATH=cwd.log\nQP_LOGLEVEL=6\n");
  QpLoggingState vState;
  EXPECT_STREQ(vState.getLogStatePath(), "QpLogState.cfg");
  EXPECT_STREQ(vState.getLogPath(), "cwd.log");
  EXPECT_EQ(vState.getLevel(), 6);
  ASSERT_EQ(chdir(vOld), 0);
}

TEST_F(QpLogTest, PollFollowsTheStateFile) {
  const std::string vState = path("poll.cfg");
  const std::string vXml = path("a.xml");
  const std::string vTab = path("b.log");
  setLogEnv({{"QP_LOG_STATE_PATH", vState.c_str()}, {"QP_LOG_STATE_POLL_INTERVAL", "0"}});
  writeFile(vState, "QP_LOGPATH=" + vXml + "\nQP_LOGFORMAT=XML\n");
  resetLogging();
  QpLogging::Log(4, POOL, "xml");
  EXPECT_TRUE(QpLogging::mPollConfig);
  auto vTexts = [&] {
    std::vector<std::string> vOut;
    for (const TabEntry& vEntry : readTabLog(vTab)) vOut.push_back(vEntry.mText);
    return vOut;
  };

  // Another file and format: the XML document is ended, the tab file takes over.
  writeFile(vState, "QP_LOGPATH=" + vTab + "\nQP_LOGLEVEL=3\n");
  EXPECT_TRUE(QpLogging::isDebugLogging());
  const std::string vXmlText = readFile(vXml);
  EXPECT_EQ(vXmlText.substr(vXmlText.size() - 10), "</SDKLog>\n");
  QpLogging::Log(4, POOL, "old level passes the early test only");
  QpLogging::Log(3, POOL, "three");

  // The same file, another level: reconfigured in place; the early test follows a message later.
  writeFile(vState, "QP_LOGPATH=" + vTab + "\nQP_LOGLEVEL=8\n");
  QpLogging::isDebugLogging();
  QpLogging::Log(8, POOL, "dropped by the stale early test");
  QpLogging::Log(3, POOL, "refresh");
  QpLogging::Log(8, POOL, "eight");
  EXPECT_EQ(vTexts(),
            (std::vector<std::string>{"SDK Version 4.0.710", "three", "refresh", "eight"}));

  // No path: off, writer closed. Back: on again. A missing file changes nothing.
  writeFile(vState, "QP_LOGLEVEL=8\n");
  EXPECT_FALSE(QpLogging::isDebugLogging());
  EXPECT_EQ(QpLogFactory::mLogBasic, nullptr);
  writeFile(vState, "QP_LOGPATH=" + vTab + "\n");
  EXPECT_TRUE(QpLogging::isDebugLogging());
  std::remove(vState.c_str());
  EXPECT_TRUE(QpLogging::isDebugLogging());
  ASSERT_NE(QpLogFactory::mLogBasic, nullptr);

  // Interval 5: due 300 seconds after the last poll, not 299.
  writeFile(vState, "QP_LOGPATH=" + vTab + "\nQP_LOG_STATE_POLL_INTERVAL=5\n");
  QpLogging::isDebugLogging();
  QpLogging::Log(4, POOL, "takes the interval");
  EXPECT_EQ(QpLogging::mPollConfig_IntervalInMin, 5);
  writeFile(vState, "QP_LOGPATH=" + vTab + "\nQP_LOG_STATE_POLL_INTERVAL=5\nQP_LOGLEVEL=1\n");
  const QpLong vNow = time(nullptr);
  QpLogging::mPollConfig_TimeOfLastPollEvent = vNow - 299;
  QpLogging::isDebugLogging();
  EXPECT_EQ(QpLogFactory::mLogBasic->getLevel(), 4);
  QpLogging::mPollConfig_TimeOfLastPollEvent = vNow - 300;
  QpLogging::isDebugLogging();
  EXPECT_EQ(QpLogFactory::mLogBasic->getLevel(), 1);
}

}  // namespace
