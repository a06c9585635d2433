// qpnode: the loopback node as a program. Prints one line with its endpoints once it listens,
// then serves until SIGINT or SIGTERM, and stops cleanly. Exit 0 after a signal, 1 when it cannot
// bind, 2 on a usage error.
#include <signal.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QpNode.h"

namespace {

const char kUsage[] =
    "usage: qpnode [--udp-port N] [--tcp-port N] [--reply-code CODE] [--reply-exception TEXT]\n"
    "              [--end-marker] [--wrong-marker] [--close-after BYTES] [--delay MS]\n"
    "              [--cluster-id ID] [--cluster-name NAME]\n"
    "Answers probes (UDP) and pool information, monitor and authentication requests (TCP) on\n"
    "127.0.0.1, ephemeral ports by default. Prints \"qpnode udp=127.0.0.1:PORT "
    "tcp=127.0.0.1:PORT\"\n"
    "once listening; stops on SIGINT or SIGTERM. The other options make every reply faulty.\n"
    "Exit status: 0 stopped by a signal, 1 cannot bind, 2 usage error.\n";

int usageError(const std::string& inMessage) {
  std::fprintf(stderr, "qpnode: %s\n", inMessage.c_str());
  return 2;
}

// A whole decimal number within [inMin, inMax].
bool parseNumber(const char* inText, long inMin, long inMax, long& outValue) {
  if (inText == nullptr || *inText == 0) return false;
  char* vEnd = nullptr;
  errno = 0;
  const long vValue = std::strtol(inText, &vEnd, 10);
  if (errno != 0 || *vEnd != 0 || vValue < inMin || vValue > inMax) return false;
  outValue = vValue;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qpnode::QpNodeOptions vOptions;
  for (int i = 1; i < argc; ++i) {
    const std::string vOption = argv[i];
    if (vOption == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (vOption == "--end-marker") {
      vOptions.mEndMarker = true;
      continue;
    }
    if (vOption == "--wrong-marker") {
      vOptions.mWrongMarker = true;
      continue;
    }
    struct Numeric {
      const char* mName;
      long mMin;
      long mMax;
    };
    static const Numeric kNumeric[] = {{"--udp-port", 0, 65535},
                                       {"--tcp-port", 0, 65535},
                                       {"--reply-code", INT_MIN, INT_MAX},
                                       {"--close-after", 0, INT_MAX},
                                       {"--delay", 0, INT_MAX}};
    const bool vTakesText =
        vOption == "--reply-exception" || vOption == "--cluster-id" || vOption == "--cluster-name";
    const Numeric* vNumeric = nullptr;
    for (const Numeric& vEntry : kNumeric) {
      if (vOption == vEntry.mName) vNumeric = &vEntry;
    }
    if (!vTakesText && vNumeric == nullptr) return usageError("unknown option " + vOption);
    if (i + 1 >= argc) return usageError(vOption + " needs a value");
    const char* vValue = argv[++i];
    if (vOption == "--reply-exception") {
      vOptions.mReplyException = vValue;
    } else if (vOption == "--cluster-id") {
      vOptions.mClusterId = vValue;
    } else if (vOption == "--cluster-name") {
      vOptions.mClusterName = vValue;
    } else {
      long vNumber = 0;
      if (!parseNumber(vValue, vNumeric->mMin, vNumeric->mMax, vNumber)) {
        return usageError(vOption + ": not a valid number: " + vValue);
      }
      if (vOption == "--udp-port") vOptions.mUdpPort = static_cast<int>(vNumber);
      if (vOption == "--tcp-port") vOptions.mTcpPort = static_cast<int>(vNumber);
      if (vOption == "--reply-code") vOptions.mReplyCode = static_cast<int>(vNumber);
      if (vOption == "--close-after") vOptions.mCloseAfter = vNumber;
      if (vOption == "--delay") vOptions.mDelayMs = static_cast<int>(vNumber);
    }
  }

  // The signals are taken by sigwait below; blocked before the node's threads exist, so that
  // they inherit the mask and none of them is interrupted instead.
  sigset_t vSignals;
  sigemptyset(&vSignals);
  sigaddset(&vSignals, SIGINT);
  sigaddset(&vSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &vSignals, nullptr);

  qpnode::QpNode vNode(vOptions);
  std::string vError;
  if (!vNode.start(vError)) {
    std::fprintf(stderr, "qpnode: %s\n", vError.c_str());
    return 1;
  }
  std::printf("qpnode %s\n", vNode.endpoints().c_str());
  std::fflush(stdout);

  int vSignal = 0;
  while (sigwait(&vSignals, &vSignal) != 0) {
  }
  vNode.stop();
  return 0;
}
