// qpnode as a separate process, driven with the library and with qptool: its answers, each fault
// mode's exception and qptool error, several clients at once, and hostile input.
#include <gtest/gtest.h>

#include <QpUtilsLib.h>

#include <atomic>
#include <memory>
#include <thread>
#include <typeinfo>
#include <vector>

#include "tools_helpers.h"

namespace {

const int kTimeoutMs = 3000;
const std::string kTool = QP_QPTOOL_PATH;

QpAddress loopback(int inPort) {
  return QpAddress(("127.0.0.1:" + std::to_string(inPort)).c_str());
}

void probe(int inPort, HPPProbeReply& outReply, int inTimeoutMs = kTimeoutMs) {
  QpDatagramSocket vSocket;
  vSocket.setTimeout(inTimeoutMs);
  vSocket.open(loopback(inPort));
  HPPProbeRequest().send(vSocket);
  outReply.receive2(vSocket);
  outReply.checkControl();
  outReply.GetSegmentSize();  // a walk over the fields, as every reader of a reply makes
}

void poolInfo(QpStreamSocket& ioSocket, HPPGetPoolInfoReply& outReply) {
  HPPGetPoolInfoRequest().send(ioSocket);
  outReply.receive(ioSocket);
  outReply.checkControl();
  outReply.GetCapacity();
}

void poolInfo(int inPort, HPPGetPoolInfoReply& outReply, int inTimeoutMs = kTimeoutMs) {
  QpStreamSocket vSocket;
  vSocket.setTimeout(inTimeoutMs);
  vSocket.open(loopback(inPort));
  poolInfo(vSocket, outReply);
}

TEST(QpNode, AnswersEveryRequestKindToSeveralClientsAndSurvivesHostileInput) {
  QpBackground vNode({"--cluster-id", "c-42", "--cluster-name", "test pool"});
  ASSERT_GT(vNode.tcp(), 0) << vNode.firstLine();

  HPPProbeReply vProbe(nullptr);
  probe(vNode.udp(), vProbe);
  QpStringBuffer vText;  // each getter fills it, then it is compared
  QpAddressArray vReplicas;
  EXPECT_STREQ((vProbe.GetClusterID(vText), vText.toStringConst()), "c-42");
  EXPECT_EQ(vProbe.GetSegmentSize(), 102400);
  EXPECT_EQ(vProbe.GetIdleTimeout(), 120);
  EXPECT_GT(vProbe.GetClusterTimestamp(), 1700000000000LL);
  ASSERT_EQ(vProbe.GetNumProbeAddresses(), 1);
  EXPECT_EQ(vProbe.GetProbeAddress(0).GetPort(), vNode.tcp());
  EXPECT_EQ((vProbe.GetReplica(vReplicas), vReplicas.getSize()), 1);

  // Several requests on one connection: pool information, monitor open and keep-alive, and the
  // authentication negotiation, which echoes the first protocol offered.
  QpStreamSocket vSocket;
  vSocket.setTimeout(kTimeoutMs);
  vSocket.open(loopback(vNode.tcp()));
  HPPGetPoolInfoReply vInfo(nullptr);
  poolInfo(vSocket, vInfo);
  EXPECT_EQ(vInfo.GetCapacity(), 1099511627776LL);
  EXPECT_EQ(vInfo.GetBytesFree(), 824633720832LL);
  EXPECT_STREQ((vInfo.GetClusterName(vText), vText.toStringConst()), "test pool");
  EXPECT_STREQ((vInfo.GetClusterID(vText), vText.toStringConst()), "c-42");
  EXPECT_EQ((vInfo.GetReplica(vReplicas), vReplicas.getSize()), 1);

  MonitorOpenRequest(nullptr).send(vSocket);
  MonitorOpenAccept vAccept(nullptr);
  vAccept.receive(vSocket);
  EXPECT_EQ(vAccept.GetCode(-1), 0);
  EXPECT_EQ(vAccept.GetIdleTimeout(0), 120);
  EXPECT_EQ(
      std::string(vAccept.GetString(MONITOR_STREAM_ID).toStringConst()).rfind("qpnode-stream-", 0),
      0u);
  MonitorKeepAlive(nullptr).send(vSocket);
  vAccept.receive(vSocket);
  EXPECT_EQ(vAccept.GetCode(-1), 21);

  AuthNegationRequest(nullptr, QpStringBuffer("plain"), QpStringBuffer(",ccc,bbb")).send(vSocket);
  AuthNegationReply vChosen(nullptr);
  vChosen.receive(vSocket);
  EXPECT_EQ(vChosen.GetErrorCode(), 0);
  EXPECT_STREQ((vChosen.GetProtocols(vText), vText.toStringConst()), "ccc");
  EXPECT_STREQ((vChosen.GetScheme(vText), vText.toStringConst()), "plain");

  // qptool prints the same answers; the datagram port may ride along in the address text.
  const std::string vTcp = std::to_string(vNode.tcp()), vUdp = std::to_string(vNode.udp());
  EXPECT_NE(qpRun(kTool, {"probe", "127.0.0.1:1:" + vUdp}).out.find("addresses: 127.0.0.1:" + vTcp),
            std::string::npos);
  EXPECT_EQ(qpRun(kTool, {"poolinfo", "127.0.0.1:" + vTcp}).out.find("cluster name: test pool\n"),
            0u);

  // Garbage that is no packet, a size that is never delivered, a datagram without the magic.
  const std::string kGarbage[] = {"GET / HTTP/1.0\r\n\r\n",
                                  std::string("\x01\x2C\x75\x98\x7F\xFF\xFF\xF0", 8),
                                  std::string("\x01\x2C\x75\x98\x00\x00\x00\x0A"
                                              "FSP2\x00\x01\x01\x00\x00\x09",
                                              18)};
  for (const std::string& vBytes : kGarbage) {
    QpStreamSocket vSocket;
    QpDatagramSocket vDatagram;
    vSocket.open(loopback(vNode.tcp())), vDatagram.open(loopback(vNode.udp()));
    vSocket.send(const_cast<char*>(vBytes.data()), static_cast<int>(vBytes.size()));
    vDatagram.send(const_cast<char*>(vBytes.data()), static_cast<int>(vBytes.size()));
  }
  std::atomic<int> vAnswered{0};
  std::vector<std::thread> vClients;
  for (int i = 0; i < 6; ++i) {
    vClients.emplace_back([&] {
      for (int r = 0; r < 5; ++r) {
        HPPGetPoolInfoReply vInfo(nullptr);
        HPPProbeReply vProbe(nullptr);
        try {
          poolInfo(vNode.tcp(), vInfo), probe(vNode.udp(), vProbe), ++vAnswered;
        } catch (QpException&) {
        }
      }
    });
  }
  for (std::thread& vClient : vClients) vClient.join();
  EXPECT_EQ(vAnswered, 30);
  // Usage and bind errors: one line, exits 2 and 1.
  const QpRunResult vUsage = qpRun(QP_QPNODE_PATH, {"--delay", "soon"});
  EXPECT_EQ(vUsage.exitCode, 2);
  const QpRunResult vBusy = qpRun(QP_QPNODE_PATH, {"--tcp-port", std::to_string(vNode.tcp())});
  EXPECT_EQ(vBusy.exitCode, 1);
  for (const std::string& vErr : {vUsage.err, vBusy.err})
    EXPECT_EQ(vErr.rfind("qpnode: ", 0), 0u) << vErr;
  EXPECT_EQ(vNode.stop(), 0);  // SIGTERM is a clean stop
}

// Each fault mode, through the library and through qptool, on both transports.
TEST(QpNode, EveryFaultModeRaisesItsExceptionInTheClientAndFailsQptool) {
  struct Case {
    std::vector<std::string> mArgs;
    bool mStream;  // poolinfo over TCP, else probe over UDP
    const std::type_info& mType;
    int mCode;
    const char* mMessage;  // null: none of its own
    int mSysError;         // -1: not checked
  };
  // clang-format off
  const Case kCases[] = {
    {{"--reply-code", "2", "--reply-exception", "blob gone"}, true, typeid(QpFileNotStoredException), QP_FILE_NOT_STORED_ERR, "blob gone", 2},
    {{"--reply-code", "25"}, true, typeid(QpNotAllowedException), QP_OPERATION_NOT_ALLOWED, nullptr, 25},
    {{"--reply-code", "3"}, true, typeid(QpServerErrorException), QP_SERVER_ERR, nullptr, 3},
    {{"--end-marker"}, true, typeid(QpSocketException), QP_SOCKET_ERR, "Premature end of packet", -1},
    {{"--wrong-marker"}, true, typeid(QpSocketException), QP_SOCKET_ERR, "Invalid marker: 1213486160", -1},
    {{"--close-after", "6"}, true, typeid(QpSocketException), QP_SOCKET_ERR, "Unable to read packet size", -1},
    {{"--close-after", "20"}, true, typeid(QpSocketException), QP_SOCKET_ERR, "Unable to read packet data", -1},
    {{"--delay", "10000"}, true, typeid(QpSocketException), QP_SOCKET_ERR, nullptr, 10060},
    {{"--reply-code", "14"}, false, typeid(QpServerFullException), QP_SERVER_NO_CAPACITY_ERR, nullptr, 14},
    {{"--end-marker"}, false, typeid(QpPacketDataException), QP_PACKETDATA_ERR, nullptr, -1},
    {{"--wrong-marker"}, false, typeid(QpPacketDataException), QP_PACKETDATA_ERR, nullptr, -1},
    {{"--close-after", "40"}, false, typeid(QpPacketDataException), QP_PACKETDATA_ERR, "field value runs past the end of the packet", -1},
    {{"--delay", "10000"}, false, typeid(QpSocketException), QP_SOCKET_ERR, nullptr, 10060},
  };
  // clang-format on
  for (const Case& vCase : kCases) {
    const std::string vSub = vCase.mStream ? "poolinfo" : "probe";
    SCOPED_TRACE(vSub + " " + testing::PrintToString(vCase.mArgs));
    QpBackground vNode(vCase.mArgs);
    ASSERT_GT(vNode.tcp(), 0);
    const int vPort = vCase.mStream ? vNode.tcp() : vNode.udp();
    HPPGetPoolInfoReply vInfo(nullptr);
    HPPProbeReply vProbe(nullptr);
    try {
      vCase.mStream ? poolInfo(vPort, vInfo, 300) : probe(vPort, vProbe, 300);
      ADD_FAILURE() << "no exception";
    } catch (QpException& e) {
      EXPECT_EQ(typeid(e), vCase.mType) << typeid(e).name();
      EXPECT_EQ(e.GetErrorCode(), vCase.mCode);
      const std::unique_ptr<char, decltype(&qp_free)> vMessage(e.GetMessageString(), qp_free);
      EXPECT_STREQ(vMessage.get(), vCase.mMessage);
      EXPECT_EQ(vCase.mSysError < 0 ? -1 : e.GetSysErrorCode(), vCase.mSysError);
    }
    // qptool: one line that names the code, exit 1.
    const QpRunResult vRun =
        qpRun(kTool, {vSub, "127.0.0.1:" + std::to_string(vPort), "--timeout", "300"});
    EXPECT_EQ(vRun.exitCode, 1);
    const std::string vTail = " (error " + std::to_string(vCase.mCode) + " " +
                              QpError::GetErrorString(static_cast<short>(vCase.mCode)) + ")\n";
    EXPECT_EQ(vRun.err.rfind("qptool " + vSub + ": ", 0), 0u) << vRun.err;
    ASSERT_GE(vRun.err.size(), vTail.size());
    EXPECT_EQ(vRun.err.substr(vRun.err.size() - vTail.size()), vTail);
    EXPECT_EQ(vRun.err.find('\n'), vRun.err.size() - 1) << "one line only";
  }
}

}  // namespace
