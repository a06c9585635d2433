// QpLogTestHelpers.h - what the logging tests share: a temporary folder, the logging variables,
// a one-line summary of a set of options for table-driven checks, a checked reader of tab logs,
// and the process-wide logging put back as the library loaded it after every test.
#ifndef QP_LOG_TEST_HELPERS_H
#define QP_LOG_TEST_HELPERS_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QpTestSupport.h"

// Clears every logging variable, then sets those of "NAME=value|NAME=value" (value may be empty).
void setLogEnv(const std::string& inVars);
// Stopped, no callback, options reloaded from the environment, undecided, buffer at 256 bytes.
void resetLogging();
std::string readFile(const std::string& inPath);
void writeFile(const std::string& inPath, const std::string& inText);

// "path=- new=- state=- fmt=2 lvl=4 opt=1 ovf=1 poll=5 comp=fffffeff flags=--- size=1048576"
// (flags: append, keepExisting, disableCallback); expectOptions: the defaults with changes.
std::string summary(const _logOptions& inOptions);
std::string expectOptions(const std::string& inChanges);

// A tab log's entries as "level component text[#thread]"; each line must match the layout, its
// two time columns agree and its pid be this process.
std::vector<std::string> readTabLog(const std::string& inPath, bool inThread = false);

class QpLogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& inName) const { return mDir + "/" + inName; }
  // Defaults of an empty environment, with a path, a format, limits and level 8.
  std::unique_ptr<QpLoggingState> makeState(const std::string& inPath, int inFormat,
                                            QpLong inMaxSizeInKb = -1, int inMaxOverflows = 1);
  std::string mDir;
};

#endif  // QP_LOG_TEST_HELPERS_H
