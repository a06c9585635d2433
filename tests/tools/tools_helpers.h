// Runs qptool or qpnode as a separate process for the tools' tests: standard input from a string,
// standard output and error captured, a bounded wait. Not thread-safe.
#ifndef QP_TOOLS_HELPERS_H
#define QP_TOOLS_HELPERS_H

#include <string>
#include <vector>

struct QpRunResult {
  int exitCode = -1;  // the exit status, or 128 + signal when a signal ended it, -1 on time-out
  std::string out;
  std::string err;
  long maxRssKb = -1;  // the child's peak resident set (wait4), -1 when it was not reaped
};

// Runs inProgram with inArgs, feeding inStdin, and kills it after inTimeoutMs.
QpRunResult qpRun(const std::string& inProgram, const std::vector<std::string>& inArgs,
                  const std::string& inStdin = "", int inTimeoutMs = 20000);

// A process left running in the background (a node under test); killed with SIGTERM and reaped
// by the destructor. The first line it prints is read at start.
class QpBackground {
 public:
  QpBackground(const std::string& inProgram, const std::vector<std::string>& inArgs,
               int inTimeoutMs = 10000);
  ~QpBackground();
  QpBackground(const QpBackground&) = delete;
  QpBackground& operator=(const QpBackground&) = delete;
  const std::string& firstLine() const { return mFirstLine; }
  int pid() const { return mPid; }
  // Sends SIGTERM and waits (bounded) for the exit status, as qpRun reports it.
  int stop(int inTimeoutMs = 10000);

 private:
  int mPid = -1;
  int mOut = -1;
  std::string mFirstLine;
};

#endif
