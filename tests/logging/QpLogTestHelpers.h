// QpLogTestHelpers.h - what the logging tests share: a temporary folder, the logging variables
// set and cleared, and the process-wide logging put back as the library loaded it (undecided,
// default options, no callback), so that no test leaks its configuration into the next.
#ifndef QP_LOG_TEST_HELPERS_H
#define QP_LOG_TEST_HELPERS_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "QpTestSupport.h"

typedef std::vector<std::pair<const char*, const char*>> EnvList;  // null value: unset

// Every variable the logging reads.
extern const char* const kLogVariables[12];

void clearLogEnv();
void setLogEnv(const EnvList& inVars);
// Logging back to its state at load: stopped writer, no callback, options reloaded from the
// (cleared or given) environment, undecided, a 256-byte buffer to come.
void resetLogging();
std::string readFile(const std::string& inPath);
void writeFile(const std::string& inPath, const std::string& inText);
bool fileExists(const std::string& inPath);
std::vector<std::string> splitLines(const std::string& inText);

// One entry of a tab log, checked on the way: the time columns agree (seconds and milliseconds
// against the UTC text) and pid is this process.
struct TabEntry {
  std::string mLevel;
  std::string mComponent;
  std::string mText;
  std::string mThread;
};
// The entries of a tab log file: the column header first (checked exactly), then every line
// parsed; a line that does not parse fails the test.
std::vector<TabEntry> readTabLog(const std::string& inPath);

class QpLogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& inName) const { return mDir + "/" + inName; }
  // Options for a writer built directly: the environment's defaults (none set) with a path.
  std::unique_ptr<QpLoggingState> makeState(const std::string& inPath, int inFormat,
                                            QpLong inMaxSizeInKb = -1, int inMaxOverflows = 1);

  std::string mDir;
};

#endif  // QP_LOG_TEST_HELPERS_H
