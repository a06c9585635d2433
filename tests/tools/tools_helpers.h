// Runs qptool, qpnode and tshark as separate processes for the tools' tests: standard input from
// a string, standard output and error captured, a bounded wait. Not thread-safe.
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

// A process in the background, its first line read at start, ended with SIGTERM by the destructor.
// For qpnode, the ports its start line names (0 when it did not start).
class QpBackground {
 public:
  QpBackground(const std::string& inProgram, const std::vector<std::string>& inArgs);
  explicit QpBackground(const std::vector<std::string>& inNodeArgs);
  ~QpBackground() { stop(); }
  QpBackground(const QpBackground&) = delete;
  QpBackground& operator=(const QpBackground&) = delete;
  const std::string& firstLine() const { return mFirstLine; }
  int pid() const { return mPid; }
  int udp() const { return mUdp; }
  int tcp() const { return mTcp; }
  int stop();  // SIGTERM, then the exit status as qpRun reports it

 private:
  int mPid = -1;
  std::string mOut;  // the file its standard output goes to
  int mUdp = 0;
  int mTcp = 0;
  std::string mFirstLine;
};

std::string qpReadFile(const std::string& inPath);

#endif
