// Reading and writing for the offline subcommands: plain POSIX descriptors, so that a pipe, a
// terminal and a file behave alike, and so that a result is written only once it is complete.
#include "QpToolInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qptool {

int openInput(const char* inPath, std::string& outError) {
  if (std::strcmp(inPath, "-") == 0) return 0;
  int vFd;
  do {
    vFd = open(inPath, O_RDONLY | O_CLOEXEC);
  } while (vFd < 0 && errno == EINTR);
  if (vFd < 0) outError = std::string("cannot open ") + inPath + ": " + std::strerror(errno);
  return vFd;
}

long readSome(int inFd, char* outBuffer, size_t inSize) {
  ssize_t vCount;
  do {
    vCount = read(inFd, outBuffer, inSize);
  } while (vCount < 0 && errno == EINTR);
  return static_cast<long>(vCount);
}

bool readInput(const char* inPath, std::string& outData, std::string& outError) {
  const int vFd = openInput(inPath, outError);
  if (vFd < 0) return false;
  outData.clear();
  char vBuffer[65536];
  bool vOk = true;
  while (true) {
    const long vCount = readSome(vFd, vBuffer, sizeof vBuffer);
    if (vCount == 0) break;
    if (vCount < 0) {
      outError = std::string("cannot read ") + inPath + ": " + std::strerror(errno);
      vOk = false;
      break;
    }
    if (outData.size() + static_cast<size_t>(vCount) > kMaxInput) {
      outError =
          std::string(inPath) + " is larger than " + std::to_string(kMaxInput >> 20) + " MiB";
      vOk = false;
      break;
    }
    outData.append(vBuffer, static_cast<size_t>(vCount));
  }
  if (vFd != 0) close(vFd);
  return vOk;
}

bool writeOutput(const std::string& inData) {
  size_t vDone = 0;
  while (vDone < inData.size()) {
    const ssize_t vCount = write(1, inData.data() + vDone, inData.size() - vDone);
    if (vCount < 0 && errno == EINTR) continue;
    if (vCount <= 0) return false;
    vDone += static_cast<size_t>(vCount);
  }
  return true;
}

bool isHelp(const char* inArg) {
  return std::strcmp(inArg, "--help") == 0 || std::strcmp(inArg, "-h") == 0;
}

}  // namespace qptool
