// The subcommands that talk to a node: probe (a datagram exchange), poolinfo (a framed exchange
// on a stream connection) and demo, which runs both against a node started in this process and
// shows every packet on the way, with the library's log written to a tab-separated file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "QpNode.h"
#include "QpToolCommands.h"

namespace qptool {

namespace {

const int kDefaultTimeoutMs = 5000;
const int kMaxTimeoutMs = 3600000;
const short kMaxProbeAddresses = 64;  // a count from a node is not trusted further

const char kProbeUsage[] = "usage: qptool probe ADDRESS [--timeout MS]";
const char kPoolinfoUsage[] = "usage: qptool poolinfo ADDRESS [--timeout MS]";

// ADDRESS [--timeout MS], in any order. Returns kExitOk or the exit code of the reported error.
int parseTarget(const char* inSubcommand, const char* inUsage, int argc, char** argv,
                std::string& outAddress, int& outTimeoutMs) {
  outTimeoutMs = kDefaultTimeoutMs;
  bool vHaveAddress = false;
  for (int i = 1; i < argc; ++i) {
    const std::string vArg = argv[i];
    if (vArg == "--timeout") {
      if (i + 1 >= argc) return fail(inSubcommand, "--timeout needs a value", kExitUsage);
      const std::string vValue = argv[++i];
      char* vEnd = nullptr;
      const long vMs = std::strtol(vValue.c_str(), &vEnd, 10);
      if (vValue.empty() || *vEnd != 0 || vMs <= 0 || vMs > kMaxTimeoutMs) {
        return fail(inSubcommand, "--timeout: not a time-out in milliseconds: " + vValue,
                    kExitUsage);
      }
      outTimeoutMs = static_cast<int>(vMs);
    } else if (vArg.size() > 1 && vArg[0] == '-') {
      return fail(inSubcommand, "unknown option " + vArg + " (" + inUsage + ")", kExitUsage);
    } else if (vHaveAddress) {
      return fail(inSubcommand, "more than one ADDRESS (" + std::string(inUsage) + ")", kExitUsage);
    } else {
      outAddress = vArg;
      vHaveAddress = true;
    }
  }
  if (!vHaveAddress)
    return fail(inSubcommand, "missing ADDRESS (" + std::string(inUsage) + ")", kExitUsage);
  return kExitOk;
}

// Parses inText as a server address; false (reported) when it is not one.
bool readAddress(const char* inSubcommand, const std::string& inText, QpAddress& outAddress,
                 int& outExit) {
  try {
    outAddress.strcpy(inText.c_str());
    outAddress.validate();
    return true;
  } catch (QpException& e) {
    outExit =
        fail(inSubcommand, "not a server address: '" + inText + "': " + describe(e), kExitInput);
    return false;
  }
}

// The address that probes go to: the datagram port when the text names one of its own.
QpAddress probeAddress(const QpAddress& inAddress) {
  const int vDatagramPort = inAddress.GetDatagramPort();
  if (vDatagramPort == 0 || vDatagramPort == inAddress.GetPort()) return QpAddress(inAddress);
  StMalloc vHost(inAddress.GetAddress());
  const std::string vText =
      std::string(static_cast<const char*>(vHost.Get())) + ":" + std::to_string(vDatagramPort);
  return QpAddress(vText.c_str());
}

void printDump(const char* inLabel, QpSmartPacket& inPacket) {
  void* vData = nullptr;
  int vLen = 0;
  inPacket.toBytes(&vData, &vLen);
  StMalloc vText(inPacket.dump());
  std::printf("%s (%d bytes):\n%s", inLabel, vLen, static_cast<const char*>(vText.Get()));
}

// The text that one of the packet's string getters reads.
template <class P, class Q>
std::string text(void (P::*inGetter)(QpBasicStringBuffer&), Q& inPacket) {
  QpStringBuffer vText;
  (inPacket.*inGetter)(vText);
  return vText.toStringConst();
}

std::string replicas(QpAddressArray& inArray) {
  std::string vList;
  for (int i = 0; i < inArray.getSize(); ++i) {
    if (i > 0) vList += ",";
    vList += inArray.getConstAddress(i);
  }
  return vList;
}

std::string clusterTime(QpLong inMillis) {
  std::string vText = std::to_string(inMillis);
  try {
    QpTime vTime(inMillis);
    vText += std::string(" (") + vTime.getStringWithMilliseconds().toStringConst() + ")";
  } catch (QpException&) {
    // A time the calendar cannot show is printed as the count alone.
  }
  return vText;
}

// One probe exchange; prints the packets when inDump is set, then the result.
void probe(const QpAddress& inAddress, int inTimeoutMs, bool inDump) {
  QpDatagramSocket vSocket;
  vSocket.setTimeout(inTimeoutMs);
  vSocket.open(probeAddress(inAddress));
  QpStringBuffer vTransaction("qptool-probe");
  HPPProbeRequest vRequest(&vTransaction);
  if (inDump) printDump("probe request", vRequest);
  vRequest.send(vSocket);
  HPPProbeReply vReply(nullptr);
  vReply.receive2(vSocket);
  if (inDump) printDump("probe reply", vReply);
  vReply.checkControl();

  std::string vProbeAddresses;
  const int vCount = vReply.GetNumProbeAddresses();
  for (short i = 0; i < vCount && i < kMaxProbeAddresses; ++i) {
    QpAddress vAddress;
    vReply.GetProbeAddress(i, vAddress);
    vProbeAddresses += (i > 0 ? "," : "") + std::string(vAddress.toStringConst());
  }
  QpAddressArray vReplicas;
  vReply.GetReplica(vReplicas);
  std::printf("cluster id: %s\n", text(&PoolServerPacket::GetClusterID, vReply).c_str());
  std::printf("segment size: %d\n", vReply.GetSegmentSize());
  std::printf("idle time-out: %lld\n", static_cast<long long>(vReply.GetIdleTimeout()));
  std::printf("cluster time: %s\n", clusterTime(vReply.GetClusterTimestamp()).c_str());
  std::printf("probe addresses: %s\n", vProbeAddresses.c_str());
  std::printf("capabilities: %s\n",
              text(&PoolServerPacket::GetClusterCapabilities, vReply).c_str());
  std::printf("replicas: %s\n", replicas(vReplicas).c_str());
}

// One pool-information exchange; prints the packets when inDump is set, then the result.
void poolinfo(const QpAddress& inAddress, int inTimeoutMs, bool inDump) {
  QpStreamSocket vSocket;
  vSocket.setTimeout(inTimeoutMs);
  vSocket.open(inAddress);
  QpStringBuffer vTransaction("qptool-poolinfo");
  HPPGetPoolInfoRequest vRequest(&vTransaction);
  if (inDump) printDump("poolinfo request", vRequest);
  vRequest.send(vSocket);
  HPPGetPoolInfoReply vReply(nullptr);
  vReply.receive(vSocket);
  if (inDump) printDump("poolinfo reply", vReply);
  vReply.checkControl();

  QpAddressArray vReplicas;
  vReply.GetReplica(vReplicas);
  std::printf("cluster name: %s\n", text(&PoolPacket::GetClusterName, vReply).c_str());
  std::printf("cluster id: %s\n", text(&PoolClientPacket::GetClusterID, vReply).c_str());
  std::printf("version: %s\n", text(&PoolPacket::GetPoolVersion, vReply).c_str());
  std::printf("capacity: %lld\n", static_cast<long long>(vReply.GetCapacity()));
  std::printf("free: %lld\n", static_cast<long long>(vReply.GetBytesFree()));
  std::printf("capabilities: %s\n",
              text(&PoolClientPacket::GetClusterCapabilities, vReply).c_str());
  std::printf("replicas: %s\n", replicas(vReplicas).c_str());
}

int runExchange(const char* inSubcommand, const char* inUsage, int argc, char** argv,
                void (*inExchange)(const QpAddress&, int, bool)) {
  std::string vText;
  int vTimeoutMs = 0;
  int vExit = parseTarget(inSubcommand, inUsage, argc, argv, vText, vTimeoutMs);
  if (vExit != kExitOk) return vExit;
  QpAddress vAddress;
  if (!readAddress(inSubcommand, vText, vAddress, vExit)) return vExit;
  try {
    inExchange(vAddress, vTimeoutMs, false);
  } catch (QpException& e) {
    std::fflush(stdout);
    return fail(inSubcommand, describe(e), kExitFailed);
  }
  return kExitOk;
}

// Turns the library's logging on, tab-separated and at full detail, into inPath.
void startLog(const std::string& inPath) {
  QpLoggingState vState;
  vState.setPath(inPath.c_str());
  vState.setNewLogFileName(nullptr);
  vState.setLogStatePath(nullptr);
  vState.setPollIntervalInMins(-1);
  vState.setFormat(kLogFormatTab);
  vState.setLevel(8);
  vState.setComponents(ALL);
  vState.setAppend(false);
  vState.setKeepExisting(false);
  QpLogging::Start(&vState);
}

// A fresh file for the demo's log, in TMPDIR or /tmp; empty when none can be made.
std::string temporaryLog() {
  const char* vDir = std::getenv("TMPDIR");
  std::string vPath =
      std::string(vDir != nullptr && *vDir != 0 ? vDir : "/tmp") + "/qptool-demo-XXXXXX.log";
  const int vFd = mkstemps(&vPath[0], 4);
  if (vFd < 0) return std::string();
  close(vFd);
  return vPath;
}

}  // namespace

int runProbe(int argc, char** argv) {
  return runExchange("probe", kProbeUsage, argc, argv, probe);
}

int runPoolinfo(int argc, char** argv) {
  return runExchange("poolinfo", kPoolinfoUsage, argc, argv, poolinfo);
}

int runDemo(int argc, char** argv) {
  std::string vLog;
  for (int i = 1; i < argc; ++i) {
    const std::string vArg = argv[i];
    if (vArg == "--log" && i + 1 < argc) {
      vLog = argv[++i];
    } else {
      return fail("demo", "unknown argument " + vArg + " (usage: qptool demo [--log FILE])",
                  kExitUsage);
    }
  }
  if (vLog.empty()) {
    vLog = temporaryLog();
    if (vLog.empty()) return fail("demo", "cannot create a temporary log file", kExitInput);
  }

  int vExit = kExitOk;
  try {
    startLog(vLog);
    qpnode::QpNode vNode{qpnode::QpNodeOptions()};
    std::string vError;
    if (!vNode.start(vError)) {
      QpLogging::Stop();
      return fail("demo", "cannot start the node: " + vError, kExitFailed);
    }
    std::printf("node %s\n", vNode.endpoints().c_str());
    std::printf("log %s\n", vLog.c_str());
    try {
      std::printf("\n");
      probe(QpAddress(("127.0.0.1:" + std::to_string(vNode.udpPort())).c_str()), kDefaultTimeoutMs,
            true);
      std::printf("\n");
      poolinfo(QpAddress(("127.0.0.1:" + std::to_string(vNode.tcpPort())).c_str()),
               kDefaultTimeoutMs, true);
    } catch (QpException& e) {
      std::fflush(stdout);
      vExit = fail("demo", describe(e), kExitFailed);
    }
    vNode.stop();
  } catch (QpException& e) {
    vExit = fail("demo", describe(e), kExitFailed);
  }
  QpLogging::Stop();
  return vExit;
}

}  // namespace qptool
