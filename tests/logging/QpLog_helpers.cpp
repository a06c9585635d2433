#include "QpLogTestHelpers.h"

#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <regex>
#include <unistd.h>
#include <sstream>

const char* const kLogVariables[12] = {"QPLIBRARY_LOG_FILE_DEBUG",
                                       "QPLIBRARY_LOG_DEBUG_FILTER",
                                       "QP_LOG_STATE_PATH",
                                       "QP_LOG_STATE_POLL_INTERVAL",
                                       "QP_LOG_DISABLE_CALLBACK",
                                       "QP_LOGPATH",
                                       "QP_LOGLEVEL",
                                       "QP_LOGFILTER",
                                       "QP_LOGFORMAT",
                                       "QP_LOGKEEP",
                                       "QP_LOG_MAX_SIZE",
                                       "QP_LOG_MAX_OVERFLOWS"};

void clearLogEnv() {
  for (const char* vName : kLogVariables) unsetenv(vName);
}

void setLogEnv(const EnvList& inVars) {
  clearLogEnv();
  for (const auto& vVar : inVars)
    if (vVar.second != nullptr) setenv(vVar.first, vVar.second, 1);
}

void resetLogging() {
  QpLogging::Stop();
  QpLogging::RegisterCallback(nullptr);
  {
    StCriticalSection vLock(&QpLogging::mLoggerLock);
    QpLogging::mLogFactory.getLogState()->loadDefaults();
    qp_free(QpLogging::mMsgBuf);
    QpLogging::mMsgBuf = nullptr;
    QpLogging::mMsgBufLen = 256;
  }
  QpLogging::mActiveVerbosityLevel = 8;
  QpLogging::mActiveComponentFilter = ALL;
  QpLogging::mLoggingState = QpLogging::LOGGING_UNDECIDED;
}

std::string readFile(const std::string& inPath) {
  std::ifstream vIn(inPath, std::ios::binary);
  std::stringstream vText;
  vText << vIn.rdbuf();
  return vText.str();
}

void writeFile(const std::string& inPath, const std::string& inText) {
  std::ofstream vOut(inPath, std::ios::binary);
  vOut << inText;
}

bool fileExists(const std::string& inPath) {
  return std::filesystem::exists(inPath);
}

std::vector<std::string> splitLines(const std::string& inText) {
  std::vector<std::string> vLines;
  std::istringstream vIn(inText);
  for (std::string vLine; std::getline(vIn, vLine);) vLines.push_back(vLine);
  return vLines;
}

void QpLogTest::SetUp() {
  char vTemplate[] = "/tmp/qplog_XXXXXX";
  ASSERT_NE(mkdtemp(vTemplate), nullptr);
  mDir = vTemplate;
  clearLogEnv();
  resetLogging();
}

void QpLogTest::TearDown() {
  clearLogEnv();
  resetLogging();
  std::filesystem::remove_all(mDir);
}

std::unique_ptr<QpLoggingState> QpLogTest::makeState(const std::string& inPath, int inFormat,
                                                     QpLong inMaxSizeInKb, int inMaxOverflows) {
  std::unique_ptr<QpLoggingState> vState(new QpLoggingState());
  vState->setPath(inPath.empty() ? nullptr : inPath.c_str());
  vState->setFormat(inFormat);
  vState->setMaxSizeInKb(inMaxSizeInKb);
  vState->setMaxOverflows(inMaxOverflows);
  vState->setLevel(8);
  return vState;
}

std::vector<TabEntry> readTabLog(const std::string& inPath) {
  static const std::regex kLine(
      R"(^(\d+)(\d{3})\t(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.(\d{3})\t\t\[([a-z0-9+]+)\]\t\t)"
      R"((\d+)\.(-?\d+)\t\[([^\]]+)\]\t(.*)$)");
  std::vector<TabEntry> vEntries;
  const std::vector<std::string> vLines = splitLines(readFile(inPath));
  for (size_t i = 0; i < vLines.size(); ++i) {
    if (vLines[i] ==
        "Time         \tFormattedTime        \t\tLogLevel\tPID.Thread\tModule\tMessage")
      continue;
    std::smatch vMatch;
    if (!std::regex_match(vLines[i], vMatch, kLine)) {
      ADD_FAILURE() << "line " << i << " of " << inPath << ": '" << vLines[i] << "'";
      continue;
    }
    const time_t vSeconds = static_cast<time_t>(std::stoll(vMatch[1]));
    struct tm vBrokenDown;
    gmtime_r(&vSeconds, &vBrokenDown);
    char vTime[64];
    strftime(vTime, sizeof vTime, "%Y-%m-%d %H:%M:%S", &vBrokenDown);
    EXPECT_EQ(vMatch[3].str(), vTime);
    EXPECT_EQ(vMatch[2].str(), vMatch[4].str());
    EXPECT_EQ(vMatch[6].str(), std::to_string(getpid()));
    vEntries.push_back({vMatch[5], vMatch[8], vMatch[9], vMatch[7]});
  }
  return vEntries;
}
