// Tests of the state file: what each key does over the environment's values, the written file,
// the default file in the working directory, and a running process following the file's changes
// through the poll.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <unistd.h>

#include "QpLogTestHelpers.h"

namespace {

TEST_F(QpLogTest, StateFileKeysOverTheEnvironment) {
  // Keys the file does not name take fixed defaults (no size limit), except path, poll interval
  // and the callback switch, which come from the environment.
  const char* const kRows[][3] = {
      {"QP_LOGPATH=/e|QP_LOGLEVEL=2|QP_LOG_MAX_SIZE=5", "QP_LOGLEVEL=8\n", "path=/e lvl=8"},
      {"QP_LOGPATH=/e", "QP_LOGPATH=<NULL>\nQP_LOGLEVEL=\n", "path=/e"},
      {"", "QP_LOGPATH=/f\nQP_LOG_MAX_OVERFLOWS=0\nQP_LOG_MAX_SIZE=qp_log_size_unbounded\n",
       "path=/f ovf=0"},
      {"", "QP_LOG_MAX_SIZE=0\nQP_LOGLEVEL=abc\n", "lvl=3 size=0"},
      {"", "QP_LOG_MAX_SIZE=xyz\nQP_LOGLEVEL=0\n", "lvl=0"},
      {"", "QP_LOGFILTER=pool,net\nQP_LOG_STATE_PATH=/ignored\n", "comp=11"},
      {"QP_LOG_STATE_PATH=/s|QP_LOG_STATE_POLL_INTERVAL=7", "QP_LOGKEEP=APPEND\n",
       "poll=7 opt=2 flags=a--"},
      // The file can set the callback switch but not clear one the environment set.
      {"QP_LOG_DISABLE_CALLBACK=true", "QP_LOG_DISABLE_CALLBACK=false\n", "flags=--d"},
  };
  const std::string vFile = path("state.cfg");
  for (const auto& vRow : kRows) {
    setLogEnv(vRow[0]);
    writeFile(vFile, vRow[1]);
    QpLoggingState vState(const_cast<char*>(vFile.c_str()));
    EXPECT_EQ(summary(vState.getLogOptions()),
              expectOptions(std::string("size=-1 state=") + vFile + " " + vRow[2]))
        << vRow[1];
  }
}

TEST_F(QpLogTest, WritesTheStateFileAndReadsTheDefaultOne) {
  QpLoggingState vState;  // the environment's defaults: nothing set
  vState.writeToFile(path("w.cfg").c_str());
  const std::string kRule(34, '#');
  EXPECT_EQ(readFile(path("w.cfg")),
            kRule + "\n# QpLoggingState\n" + kRule +
                "\n\nQP_LOGPATH=<NULL>\nQP_LOGLEVEL=4\nQP_LOGFORMAT=TAB\nQP_LOGFILTER=ALL\n"
                "QP_LOGKEEP=OVERWRITE\nQP_LOG_DISABLE_CALLBACK=<NULL>\n"
                "QP_LOG_STATE_POLL_INTERVAL=5\nQP_LOG_MAX_SIZE=1048576\nQP_LOG_MAX_OVERFLOWS=1\n");
  vState.setMaxSizeInKb(-1);
  vState.writeToFile(path("w.cfg").c_str());
  EXPECT_NE(readFile(path("w.cfg")).find("\nQP_LOG_MAX_SIZE=QP_LOG_SIZE_UNBOUNDED\n"),
            std::string::npos);
  char vOld[4096];
  ASSERT_NE(getcwd(vOld, sizeof vOld), nullptr);
  ASSERT_EQ(chdir(mDir.c_str()), 0);
  writeFile("QpLogState.cfg", "QP_LOGPATH=cwd.log\nQP_LOGLEVEL=6\n");
  QpLoggingState vDefault;
  EXPECT_EQ(summary(vDefault.getLogOptions()),
            expectOptions("path=cwd.log state=QpLogState.cfg lvl=6 size=-1"));
  ASSERT_EQ(chdir(vOld), 0);
}

TEST_F(QpLogTest, PollFollowsTheStateFile) {
  const std::string vState = path("poll.cfg");
  const std::string vTab = path("b.log");
  setLogEnv("QP_LOG_STATE_PATH=" + vState + "|QP_LOG_STATE_POLL_INTERVAL=0");
  writeFile(vState, "QP_LOGPATH=" + vTab + "\n");
  resetLogging();
  QpLogging::Log(4, POOL, "four");
  writeFile(vState, "QP_LOGPATH=" + vTab + "\nQP_LOGLEVEL=3\n");  // picked up by the next test
  EXPECT_TRUE(QpLogging::isDebugLogging());
  QpLogging::Log(4, POOL, "old level passes the early test only");
  QpLogging::Log(3, POOL, "three");
  EXPECT_EQ(readTabLog(vTab), (std::vector<std::string>{"none --- SDK Version 4.0.710",
                                                        "debug POOL four", "log POOL three"}));
  // Interval 5: due 300 seconds after the last poll, not 299.
  writeFile(vState, "QP_LOGPATH=" + vTab + "\nQP_LOG_STATE_POLL_INTERVAL=5\n");
  QpLogging::isDebugLogging();
  QpLogging::Log(3, POOL, "takes the interval");
  writeFile(vState, "QP_LOGPATH=" + vTab + "\nQP_LOG_STATE_POLL_INTERVAL=5\nQP_LOGLEVEL=1\n");
  // Start at the beginning of a second, so that the clock cannot tick between the two readings.
  for (const QpLong vStart = time(nullptr); time(nullptr) == vStart;) usleep(1000);
  const QpLong vNow = time(nullptr);
  QpLogging::mPollConfig_TimeOfLastPollEvent = vNow - 299;
  QpLogging::isDebugLogging();
  EXPECT_EQ(QpLogFactory::mLogBasic->getLevel(), 4);
  QpLogging::mPollConfig_TimeOfLastPollEvent = vNow - 300;
  QpLogging::isDebugLogging();
  EXPECT_EQ(QpLogFactory::mLogBasic->getLevel(), 1);
}

}  // namespace
