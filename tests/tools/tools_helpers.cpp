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
#include <stdexcept>

namespace {

long long nowMs() {
  timespec vNow{};
  clock_gettime(CLOCK_MONOTONIC, &vNow);
  return vNow.tv_sec * 1000LL + vNow.tv_nsec / 1000000;
}

int spawn(const std::string& inProgram, const std::vector<std::string>& inArgs, int outFds[3]) {
  int vIn[2], vOut[2], vErr[2];
  if (pipe2(vIn, O_CLOEXEC) != 0 || pipe2(vOut, O_CLOEXEC) != 0 || pipe2(vErr, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_t vPid = fork();
  if (vPid < 0) throw std::runtime_error("fork failed");
  if (vPid == 0) {
    dup2(vIn[0], 0);
    dup2(vOut[1], 1);
    dup2(vErr[1], 2);
    std::vector<char*> vArgv;
    vArgv.push_back(const_cast<char*>(inProgram.c_str()));
    for (const std::string& vArg : inArgs) vArgv.push_back(const_cast<char*>(vArg.c_str()));
    vArgv.push_back(nullptr);
    execv(inProgram.c_str(), vArgv.data());
    _exit(127);
  }
  close(vIn[0]);
  close(vOut[1]);
  close(vErr[1]);
  outFds[0] = vIn[1];
  outFds[1] = vOut[0];
  outFds[2] = vErr[0];
  return vPid;
}

int decodeStatus(int inStatus) {
  if (WIFEXITED(inStatus)) return WEXITSTATUS(inStatus);
  if (WIFSIGNALED(inStatus)) return 128 + WTERMSIG(inStatus);
  return -1;
}

// Waits for inPid until inDeadline; kills it with SIGKILL after that and reports -1. The child's
// peak resident set goes to *outMaxRssKb when it is given.
int reap(int inPid, long long inDeadline, long* outMaxRssKb = nullptr) {
  int vStatus = 0;
  while (true) {
    rusage vUsage{};
    pid_t vDone = wait4(inPid, &vStatus, WNOHANG, &vUsage);
    if (vDone == inPid) {
      if (outMaxRssKb != nullptr) *outMaxRssKb = vUsage.ru_maxrss;
      return decodeStatus(vStatus);
    }
    if (vDone < 0 && errno != EINTR) return -1;
    if (nowMs() >= inDeadline) {
      kill(inPid, SIGKILL);
      waitpid(inPid, &vStatus, 0);
      return -1;
    }
    usleep(2000);
  }
}

}  // namespace

QpRunResult qpRun(const std::string& inProgram, const std::vector<std::string>& inArgs,
                  const std::string& inStdin, int inTimeoutMs) {
  signal(SIGPIPE, SIG_IGN);
  int vFds[3];
  const int vPid = spawn(inProgram, inArgs, vFds);
  const long long vDeadline = nowMs() + inTimeoutMs;
  QpRunResult vResult;
  size_t vWritten = 0;
  if (inStdin.empty()) {
    close(vFds[0]);
    vFds[0] = -1;
  }
  bool vTimedOut = false;
  while (vFds[0] >= 0 || vFds[1] >= 0 || vFds[2] >= 0) {
    pollfd vPoll[3];
    int vCount = 0;
    int vWhich[3];
    for (int i = 0; i < 3; ++i) {
      if (vFds[i] < 0) continue;
      vPoll[vCount] = {vFds[i], static_cast<short>(i == 0 ? POLLOUT : POLLIN), 0};
      vWhich[vCount++] = i;
    }
    const long long vLeft = vDeadline - nowMs();
    if (vLeft <= 0) {
      vTimedOut = true;
      break;
    }
    if (poll(vPoll, vCount, static_cast<int>(vLeft)) < 0 && errno != EINTR) break;
    for (int k = 0; k < vCount; ++k) {
      const int i = vWhich[k];
      if (vPoll[k].revents == 0) continue;
      if (i == 0) {
        ssize_t vN = write(vFds[0], inStdin.data() + vWritten, inStdin.size() - vWritten);
        if (vN > 0) vWritten += static_cast<size_t>(vN);
        if (vN < 0 || vWritten == inStdin.size()) {
          close(vFds[0]);
          vFds[0] = -1;
        }
        continue;
      }
      char vBuffer[65536];
      ssize_t vN = read(vFds[i], vBuffer, sizeof vBuffer);
      if (vN > 0) {
        (i == 1 ? vResult.out : vResult.err).append(vBuffer, static_cast<size_t>(vN));
      } else if (vN == 0 || errno != EINTR) {
        close(vFds[i]);
        vFds[i] = -1;
      }
    }
  }
  for (int& vFd : vFds)
    if (vFd >= 0) close(vFd);
  vResult.exitCode = reap(vPid, vTimedOut ? nowMs() : vDeadline + 1000, &vResult.maxRssKb);
  return vResult;
}

QpBackground::QpBackground(const std::string& inProgram, const std::vector<std::string>& inArgs,
                           int inTimeoutMs) {
  signal(SIGPIPE, SIG_IGN);
  int vFds[3];
  mPid = spawn(inProgram, inArgs, vFds);
  close(vFds[0]);
  close(vFds[2]);
  mOut = vFds[1];
  const long long vDeadline = nowMs() + inTimeoutMs;
  char vChar = 0;
  while (nowMs() < vDeadline) {
    pollfd vPoll = {mOut, POLLIN, 0};
    if (poll(&vPoll, 1, static_cast<int>(vDeadline - nowMs())) <= 0) break;
    if (read(mOut, &vChar, 1) != 1 || vChar == '\n') break;
    mFirstLine += vChar;
  }
}

QpBackground::~QpBackground() {
  if (mPid > 0) stop();
}

int QpBackground::stop(int inTimeoutMs) {
  if (mPid <= 0) return -1;
  kill(mPid, SIGTERM);
  const int vCode = reap(mPid, nowMs() + inTimeoutMs);
  mPid = -1;
  if (mOut >= 0) close(mOut);
  mOut = -1;
  return vCode;
}
