#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

#include "QpLogTestHelpers.h"

void setLogEnv(const std::string& inVars) {
  std::istringstream vNames(
      "QPLIBRARY_LOG_FILE_DEBUG QPLIBRARY_LOG_DEBUG_FILTER QP_LOG_STATE_PATH QP_LOGPATH "
      "QP_LOG_STATE_POLL_INTERVAL QP_LOG_DISABLE_CALLBACK QP_LOGLEVEL QP_LOGFILTER QP_LOGFORMAT "
      "QP_LOGKEEP QP_LOG_MAX_SIZE QP_LOG_MAX_OVERFLOWS");
  for (std::string vName; vNames >> vName;) unsetenv(vName.c_str());
  std::istringstream vIn(inVars);
  for (std::string vVar; std::getline(vIn, vVar, '|');) {
    const size_t vEq = vVar.find('=');
    if (vEq != std::string::npos) setenv(vVar.substr(0, vEq).c_str(), vVar.c_str() + vEq + 1, 1);
  }
}

void resetLogging() {
  QpLogging::Stop();
  QpLogging::RegisterCallback(nullptr);
  StCriticalSection vLock(&QpLogging::mLoggerLock);
  QpLogging::mLogFactory.getLogState()->loadDefaults();
  qp_free(QpLogging::mMsgBuf);
  QpLogging::mMsgBuf = nullptr;
  QpLogging::mMsgBufLen = 256;
  QpLogging::mActiveVerbosityLevel = 8;
  QpLogging::mActiveComponentFilter = ALL;
  QpLogging::mLoggingState = QpLogging::LOGGING_UNDECIDED;
}

std::string readFile(const std::string& inPath) {
  std::ostringstream vText;
  vText << std::ifstream(inPath, std::ios::binary).rdbuf();
  return vText.str();
}

void writeFile(const std::string& inPath, const std::string& inText) {
  std::ofstream(inPath, std::ios::binary) << inText;
}

std::string summary(const _logOptions& inOptions) {
  char vLine[512];
  std::snprintf(vLine, sizeof vLine,
                "path=%s new=%s state=%s fmt=%d lvl=%d opt=%d ovf=%d poll=%d comp=%x flags=%c%c%c "
                "size=%lld",
                inOptions.path ? inOptions.path : "-",
                inOptions.newLogFileName ? inOptions.newLogFileName : "-",
                inOptions.logStatePath ? inOptions.logStatePath : "-", inOptions.format,
                inOptions.level, inOptions.creationOpt, inOptions.maxOverflows,
                inOptions.pollIntervalInMins, static_cast<unsigned>(inOptions.components),
                inOptions.append ? 'a' : '-', inOptions.keepExisting ? 'k' : '-',
                inOptions.disableCallback ? 'd' : '-',
                static_cast<long long>(inOptions.maxSizeInKb));
  return vLine;
}

std::string expectOptions(const std::string& inChanges) {
  std::string vLine =
      "path=- new=- state=- fmt=2 lvl=4 opt=1 ovf=1 poll=5 comp=fffffeff flags=--- size=1048576";
  std::istringstream vIn(inChanges);
  for (std::string vWord; vIn >> vWord;)
    vLine = std::regex_replace(
        vLine, std::regex("\\b" + vWord.substr(0, vWord.find('=')) + "=\\S*"), vWord);
  return vLine;
}

std::vector<std::string> readTabLog(const std::string& inPath, bool inThread) {
  static const std::regex kLine(
      R"(^(\d+)(\d{3})\t(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.(\d{3})\t\t\[([a-z0-9+]+)\]\t\t)"
      R"((\d+)\.(-?\d+)\t\[([^\]]+)\]\t(.*)$)");
  std::vector<std::string> vEntries;
  std::istringstream vIn(readFile(inPath));
  for (std::string vLine; std::getline(vIn, vLine);) {
    if (vLine == "Time         \tFormattedTime        \t\tLogLevel\tPID.Thread\tModule\tMessage")
      continue;
    std::smatch vMatch;
    if (!std::regex_match(vLine, vMatch, kLine)) {
      ADD_FAILURE() << inPath << ": '" << vLine << "'";
      continue;
    }
    const time_t vSeconds = static_cast<time_t>(std::stoll(vMatch[1]));
    char vTime[64];
    struct tm vBrokenDown;
    strftime(vTime, sizeof vTime, "%Y-%m-%d %H:%M:%S", gmtime_r(&vSeconds, &vBrokenDown));
    EXPECT_EQ(vMatch[3].str() + vMatch[4].str(), vTime + vMatch[2].str());
    EXPECT_EQ(vMatch[6].str(), std::to_string(getpid()));
    vEntries.push_back(vMatch[5].str() + " " + vMatch[8].str() + " " + vMatch[9].str() +
                       (inThread ? "#" + vMatch[7].str() : ""));
  }
  return vEntries;
}

void QpLogTest::SetUp() {
  char vTemplate[] = "/tmp/qplog_XXXXXX";
  ASSERT_NE(mkdtemp(vTemplate), nullptr);
  mDir = vTemplate;
  setLogEnv("");
  resetLogging();
}

void QpLogTest::TearDown() {
  setLogEnv("");
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
