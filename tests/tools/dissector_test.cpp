// The dissector in tshark shows every field as the library's dump prints it, with its code: in a
// capture the test writes (packets split and joined across segments) and in a captured demo.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QpUtilsLib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tools_helpers.h"

namespace {

// inValue as inSize bytes, big-endian (the pcap file too is written in that order).
void put(std::string& ioData, unsigned long long inValue, int inSize) {
  while (inSize-- > 0) ioData += static_cast<char>(inValue >> 8 * inSize);
}

std::string imageOf(QpSmartPacket& inPacket) {
  void* vData = nullptr;
  int vLen = 0;
  inPacket.toBytes(&vData, &vLen);
  return std::string(static_cast<char*>(vData), static_cast<size_t>(vLen));
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
  std::string mData;
  unsigned mSeconds = 1700000000;
  std::map<int, unsigned> mSent;
  Pcap() {
    for (unsigned vWord : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 65535u, 101u}) put(mData, vWord, 4);
  }
  void add(int inFrom, int inTo, const std::string& inPayload, bool inTcp = false) {
    const unsigned vSrc = inFrom == 3218 ? 2 : 1;
    std::string v;
    put(v, 0x4500, 2), put(v, (inTcp ? 40 : 28) + inPayload.size(), 2), put(v, 0x4000, 4);
    put(v, inTcp ? 0x4006 : 0x4011, 2), put(v, 0, 2), put(v, 0x7F000000 | vSrc, 4);
    put(v, 0x7F000000 | (3 - vSrc), 4), put(v, inFrom, 2), put(v, inTo, 2);
    if (inTcp) {
      put(v, 1 + mSent[inFrom], 4), put(v, 1 + mSent[inTo], 4), put(v, 0x5018FFFF, 4), put(v, 0, 4);
      mSent[inFrom] += static_cast<unsigned>(inPayload.size());
    } else {
      put(v, inPayload.size() + 8, 2), put(v, 0, 2);
    }
    v += inPayload;
    for (size_t vWord : {size_t(++mSeconds), size_t(0), v.size(), v.size()}) put(mData, vWord, 4);
    mData += v;
  }
};

// What tshark's verbose output (-V -O qpsp) shows of the smart packets: each tree's top line
// after the protocol name, and every field line ("NAME type=... value=...") with the code below it.
struct Decoded {
  std::string mSummaries;
  std::vector<std::pair<std::string, int>> mFields;
};

Decoded parseTshark(const std::string& inOutput) {
  Decoded vDecoded;
  std::stringstream vLines(inOutput);
  bool vInside = false;
  for (std::string vLine; std::getline(vLines, vLine);) {
    if (vLine.rfind("QpUtils smart packet, ", 0) == 0)
      vDecoded.mSummaries += vLine.substr(22) + "\n";
    if (!vLine.empty() && vLine[0] != ' ') {
      vInside = vLine.rfind("QpUtils smart packet, ", 0) == 0;
    } else if (vInside && vLine.rfind("    ", 0) == 0 && vLine[4] != ' ' &&
               vLine.find(" type=") != std::string::npos) {
      vDecoded.mFields.push_back({vLine.substr(4), -1});
    } else if (vInside && vLine.rfind("        Code: ", 0) == 0 && !vDecoded.mFields.empty()) {
      vDecoded.mFields.back().second = std::atoi(vLine.c_str() + 14);
    }
  }
  return vDecoded;
}

// Each decoded field must be the dump's line, in order, with the code the library names it by
// (or shows unnamed). The probe list (359) the dissector shows nested, not as the dump renders it.
void expectFields(const Decoded& inDecoded, const std::vector<std::string>& inDump) {
  ASSERT_EQ(inDecoded.mFields.size(), inDump.size());
  for (size_t i = 0; i < inDump.size(); ++i) {
    const std::string vName = inDump[i].substr(0, inDump[i].find(' '));
    const bool vNested = vName == "POOLSERVER_PROBE_ALL";
    const std::string vWanted = vNested ? vName + " type=bytearray value=" : inDump[i];
    const std::string& vShown = inDecoded.mFields[i].first;
    EXPECT_EQ(vShown.substr(0, vNested ? vWanted.size() : std::string::npos), vWanted);
    const int vCode = vName.rfind("fieldcode=", 0) == 0
                          ? std::atoi(vName.c_str() + 10)
                          : NetworkPacket::GetFieldCode(vName.c_str());
    if (vCode != -1) {
      EXPECT_EQ(inDecoded.mFields[i].second, vCode) << vName;
    }
  }
}

class Dissector : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QP_DISSECTOR_LUA
    GTEST_SKIP() << "the dissector is not built in this configuration";
#else
    if (access(mTshark.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << mTshark << "; not tested";
    mLua = QP_DISSECTOR_LUA;
#endif
  }
  Decoded decode(const std::string& inPcap, const std::vector<std::string>& inExtra) {
    std::vector<std::string> vArgs = {"-r", inPcap, "-X", "lua_script:" + mLua, "-V", "-O", "qpsp"};
    vArgs.insert(vArgs.end(), inExtra.begin(), inExtra.end());
    const QpRunResult vRun = qpRun(mTshark, vArgs, "", 120000);
    std::remove(inPcap.c_str());
    EXPECT_EQ(vRun.exitCode, 0) << vRun.err;
    mOutput = vRun.out;
    return parseTshark(vRun.out);
  }
  std::string mTshark = "/usr/bin/tshark", mLua, mOutput;
  const std::string mPath = ::testing::TempDir() + "qp_dissector." + std::to_string(getpid());
};

TEST_F(Dissector, ShowsEveryFieldOfWrittenDatagramsAndStreamAsTheDumpDoes) {
  HPPProbeRequest vProbe(nullptr);
  PoolServerPacket vBuilt(static_cast<const QpBasicStringBuffer*>(nullptr));
  vBuilt.store(POOLSERVER_CLUSTER_ID, "cluster-7");
  vBuilt.store(POOLSERVER_SEGMENT_SIZE, 65536);
  vBuilt.store(POOLSERVER_IDLE_TIMEOUT, static_cast<QpLong>(-120000));
  vBuilt.store(POOLSERVER_CLUSTER_STATUS, 5, 1);  // a one-byte boolean
  QpStringBuffer vProbeList("127.0.0.2:3218,127.0.0.3:3218");
  vBuilt.store(POOLSERVER_PROBE_ALL, &vProbeList, ',');
  const unsigned char vRaw[] = {0, 1, 2, 0xFF};
  vBuilt.store(4000, vRaw, sizeof vRaw);
  // The library reads but never writes 16-bit fields: append one to the image by hand.
  std::string vReplyImage = imageOf(vBuilt);
  put(vReplyImage, 4001, 2), put(vReplyImage, QpSmartPacket::kTypeShort, 1), put(vReplyImage, 2, 3);
  put(vReplyImage, 0xFFFE, 2);
  PoolServerPacket vReply;
  vReply.fromBytes(vReplyImage.data(), static_cast<int>(vReplyImage.size()));

  HPPGetPoolInfoRequest vInfo(nullptr);
  AuthNegationRequest vAuth(nullptr, QpStringBuffer("plain"), QpStringBuffer("first,second"));
  PoolClientPacket vInfoReply(static_cast<const QpBasicStringBuffer*>(nullptr));
  vInfoReply.store(HPP_POOL_CAPACITY, static_cast<QpLong>(1) << 40);
  vInfoReply.store(HPP_POOL_FREE, static_cast<QpLong>(123456789));
  vInfoReply.store(HPP_CLUSTERNAME, "loopback");
  vInfoReply.store(HPP_REPLICA_LOCATIONS, "");
  QpStringBuffer vTransaction("tx-1");
  HPPExportData vExport(&vTransaction, 4096, "segment", 7, nullptr);

  Pcap vPcap;
  vPcap.add(40000, 3218, imageOf(vProbe));
  vPcap.add(3218, 40000, imageOf(vReply));
  vPcap.add(40000, 3218, std::string("FSP2\0\x09\x02\0\0\x64x", 11));  // truncated field
  // Client to node: two packets in one segment, then one more. Node to client: the reply split
  // across two segments, the second also carrying the end marker.
  const std::string vToClient = imageOf(vInfoReply);
  vPcap.add(40001, 3218, imageOf(vInfo) + imageOf(vAuth), true);
  vPcap.add(3218, 40001, vToClient.substr(0, 21), true);
  vPcap.add(3218, 40001, vToClient.substr(21) + std::string(QpSmartPacket::GetEOFMarker(), 4),
            true);
  vPcap.add(40001, 3218, imageOf(vExport), true);
  std::ofstream(mPath, std::ios::binary) << vPcap.mData;
  const Decoded vDecoded = decode(mPath, {});

  // Each packet's family, field count and framing (or what stands in their place), in order.
  const std::pair<QpSmartPacket*, const char*> kExpected[] = {
      {&vProbe, "PoolServerPacket, %zu fields, datagram"},
      {&vReply, "PoolServerPacket, %zu fields, datagram"},
      {nullptr, "smart packet, malformed, datagram"},
      {&vInfo, "PoolClientPacket, %zu fields, framed"},
      {&vAuth, "AuthenticationNegationPacket, %zu fields, framed"},
      {&vInfoReply, "PoolClientPacket, %zu fields, framed"},
      {nullptr, "end of stream"},
      {&vExport, "HPPPacket, %zu fields, framed"}};
  std::vector<std::string> vDump;
  std::string vSummaries;
  for (const auto& vExpected : kExpected) {
    std::vector<std::string> vLines;
    if (char* vText = vExpected.first != nullptr ? vExpected.first->toString() : nullptr) {
      vLines = fieldLines(vText);
      qp_free(vText);
    }
    vDump.insert(vDump.end(), vLines.begin(), vLines.end());
    char vSummary[128];
    std::snprintf(vSummary, sizeof vSummary, vExpected.second, vLines.size());
    vSummaries += vSummary + std::string("\n");
  }
  EXPECT_EQ(vDecoded.mSummaries, vSummaries);
  expectFields(vDecoded, vDump);
  EXPECT_NE(mOutput.find("Field truncated at offset 4"), std::string::npos);
}

// Sends datagrams to 127.0.0.1:inPort until tshark (inPid) lists one in inList: false when
// tshark has ended or after 30 s.
bool capturedOwnDatagram(int inPid, const std::string& inList, int inPort) {
  const std::string vPort = std::to_string(inPort);
  for (int i = 0; i < 300 && waitpid(inPid, nullptr, WNOHANG) != inPid; ++i) {
    qpRun("/bin/bash", {"-c", "echo qp >/dev/udp/127.0.0.1/" + vPort});
    usleep(100000);
    if (qpReadFile(inList).find(" " + vPort + " Len=") != std::string::npos) return true;
  }
  return false;
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
  const Decoded vDecoded = decode(mPath, {"-d", "udp.port==" + std::to_string(vUdp) + ",qpsp", "-d",
                                          "tcp.port==" + std::to_string(vTcp) + ",qpsp"});
  // The probe over UDP and the pool information over TCP, each field as the demo's dumps show it.
  EXPECT_TRUE(std::regex_match(vDecoded.mSummaries,
                               std::regex("(PoolServerPacket, \\d+ fields, datagram\n){2}"
                                          "(PoolClientPacket, \\d+ fields, framed\n){2}")))
      << vDecoded.mSummaries;
  EXPECT_GT(fieldLines(vDemo.out).size(), 10u);
  expectFields(vDecoded, fieldLines(vDemo.out));
}

}  // namespace
