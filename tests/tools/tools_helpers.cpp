// Process running for the tools' tests: fork and exec with the child's standard streams on scratch
// files, so that no pipe can fill up and block it, and a hard time-out on every wait.
#include "tools_helpers.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

long long nowMs() {
  timespec vNow{};
  clock_gettime(CLOCK_MONOTONIC, &vNow);
  return vNow.tv_sec * 1000LL + vNow.tv_nsec / 1000000;
}

std::string scratchName() {
  static int sCount = 0;
  return "/tmp/qp_tools_test." + std::to_string(getpid()) + "." + std::to_string(++sCount);
}

// Starts inProgram with its standard input, output and error on the files inPaths.
int spawn(const std::string& inProgram, const std::vector<std::string>& inArgs,
          const std::vector<std::string>& inPaths) {
  const pid_t vPid = fork();
  if (vPid == 0) {
    for (int i = 0; i < 3; ++i)
      dup2(open(inPaths[i].c_str(), i == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600), i);
    std::vector<char*> vArgv{const_cast<char*>(inProgram.c_str())};
    for (const std::string& vArg : inArgs) vArgv.push_back(const_cast<char*>(vArg.c_str()));
    vArgv.push_back(nullptr);
    execv(inProgram.c_str(), vArgv.data());
    _exit(127);
  }
  return vPid;
}

// Waits for inPid until inDeadline, then kills it (-1). Its peak resident set goes to *outRssKb.
int reap(int inPid, long long inDeadline, long* outRssKb = nullptr) {
  int vStatus = 0;
  rusage vUsage{};
  pid_t vDone;
  while ((vDone = wait4(inPid, &vStatus, WNOHANG, &vUsage)) == 0 && nowMs() < inDeadline)
    usleep(2000);
  if (vDone != inPid) {
    kill(inPid, SIGKILL);
    waitpid(inPid, &vStatus, 0);
    return -1;
  }
  if (outRssKb != nullptr) *outRssKb = vUsage.ru_maxrss;
  return WIFEXITED(vStatus) ? WEXITSTATUS(vStatus) : 128 + WTERMSIG(vStatus);
}

}  // namespace

QpRunResult qpRun(const std::string& inProgram, const std::vector<std::string>& inArgs,
                  const std::string& inStdin, int inTimeoutMs) {
  const std::string vName = scratchName();
  std::ofstream(vName + ".in", std::ios::binary) << inStdin;
  const int vPid = spawn(inProgram, inArgs, {vName + ".in", vName + ".out", vName + ".err"});
  QpRunResult vResult;
  vResult.exitCode = reap(vPid, nowMs() + inTimeoutMs, &vResult.maxRssKb);
  vResult.out = qpReadFile(vName + ".out");
  vResult.err = qpReadFile(vName + ".err");
  for (const char* vStream : {".in", ".out", ".err"}) std::remove((vName + vStream).c_str());
  return vResult;
}

QpBackground::QpBackground(const std::string& inProgram, const std::vector<std::string>& inArgs)
    : mOut(scratchName()) {
  mPid = spawn(inProgram, inArgs, {"/dev/null", mOut, "/dev/null"});
  const long long vDeadline = nowMs() + 10000;
  while (qpReadFile(mOut).find('\n') == std::string::npos && nowMs() < vDeadline) usleep(2000);
  mFirstLine = qpReadFile(mOut);
  mFirstLine.resize(std::min(mFirstLine.size(), mFirstLine.find('\n')));
  std::sscanf(mFirstLine.c_str(), "qpnode udp=127.0.0.1:%d tcp=127.0.0.1:%d", &mUdp, &mTcp);
}

QpBackground::QpBackground(const std::vector<std::string>& inNodeArgs)
    : QpBackground(QP_QPNODE_PATH, inNodeArgs) {}

int QpBackground::stop() {
  if (mPid <= 0) return -1;
  kill(mPid, SIGTERM);
  const int vCode = reap(mPid, nowMs() + 10000);
  mPid = -1;
  std::remove(mOut.c_str());
  return vCode;
}

std::string qpReadFile(const std::string& inPath) {
  std::ifstream vFile(inPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(vFile), std::istreambuf_iterator<char>());
}
