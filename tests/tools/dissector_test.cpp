// The smart packet dissector, run in tshark: every field of real request and reply packets must
// show with the line the library's own dump prints for it (name, type, value) and with its code.
// One test writes a capture itself (datagrams and a TCP stream whose packets are split and joined
// across segments); the other captures a qptool demo exchange on the loopback interface where
// capture is permitted.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QpUtilsLib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools_helpers.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put(Bytes& ioData, unsigned long long inValue, int inSize, bool inBigEndian = true) {
  for (int i = 0; i < inSize; ++i)
    ioData.push_back(static_cast<unsigned char>(inValue >> 8 * (inBigEndian ? inSize - 1 - i : i)));
}

Bytes imageOf(QpSmartPacket& inPacket) {
  void* vData = nullptr;
  int vLen = 0;
  inPacket.toBytes(&vData, &vLen);
  return Bytes(static_cast<unsigned char*>(vData), static_cast<unsigned char*>(vData) + vLen);
}

// The field lines of a dump ("NAME type=... value=..."), without their two leading blanks.
std::vector<std::string> fieldLines(const std::string& inDump) {
  std::stringstream vDump(inDump);
  std::vector<std::string> vLines;
  for (std::string vLine; std::getline(vDump, vLine);)
    if (vLine.rfind("  ", 0) == 0 && vLine.find(" type=") != std::string::npos)
      vLines.push_back(vLine.substr(2));
  return vLines;
}

// A classic pcap file of raw IPv4 frames between the client 127.0.0.1 and the node 127.0.0.2,
// which is the side of port 3218. TCP sequence numbers follow the bytes each side has sent.
struct Pcap {
  Bytes mData;
  unsigned mSeconds = 1700000000;
  std::map<int, unsigned> mSent;
  Pcap() {
    for (unsigned vWord : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 65535u, 101u})
      put(mData, vWord, 4, false);
  }
  void add(int inFrom, int inTo, const Bytes& inPayload, bool inTcp = false) {
    const unsigned vSrc = inFrom == 3218 ? 2 : 1;
    Bytes v;
    put(v, 0x4500, 2), put(v, (inTcp ? 40 : 28) + inPayload.size(), 2), put(v, 0x4000, 4);
    put(v, inTcp ? 0x4006 : 0x4011, 2), put(v, 0, 2), put(v, 0x7F000000 | vSrc, 4);
    put(v, 0x7F000000 | (3 - vSrc), 4), put(v, inFrom, 2), put(v, inTo, 2);
    if (inTcp) {
      put(v, 1 + mSent[inFrom], 4), put(v, 1 + mSent[inTo], 4), put(v, 0x5018FFFF, 4), put(v, 0, 4);
      mSent[inFrom] += static_cast<unsigned>(inPayload.size());
    } else {
      put(v, inPayload.size() + 8, 2), put(v, 0, 2);
    }
    v.insert(v.end(), inPayload.begin(), inPayload.end());
    for (size_t vWord : {size_t(++mSeconds), size_t(0), v.size(), v.size()})
      put(mData, vWord, 4, false);
    mData.insert(mData.end(), v.begin(), v.end());
  }
};

struct Decoded {
  std::string mSummary;                              // the tree's top line
  std::vector<std::pair<std::string, int>> mFields;  // each field line and the code shown under it
};

// The smart packets of tshark's verbose output (-V -O qpsp), in order.
std::vector<Decoded> parseTshark(const std::string& inOutput) {
  std::vector<Decoded> vPackets;
  std::stringstream vLines(inOutput);
  bool vInside = false;
  for (std::string vLine; std::getline(vLines, vLine);) {
    if (vLine.rfind("QpUtils smart packet", 0) == 0) {
      vPackets.push_back({vLine, {}});
      vInside = true;
    } else if (!vLine.empty() && vLine[0] != ' ') {
      vInside = false;
    } else if (vInside && vLine.rfind("    ", 0) == 0 && vLine[4] != ' ' &&
               vLine.find(" type=") != std::string::npos) {
      vPackets.back().mFields.push_back({vLine.substr(4), -1});
    } else if (vInside && vLine.rfind("        Code: ", 0) == 0 &&
               !vPackets.back().mFields.empty()) {
      vPackets.back().mFields.back().second = std::atoi(vLine.c_str() + 14);
    }
  }
  return vPackets;
}

// Checks a decoded field against the dump line of the library; true when its code was checked.
// The library names a code or shows it unnamed; the probe list (359) the dissector shows nested.
bool checkField(const std::pair<std::string, int>& inField, const std::string& inDumpLine) {
  const std::string vName = inDumpLine.substr(0, inDumpLine.find(' '));
  const bool vNested = vName == "POOLSERVER_PROBE_ALL";
  const std::string vWanted = vNested ? vName + " type=bytearray value=" : inDumpLine;
  EXPECT_EQ(inField.first.substr(0, vNested ? vWanted.size() : std::string::npos), vWanted);
  const int vCode = vName.rfind("fieldcode=", 0) == 0 ? std::atoi(vName.c_str() + 10)
                                                      : NetworkPacket::GetFieldCode(vName.c_str());
  if (vCode != -1) {
    EXPECT_EQ(inField.second, vCode) << vName;
  }
  return vCode != -1;
}

class Dissector : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QP_DISSECTOR_LUA
    GTEST_SKIP() << "the dissector is not built in this configuration";
#else
    mTshark = qpRun("/bin/sh", {"-c", "command -v tshark"}).out;
    if (mTshark.empty()) GTEST_SKIP() << "tshark is not installed; the dissector is not tested";
    mTshark.pop_back();
    mLua = QP_DISSECTOR_LUA;
#endif
  }
  std::vector<Decoded> decode(const std::string& inPcap, const std::vector<std::string>& inExtra) {
    std::vector<std::string> vArgs = {"-r", inPcap, "-X", "lua_script:" + mLua, "-V", "-O", "qpsp"};
    vArgs.insert(vArgs.end(), inExtra.begin(), inExtra.end());
    const QpRunResult vRun = qpRun(mTshark, vArgs, "", 120000);
    std::remove(inPcap.c_str());
    EXPECT_EQ(vRun.exitCode, 0) << vRun.err;
    mOutput = vRun.out;
    return parseTshark(vRun.out);
  }
  std::string mTshark, mLua, mOutput;
  const std::string mPath = ::testing::TempDir() + "qp_dissector." + std::to_string(getpid());
};

TEST_F(Dissector, ShowsEveryFieldOfWrittenDatagramsAndStreamAsTheDumpDoes) {
  HPPProbeRequest vProbe(nullptr);
  PoolServerPacket vBuilt(static_cast<const QpBasicStringBuffer*>(nullptr));
  vBuilt.store(POOLSERVER_CLUSTER_ID, "cluster-7");
  vBuilt.store(POOLSERVER_SEGMENT_SIZE, 65536);
  vBuilt.store(POOLSERVER_IDLE_TIMEOUT, static_cast<QpLong>(-120000));
  vBuilt.store(POOLSERVER_CLUSTER_TIMESTAMP, static_cast<QpLong>(1765000000123LL));
  vBuilt.store(POOLSERVER_CLUSTER_STATUS, 5, 1);  // a one-byte boolean
  QpStringBuffer vProbeList("127.0.0.2:3218,127.0.0.3:3218");
  vBuilt.store(POOLSERVER_PROBE_ALL, &vProbeList, ',');
  const unsigned char vRaw[] = {0, 1, 2, 0xFF};
  vBuilt.store(4000, vRaw, sizeof vRaw);
  // The library reads but never writes 16-bit fields: append one to the image by hand.
  Bytes vReplyImage = imageOf(vBuilt);
  const Bytes vShort = {0x0F, 0xA1, QpSmartPacket::kTypeShort, 0, 0, 2, 0xFF, 0xFE};
  vReplyImage.insert(vReplyImage.end(), vShort.begin(), vShort.end());
  PoolServerPacket vReply;
  vReply.fromBytes(vReplyImage.data(), static_cast<int>(vReplyImage.size()));

  HPPGetPoolInfoRequest vInfo(nullptr);
  AuthNegationRequest vAuth(nullptr, QpStringBuffer("plain"), QpStringBuffer("first,second"));
  PoolClientPacket vInfoReply(static_cast<const QpBasicStringBuffer*>(nullptr));
  vInfoReply.store(HPP_POOL_CAPACITY, static_cast<QpLong>(1) << 40);
  vInfoReply.store(HPP_POOL_FREE, static_cast<QpLong>(123456789));
  vInfoReply.store(HPP_CLUSTERNAME, "loopback");
  vInfoReply.store(HPP_CAPABILITIES, "read,write");
  vInfoReply.store(HPP_REPLICA_LOCATIONS, "");
  QpStringBuffer vTransaction("tx-1");
  HPPExportData vExport(&vTransaction, 4096, "segment", 7, nullptr);

  Pcap vPcap;
  vPcap.add(40000, 3218, imageOf(vProbe));
  vPcap.add(3218, 40000, imageOf(vReply));
  vPcap.add(40000, 3218, {'F', 'S', 'P', '2', 0, 9, 2, 0, 0, 100, 'x'});  // truncated field
  // Client to node: two packets in one segment, then one more. Node to client: the reply split
  // across two segments, the second also carrying the end marker.
  Bytes vToNode = imageOf(vInfo), vAuthImage = imageOf(vAuth), vToClient = imageOf(vInfoReply);
  vToNode.insert(vToNode.end(), vAuthImage.begin(), vAuthImage.end());
  vPcap.add(40001, 3218, vToNode, true);
  vPcap.add(3218, 40001, Bytes(vToClient.begin(), vToClient.begin() + 21), true);
  Bytes vTail(vToClient.begin() + 21, vToClient.end());
  vTail.insert(vTail.end(), QpSmartPacket::GetEOFMarker(), QpSmartPacket::GetEOFMarker() + 4);
  vPcap.add(3218, 40001, vTail, true);
  vPcap.add(40001, 3218, imageOf(vExport), true);
  std::ofstream(mPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(vPcap.mData.data()), vPcap.mData.size());
  const std::vector<Decoded> vDecoded = decode(mPath, {});

  struct Expected {
    QpSmartPacket* mPacket;  // null: no fields expected
    const char* mSummary;    // the family and framing, or what stands in their place
  } const kExpected[] = {{&vProbe, "PoolServerPacket, %zu fields, datagram"},
                         {&vReply, "PoolServerPacket, %zu fields, datagram"},
                         {nullptr, "smart packet, malformed, datagram"},
                         {&vInfo, "PoolClientPacket, %zu fields, framed"},
                         {&vAuth, "AuthenticationNegationPacket, %zu fields, framed"},
                         {&vInfoReply, "PoolClientPacket, %zu fields, framed"},
                         {nullptr, "end of stream"},
                         {&vExport, "HPPPacket, %zu fields, framed"}};
  ASSERT_EQ(vDecoded.size(), std::size(kExpected)) << mOutput;
  int vCodesChecked = 0;
  for (size_t i = 0; i < vDecoded.size(); ++i) {
    SCOPED_TRACE(vDecoded[i].mSummary);
    std::vector<std::string> vDump;
    if (kExpected[i].mPacket != nullptr) {
      char* vText = kExpected[i].mPacket->toString();
      vDump = fieldLines(vText);
      qp_free(vText);
    }
    char vSummary[128];
    std::snprintf(vSummary, sizeof vSummary, kExpected[i].mSummary, vDump.size());
    EXPECT_NE(vDecoded[i].mSummary.find(vSummary), std::string::npos) << vSummary;
    ASSERT_EQ(vDecoded[i].mFields.size(), vDump.size());
    for (size_t k = 0; k < vDump.size(); ++k)
      vCodesChecked += checkField(vDecoded[i].mFields[k], vDump[k]);
  }
  EXPECT_GE(vCodesChecked, 50);
  EXPECT_NE(mOutput.find("Field truncated at offset 4"), std::string::npos);
}

// Sends datagrams to 127.0.0.1:inPort until tshark (inPid) lists one in inList: false when
// tshark has ended or after 30 s.
bool capturedOwnDatagram(int inPid, const std::string& inList, int inPort) {
  const int vSocket = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in vTo{};
  vTo.sin_family = AF_INET;
  vTo.sin_port = htons(static_cast<uint16_t>(inPort));
  vTo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool vSeen = false;
  for (int i = 0; i < 300 && !vSeen && waitpid(inPid, nullptr, WNOHANG) != inPid; ++i) {
    sendto(vSocket, "qp", 2, 0, reinterpret_cast<const sockaddr*>(&vTo), sizeof vTo);
    usleep(100000);
    vSeen = qpReadFile(inList).find(" " + std::to_string(inPort) + " Len=") != std::string::npos;
  }
  close(vSocket);
  return vSeen;
}

TEST_F(Dissector, ShowsACapturedDemoExchange) {
  const std::string vList = mPath + ".out", vErr = mPath + ".err";
  // tshark is the shell's own process (exec), so that the SIGTERM of stop() ends it and it
  // completes the file. It lists every packet it captures (-P -l), which tells when it is live.
  QpBackground vCapture("/bin/sh",
                        {"-c", "echo started; exec '" + mTshark + "' -i lo -P -l -w '" + mPath +
                                   "' -f 'host 127.0.0.1' >'" + vList + "' 2>'" + vErr + "'"});
  if (!capturedOwnDatagram(vCapture.pid(), vList, 9)) {
    vCapture.stop();
    const std::string vReason = qpReadFile(vErr);
    for (const std::string& vPath : {mPath, vList, vErr}) std::remove(vPath.c_str());
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
            2);
  const std::vector<Decoded> vDecoded =
      decode(mPath, {"-d", "udp.port==" + std::to_string(vUdp) + ",qpsp", "-d",
                     "tcp.port==" + std::to_string(vTcp) + ",qpsp"});
  // Each field line of the dumps that the demo printed, in order, is a field the dissector
  // showed, with its code.
  std::vector<std::pair<std::string, int>> vFields;
  std::string vFramings;
  for (const Decoded& vPacket : vDecoded) {
    vFramings += vPacket.mSummary.substr(vPacket.mSummary.rfind(", ")) + " ";
    vFields.insert(vFields.end(), vPacket.mFields.begin(), vPacket.mFields.end());
  }
  EXPECT_EQ(vFramings, ", datagram , datagram , framed , framed ") << mOutput;
  const std::vector<std::string> vDump = fieldLines(vDemo.out);
  ASSERT_EQ(vFields.size(), vDump.size()) << mOutput;
  EXPECT_GT(vDump.size(), 10u) << vDemo.out;
  for (size_t k = 0; k < vDump.size(); ++k) checkField(vFields[k], vDump[k]);
}

}  // namespace
