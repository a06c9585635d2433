// The smart packet dissector, run in tshark: every field of real request and reply packets must
// show with the line the library's own dump prints for it (name, type, value) and with its code.
// One test writes a capture itself (datagrams and a TCP stream whose packets are split and
// joined across segments); the other captures a qptool demo exchange on the loopback interface
// where qptool is built and capture is permitted.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QpUtilsLib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools_helpers.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string findTshark() {
  const char* vPath = std::getenv("PATH");
  std::stringstream vDirs(vPath ? vPath : "/usr/bin");
  std::string vDir;
  while (std::getline(vDirs, vDir, ':')) {
    const std::string vCandidate = vDir + "/tshark";
    if (access(vCandidate.c_str(), X_OK) == 0) return vCandidate;
  }
  return "";
}

Bytes imageOf(QpSmartPacket& inPacket) {
  void* vData = nullptr;
  int vLen = 0;
  inPacket.toBytes(&vData, &vLen);
  const unsigned char* vBytes = static_cast<const unsigned char*>(vData);
  return Bytes(vBytes, vBytes + vLen);
}

// The dump's field lines without their two leading blanks.
std::vector<std::string> dumpLines(QpSmartPacket& inPacket) {
  char* vText = inPacket.toString();
  std::stringstream vDump(vText);
  qp_free(vText);
  std::vector<std::string> vLines;
  std::string vLine;
  while (std::getline(vDump, vLine))
    if (vLine.rfind("  ", 0) == 0) vLines.push_back(vLine.substr(2));
  return vLines;
}

// A classic pcap file of raw IPv4 frames between 127.0.0.1 and 127.0.0.2.
class PcapWriter {
 public:
  PcapWriter() {
    put32(0xA1B2C3D4), put16(2), put16(4), put32(0), put32(0), put32(65535), put32(101);
  }
  void udp(int inFrom, int inTo, const Bytes& inPayload) {
    Bytes vHeader = {static_cast<unsigned char>(inFrom >> 8),
                     static_cast<unsigned char>(inFrom),
                     static_cast<unsigned char>(inTo >> 8),
                     static_cast<unsigned char>(inTo),
                     static_cast<unsigned char>((inPayload.size() + 8) >> 8),
                     static_cast<unsigned char>(inPayload.size() + 8),
                     0,
                     0};
    frame(17, inFrom, vHeader, inPayload);
  }
  void tcp(int inFrom, int inTo, unsigned inSeq, unsigned inAck, const Bytes& inPayload) {
    Bytes vHeader = {static_cast<unsigned char>(inFrom >> 8), static_cast<unsigned char>(inFrom),
                     static_cast<unsigned char>(inTo >> 8), static_cast<unsigned char>(inTo)};
    for (unsigned vValue : {inSeq, inAck})
      for (int vShift = 24; vShift >= 0; vShift -= 8)
        vHeader.push_back(static_cast<unsigned char>(vValue >> vShift));
    const Bytes vRest = {0x50, 0x18, 0xFF, 0xFF, 0, 0, 0, 0};  // 20 bytes, PSH+ACK
    vHeader.insert(vHeader.end(), vRest.begin(), vRest.end());
    frame(6, inFrom, vHeader, inPayload);
  }
  void save(const std::string& inPath) {
    std::ofstream(inPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(mData.data()),
               static_cast<std::streamsize>(mData.size()));
  }

 private:
  void put16(unsigned inValue) {
    mData.push_back(static_cast<unsigned char>(inValue));
    mData.push_back(static_cast<unsigned char>(inValue >> 8));
  }
  void put32(unsigned inValue) { put16(inValue & 0xFFFF), put16(inValue >> 16); }
  // The client is 127.0.0.1, the node 127.0.0.2: the port below 3218's side decides.
  void frame(int inProtocol, int inFrom, const Bytes& inHeader, const Bytes& inPayload) {
    const size_t vTotal = 20 + inHeader.size() + inPayload.size();
    const unsigned char vSrc = inFrom == 3218 ? 2 : 1;
    const Bytes vIp = {0x45,
                       0,
                       static_cast<unsigned char>(vTotal >> 8),
                       static_cast<unsigned char>(vTotal),
                       0,
                       0,
                       0x40,
                       0,
                       64,
                       static_cast<unsigned char>(inProtocol),
                       0,
                       0,
                       127,
                       0,
                       0,
                       vSrc,
                       127,
                       0,
                       0,
                       static_cast<unsigned char>(3 - vSrc)};
    put32(++mSeconds), put32(0), put32(static_cast<unsigned>(vTotal)),
        put32(static_cast<unsigned>(vTotal));
    for (const Bytes* vPart : {&vIp, &inHeader, &inPayload})
      mData.insert(mData.end(), vPart->begin(), vPart->end());
  }
  Bytes mData;
  unsigned mSeconds = 1700000000;
};

struct DecodedField {
  std::string mLabel;
  int mCode = -1;
};
struct DecodedPacket {
  std::string mSummary;
  std::vector<DecodedField> mFields;
};

// The smart packets of tshark's verbose output (-V -O qpsp), in order: each tree's top line and
// its field lines ("NAME type=... value=...") with the code shown under each.
std::vector<DecodedPacket> parseTshark(const std::string& inOutput) {
  std::vector<DecodedPacket> vPackets;
  std::stringstream vLines(inOutput);
  std::string vLine;
  bool vInside = false;
  while (std::getline(vLines, vLine)) {
    if (vLine.rfind("QpUtils smart packet", 0) == 0) {
      vPackets.push_back({vLine, {}});
      vInside = true;
    } else if (!vLine.empty() && vLine[0] != ' ') {
      vInside = false;
    } else if (vInside && vLine.rfind("    ", 0) == 0 && vLine.size() > 4 && vLine[4] != ' ' &&
               vLine.find(" type=") != std::string::npos) {
      vPackets.back().mFields.push_back({vLine.substr(4), -1});
    } else if (vInside && vLine.rfind("        Code: ", 0) == 0 &&
               !vPackets.back().mFields.empty()) {
      vPackets.back().mFields.back().mCode = std::atoi(vLine.c_str() + 14);
    }
  }
  return vPackets;
}

// The code a field name stands for, by the library's reverse lookup or the unnamed form; -1 when
// the name is in neither (then the code is not checked).
int codeOfName(const std::string& inName) {
  if (inName.rfind("fieldcode=", 0) == 0) return std::atoi(inName.c_str() + 10);
  return NetworkPacket::GetFieldCode(inName.c_str());
}

std::string nameOf(const std::string& inLabel) {
  return inLabel.substr(0, inLabel.find(' '));
}

// Field 359's dump line renders the addresses it holds; the dissector shows the array nested.
bool isProbeList(const std::string& inName) {
  return inName == "POOLSERVER_PROBE_ALL";
}

std::string tempPath(const std::string& inName) {
  return (::testing::TempDir().empty() ? std::string("/tmp/") : ::testing::TempDir()) + inName +
         "." + std::to_string(getpid());
}

std::string readFile(const std::string& inPath) {
  std::ifstream vFile(inPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(vFile), std::istreambuf_iterator<char>());
}

// Sends a datagram to 127.0.0.1:inPort every 100 ms until tshark (process inPid) lists one in
// inList: true then; false when tshark has ended or after 30 s.
bool capturedOwnDatagram(int inPid, const std::string& inList, int inPort) {
  const int vSocket = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in vTo{};
  vTo.sin_family = AF_INET;
  vTo.sin_port = htons(static_cast<uint16_t>(inPort));
  vTo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string vListed = " " + std::to_string(inPort) + " Len=";
  bool vSeen = false;
  for (int vRound = 0; vRound < 300 && !vSeen; ++vRound) {
    if (waitpid(inPid, nullptr, WNOHANG) == inPid) break;
    sendto(vSocket, "qp", 2, 0, reinterpret_cast<const sockaddr*>(&vTo), sizeof vTo);
    usleep(100000);
    vSeen = readFile(inList).find(vListed) != std::string::npos;
  }
  close(vSocket);
  return vSeen;
}

class Dissector : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QP_DISSECTOR_LUA
    GTEST_SKIP() << "the dissector is not built in this configuration";
#else
    mTshark = findTshark();
    if (mTshark.empty()) GTEST_SKIP() << "tshark is not installed; the dissector is not tested";
    mLua = QP_DISSECTOR_LUA;
#endif
  }
  QpRunResult decode(const std::string& inPcap, const std::vector<std::string>& inExtra = {}) {
    std::vector<std::string> vArgs = {"-r", inPcap, "-X", "lua_script:" + mLua, "-V", "-O", "qpsp"};
    vArgs.insert(vArgs.end(), inExtra.begin(), inExtra.end());
    return qpRun(mTshark, vArgs, "", 120000);
  }
  std::string mTshark;
  std::string mLua;
};

TEST_F(Dissector, ShowsEveryFieldOfWrittenDatagramsAndStreamAsTheDumpDoes) {
  HPPProbeRequest vProbe(nullptr);

  PoolServerPacket vReplyBuilt(static_cast<const QpBasicStringBuffer*>(nullptr));
  vReplyBuilt.store(POOLSERVER_CLUSTER_ID, "cluster-7");
  vReplyBuilt.store(POOLSERVER_SEGMENT_SIZE, 65536);
  vReplyBuilt.store(POOLSERVER_IDLE_TIMEOUT, static_cast<QpLong>(-120000));
  vReplyBuilt.store(POOLSERVER_CLUSTER_TIMESTAMP, static_cast<QpLong>(1765000000123LL));
  vReplyBuilt.store(POOLSERVER_CLUSTER_STATUS, 5, 1);  // a one-byte boolean
  QpStringBuffer vProbeList("127.0.0.2:3218,127.0.0.3:3218");
  vReplyBuilt.store(POOLSERVER_PROBE_ALL, &vProbeList, ',');
  const unsigned char vRaw[] = {0, 1, 2, 0xFF};
  vReplyBuilt.store(4000, vRaw, sizeof vRaw);
  // The library reads but never writes 16-bit fields: append one to the image by hand.
  Bytes vReplyImage = imageOf(vReplyBuilt);
  const Bytes vShort = {0x0F, 0xA1, QpSmartPacket::kTypeShort, 0, 0, 2, 0xFF, 0xFE};
  vReplyImage.insert(vReplyImage.end(), vShort.begin(), vShort.end());
  PoolServerPacket vReply;
  vReply.fromBytes(vReplyImage.data(), static_cast<int>(vReplyImage.size()));

  HPPGetPoolInfoRequest vInfo(nullptr);
  QpStringBuffer vScheme("plain"), vProtocols("first,second");
  AuthNegationRequest vAuth(nullptr, vScheme, vProtocols);  // code 123 has another name here
  PoolClientPacket vInfoReply(static_cast<const QpBasicStringBuffer*>(nullptr));
  vInfoReply.store(HPP_POOL_CAPACITY, static_cast<QpLong>(1) << 40);
  vInfoReply.store(HPP_POOL_FREE, static_cast<QpLong>(123456789));
  vInfoReply.store(HPP_CLUSTERNAME, "loopback");
  vInfoReply.store(HPP_CAPABILITIES, "read,write");
  vInfoReply.store(HPP_REPLICA_LOCATIONS, "");
  QpStringBuffer vTransaction("tx-1");
  const char vSegment[] = "segment";
  HPPExportData vExport(&vTransaction, 4096, vSegment, 7, nullptr);

  PcapWriter vPcap;
  vPcap.udp(40000, 3218, imageOf(vProbe));
  vPcap.udp(3218, 40000, imageOf(vReply));
  vPcap.udp(40000, 3218, {'F', 'S', 'P', '2', 0, 9, 2, 0, 0, 100, 'x'});  // truncated field
  // Client to node: two packets in one segment, then one more. Node to client: the reply split
  // across two segments, the second also carrying the end marker.
  Bytes vToNode = imageOf(vInfo), vAuthImage = imageOf(vAuth), vToClient = imageOf(vInfoReply);
  vToNode.insert(vToNode.end(), vAuthImage.begin(), vAuthImage.end());
  vPcap.tcp(40001, 3218, 1, 1, vToNode);
  vPcap.tcp(3218, 40001, 1, 1 + static_cast<unsigned>(vToNode.size()),
            Bytes(vToClient.begin(), vToClient.begin() + 21));
  Bytes vTail(vToClient.begin() + 21, vToClient.end());
  const char* vEnd = QpSmartPacket::GetEOFMarker();
  vTail.insert(vTail.end(), vEnd, vEnd + 4);
  vPcap.tcp(3218, 40001, 22, 1 + static_cast<unsigned>(vToNode.size()), vTail);
  vPcap.tcp(40001, 3218, 1 + static_cast<unsigned>(vToNode.size()),
            22 + static_cast<unsigned>(vTail.size()), imageOf(vExport));
  const std::string vFile = tempPath("qp_dissector_written.pcap");
  vPcap.save(vFile);

  const QpRunResult vRun = decode(vFile);
  std::remove(vFile.c_str());
  ASSERT_EQ(vRun.exitCode, 0) << vRun.err;
  const std::vector<DecodedPacket> vDecoded = parseTshark(vRun.out);

  struct Expected {
    QpSmartPacket* mPacket;  // null: no fields expected
    const char* mSummary;    // the family and framing, or what stands in their place
  };
  const std::vector<Expected> vExpected = {
      {&vProbe, "PoolServerPacket, %zu fields, datagram"},
      {&vReply, "PoolServerPacket, %zu fields, datagram"},
      {nullptr, "smart packet, malformed, datagram"},
      {&vInfo, "PoolClientPacket, %zu fields, framed"},
      {&vAuth, "AuthenticationNegationPacket, %zu fields, framed"},
      {&vInfoReply, "PoolClientPacket, %zu fields, framed"},
      {nullptr, "end of stream"},
      {&vExport, "HPPPacket, %zu fields, framed"}};
  ASSERT_EQ(vDecoded.size(), vExpected.size()) << vRun.out;
  int vCodesChecked = 0;
  for (size_t i = 0; i < vExpected.size(); ++i) {
    SCOPED_TRACE("packet " + std::to_string(i) + ": " + vDecoded[i].mSummary);
    if (!vExpected[i].mPacket) {
      EXPECT_NE(vDecoded[i].mSummary.find(vExpected[i].mSummary), std::string::npos);
      continue;
    }
    const std::vector<std::string> vDump = dumpLines(*vExpected[i].mPacket);
    char vSummary[128];
    std::snprintf(vSummary, sizeof vSummary, vExpected[i].mSummary, vDump.size());
    EXPECT_NE(vDecoded[i].mSummary.find(vSummary), std::string::npos) << vSummary;
    ASSERT_EQ(vDecoded[i].mFields.size(), vDump.size());
    for (size_t k = 0; k < vDump.size(); ++k) {
      const DecodedField& vField = vDecoded[i].mFields[k];
      const std::string vName = nameOf(vDump[k]);
      if (isProbeList(vName)) {
        EXPECT_EQ(vField.mLabel.rfind(vName + " type=bytearray value=", 0), 0u);
      } else {
        EXPECT_EQ(vField.mLabel, vDump[k]);
      }
      if (codeOfName(vName) != -1) {
        EXPECT_EQ(vField.mCode, codeOfName(vName)) << vName;
        ++vCodesChecked;
      }
    }
  }
  EXPECT_GE(vCodesChecked, 50);
  EXPECT_NE(vRun.out.find("Field truncated at offset 4"), std::string::npos);
}

TEST_F(Dissector, ShowsACapturedDemoExchange) {
#ifndef QP_QPTOOL_PATH
  GTEST_SKIP() << "qptool is not built; the written capture covers the decoding";
#else
  const std::string vFile = tempPath("qp_dissector_demo.pcapng");
  const std::string vList = vFile + ".out", vErr = vFile + ".err";
  // tshark is the shell's own process (exec), so that the SIGTERM of stop() ends it and it
  // completes the file. It lists every packet it captures (-P -l), which tells when it is live.
  QpBackground vCapture("/bin/sh",
                        {"-c", "echo started; exec '" + mTshark + "' -i lo -P -l -w '" + vFile +
                                   "' -f 'host 127.0.0.1' >'" + vList + "' 2>'" + vErr + "'"});
  const bool vLive = capturedOwnDatagram(vCapture.pid(), vList, 9);
  if (!vLive) {
    vCapture.stop();
    // tshark's complaint, in one line, without its warning about running as root.
    std::stringstream vErrLines(readFile(vErr));
    std::string vReason, vLine;
    while (std::getline(vErrLines, vLine))
      if (!vLine.empty() && vLine.rfind("Running as user", 0) != 0)
        vReason += (vReason.empty() ? "" : "; ") + vLine;
    for (const std::string& vPath : {vFile, vList, vErr}) std::remove(vPath.c_str());
    GTEST_SKIP() << "capture on the loopback interface is not permitted here (" << vReason
                 << "); the written capture covers the decoding";
  }
  const QpRunResult vDemo = qpRun(QP_QPTOOL_PATH, {"demo"}, "", 60000);
  // Everything sent before the last datagram is in the file once tshark has listed that one.
  EXPECT_TRUE(capturedOwnDatagram(vCapture.pid(), vList, 10));
  vCapture.stop();
  for (const std::string& vPath : {vList, vErr}) std::remove(vPath.c_str());
  ASSERT_EQ(vDemo.exitCode, 0) << vDemo.err;
  unsigned vUdp = 0, vTcp = 0;
  ASSERT_EQ(std::sscanf(vDemo.out.c_str(), "node udp=127.0.0.1:%u tcp=127.0.0.1:%u", &vUdp, &vTcp),
            2)
      << vDemo.out;

  const QpRunResult vRun = decode(vFile, {"-d", "udp.port==" + std::to_string(vUdp) + ",qpsp", "-d",
                                          "tcp.port==" + std::to_string(vTcp) + ",qpsp"});
  std::remove(vFile.c_str());
  ASSERT_EQ(vRun.exitCode, 0) << vRun.err;
  const std::vector<DecodedPacket> vDecoded = parseTshark(vRun.out);
  std::vector<std::string> vLabels;
  bool vDatagram = false, vFramed = false;
  for (const DecodedPacket& vPacket : vDecoded) {
    vDatagram |= vPacket.mSummary.find(", datagram") != std::string::npos;
    vFramed |= vPacket.mSummary.find(", framed") != std::string::npos;
    for (const DecodedField& vField : vPacket.mFields) {
      vLabels.push_back(vField.mLabel);
      if (codeOfName(nameOf(vField.mLabel)) != -1) {
        EXPECT_EQ(vField.mCode, codeOfName(nameOf(vField.mLabel))) << vField.mLabel;
      }
    }
  }
  EXPECT_TRUE(vDatagram && vFramed) << vRun.out;
  // Every field line of the dumps that the demo printed is a field the dissector showed.
  std::stringstream vLines(vDemo.out);
  std::string vLine;
  int vDumped = 0;
  while (std::getline(vLines, vLine)) {
    if (vLine.rfind("  ", 0) != 0 || vLine.find(" type=") == std::string::npos) continue;
    const std::string vField = vLine.substr(2);
    if (isProbeList(nameOf(vField))) continue;
    ++vDumped;
    EXPECT_TRUE(std::find(vLabels.begin(), vLabels.end(), vField) != vLabels.end()) << vField;
  }
  EXPECT_GT(vDumped, 10) << vDemo.out;
#endif
}

}  // namespace
