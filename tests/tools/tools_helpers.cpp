// Process running for the tools' tests: fork and exec with pipes, poll-driven reads so that a
// child that fills one pipe while we wait on the other cannot deadlock, and a hard time-out.
#include "tools_helpers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

long long nowMs() {
  timespec vNow{};
  clock_gettime(CLOCK_MONOTONIC, &vNow);
  return vNow.tv_sec * 1000LL + vNow.tv_nsec / 1000000;
}

// Starts inProgram with its standard streams on pipes; ioFds receives our ends (in, out, err).
int spawn(const std::string& inProgram, const std::vector<std::string>& inArgs, int ioFds[3]) {
  signal(SIGPIPE, SIG_IGN);
  int vPipes[3][2];
  for (auto& vPipe : vPipes)
    if (pipe2(vPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t vPid = fork();
  if (vPid < 0) throw std::runtime_error("fork failed");
  if (vPid == 0) {
    for (int i = 0; i < 3; ++i) dup2(vPipes[i][i == 0 ? 0 : 1], i);
    std::vector<char*> vArgv{const_cast<char*>(inProgram.c_str())};
    for (const std::string& vArg : inArgs) vArgv.push_back(const_cast<char*>(vArg.c_str()));
    vArgv.push_back(nullptr);
    execv(inProgram.c_str(), vArgv.data());
    _exit(127);
  }
  for (int i = 0; i < 3; ++i) {
    close(vPipes[i][i == 0 ? 0 : 1]);
    ioFds[i] = vPipes[i][i == 0 ? 1 : 0];
  }
  return vPid;
}

void closeFd(int& ioFd) {
  if (ioFd >= 0) close(ioFd);
  ioFd = -1;
}

// Feeds inStdin and collects the output into ioRun until the child closes both, a line is
// complete on standard output when inOneLine, or inDeadline passes (false then).
bool pump(int ioFds[3], const std::string& inStdin, QpRunResult& ioRun, long long inDeadline,
          bool inOneLine) {
  size_t vWritten = 0;
  if (inStdin.empty()) closeFd(ioFds[0]);
  while (ioFds[0] >= 0 || ioFds[1] >= 0 || ioFds[2] >= 0) {
    if (inOneLine && ioRun.out.find('\n') != std::string::npos) return true;
    pollfd vPoll[3];
    for (int i = 0; i < 3; ++i) vPoll[i] = {ioFds[i], static_cast<short>(i ? POLLIN : POLLOUT), 0};
    const long long vLeft = inDeadline - nowMs();
    if (vLeft <= 0) return false;
    if (poll(vPoll, 3, static_cast<int>(vLeft)) < 0 && errno != EINTR) return false;
    if (vPoll[0].revents != 0) {
      const ssize_t vN = write(ioFds[0], inStdin.data() + vWritten, inStdin.size() - vWritten);
      if (vN > 0) vWritten += static_cast<size_t>(vN);
      if (vN < 0 || vWritten == inStdin.size()) closeFd(ioFds[0]);
    }
    for (int i = 1; i < 3; ++i) {
      if (vPoll[i].revents == 0) continue;
      char vBuffer[65536];
      const ssize_t vN = read(ioFds[i], vBuffer, sizeof vBuffer);
      if (vN > 0) (i == 1 ? ioRun.out : ioRun.err).append(vBuffer, static_cast<size_t>(vN));
      if (vN == 0 || (vN < 0 && errno != EINTR)) closeFd(ioFds[i]);
    }
  }
  return true;
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
  int vFds[3];
  const int vPid = spawn(inProgram, inArgs, vFds);
  const long long vDeadline = nowMs() + inTimeoutMs;
  QpRunResult vResult;
  const bool vInTime = pump(vFds, inStdin, vResult, vDeadline, false);
  for (int& vFd : vFds) closeFd(vFd);
  vResult.exitCode = reap(vPid, vInTime ? vDeadline + 1000 : 0, &vResult.maxRssKb);
  return vResult;
}

QpBackground::QpBackground(const std::string& inProgram, const std::vector<std::string>& inArgs) {
  int vFds[3];
  mPid = spawn(inProgram, inArgs, vFds);
  closeFd(vFds[2]);  // not read: a chatty child must not block on it
  QpRunResult vStart;
  pump(vFds, "", vStart, nowMs() + 10000, true);
  mOut = vFds[1];
  mFirstLine = vStart.out.substr(0, vStart.out.find('\n'));
}

int QpBackground::stop() {
  if (mPid <= 0) return -1;
  kill(mPid, SIGTERM);
  const int vCode = reap(mPid, nowMs() + 10000);
  mPid = -1;
  closeFd(mOut);
  return vCode;
}

QpNodeProcess::QpNodeProcess(const std::vector<std::string>& inArgs)
    : QpBackground(QP_QPNODE_PATH, inArgs) {
  std::sscanf(firstLine().c_str(), "qpnode udp=127.0.0.1:%d tcp=127.0.0.1:%d", &mUdp, &mTcp);
}

std::string qpReadFile(const std::string& inPath) {
  std::ifstream vFile(inPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(vFile), std::istreambuf_iterator<char>());
}
