// Tests of the network packet: request fields, names, the control table, the host name.
#include <unistd.h>

#include <string>
#include <thread>
#include <functional>
#include <map>
#include <typeinfo>
#include <vector>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using qptest::Bytes;
using qptest::hex;
using qptest::imageOf;

class Request : public NetworkPacket {
 public:
  explicit Request(const QpBasicStringBuffer* inTid) : NetworkPacket(inTid) {}
};

}  // namespace

TEST(NetworkPacket, RequestFieldsNamesAndHostName) {
  QpStringBuffer vTid("T-1");
  Request b(&vTid);
  const Bytes vFields = qptest::fieldsOf(b);
  EXPECT_EQ(Bytes(vFields.end() - 30, vFields.end()),
            hex("0000 01 000004 00000003  007B 01 000004 00040003  012D 01 000004 00010003"));
  b.store(HPP_EXCEPTION, "50% done");
  EXPECT_NE(qptest::dumpOf(b).find("\n  NET_TRANSACTIONID type=string value=T-1\n"
                                   "  NET_VERSION type=integer value=3\n"
                                   "  HPP_CLIENT_VERSION type=integer value=262147\n"
                                   "  fieldcode=301 type=integer value=65539\n"
                                   "  fieldcode=131 type=string value=50% done\n"),
            std::string::npos);
  const std::pair<const char*, short> kCodes[] = {
      {"net_version", 0},   {"HPP_MIN_INDEX", -1},         {"QUERY_OPCODE", 101},
      {"HPP_OPCODE", 101},  {"Auth_Cr_Result", 127},       {"AUTH_NEG_TARGET", 122},
      {"HPP_SDK_HOST", -1}, {"POOLSERVER_PROBE_ALL", 359}, {nullptr, -1}};
  for (const auto& c : kCodes) EXPECT_EQ(NetworkPacket::GetFieldCode(c.first), c.second);
  // The host name is read once, for all threads.
  char vExpected[256] = {0}, *vSeen[2] = {nullptr, nullptr};
  ASSERT_EQ(gethostname(vExpected, sizeof(vExpected)), 0);
  std::thread vA([&] { vSeen[0] = NetworkPacket::GetHostName(); });
  std::thread vB([&] { vSeen[1] = NetworkPacket::GetHostName(); });
  vA.join();
  vB.join();
  EXPECT_EQ(vSeen[0], vSeen[1]);
  EXPECT_STREQ(vSeen[0], vExpected);
}

// Every control code from -2 to 41, and code 25 with each reason: the exception class, the code
// kept as its system error, the server's text (if any) as message and the translation's trace.
void expectControl(const std::function<void()>& inCheck, const std::type_info* inType, int inCode,
                   const std::string& inMessage, const std::string& inTrace) {
  try {
    inCheck();
    EXPECT_EQ(inType, nullptr);
  } catch (QpException& e) {
    ASSERT_NE(inType, nullptr);
    EXPECT_EQ(typeid(e), *inType);
    EXPECT_EQ(e.GetSysErrorCode(), inCode);
    EXPECT_EQ(qpTake(e.GetMessageString()), inMessage);
    EXPECT_EQ(qpTake(e.GetTraceString("<")), inTrace);
  }
}

TEST(NetworkPacket, ControlCodes) {
  const int kNone = -100;  // no field 219
  struct Case {
    int mCode;
    int mReason;
    const std::type_info* mType;  // null: success
  };
  // clang-format off
  const std::map<int, const std::type_info*> kSpecial = {
      {0, nullptr}, {1, nullptr}, {6, nullptr}, {7, nullptr},
      {2, &typeid(QpFileNotStoredException)}, {4, &typeid(QpDuplicateFileException)},
      {11, &typeid(QpBlobBusyException)}, {12, &typeid(QpServerNotReadyException)},
      {14, &typeid(QpServerFullException)}, {17, &typeid(QpTransactionFailedException)},
      {18, &typeid(QpNotAllowedException)}, {21, &typeid(QpBloblIDMismatchException)},
      {25, &typeid(QpNotAllowedException)}, {26, &typeid(QpOutOfBoundsException)},
      {30, &typeid(QpAdvancedRetentionDisabledException)}, {31, &typeid(QpNonEBRClipException)},
      {32, &typeid(QpEBROverrideException)}, {33, &typeid(QpNoEBREventException)},
      {34, &typeid(QpRetentionOutOfBoundsException)},
      {35, &typeid(QpRetentionHoldCountExceededException)},
      {36, &typeid(QpMetadataMismatchException)}, {38, &typeid(QpMetadataConstraintException)},
      {39, &typeid(QpMetadataConcurrencyException)}};
  // clang-format on
  std::vector<Case> vCases = {{25, 0, &typeid(QpHoldVetoException)},
                              {25, 1, &typeid(QpRetentionVetoException)},
                              {25, 7, &typeid(QpNotAllowedException)}};
  for (int vCode = -2; vCode <= 41; ++vCode) {
    const auto vIt = kSpecial.find(vCode);
    vCases.push_back(
        {vCode, kNone, vIt == kSpecial.end() ? &typeid(QpServerErrorException) : vIt->second});
  }
  for (const char* vText : {"", "disk on fire"}) {
    for (const Case& c : vCases) {
      NetworkPacket p;
      p.store(HPP_CONTROL, c.mCode);
      if (c.mReason != kNone) p.store(HPP_ERROR_REASON, c.mReason);
      if (*vText != 0) p.store(HPP_EXCEPTION, vText);
      SCOPED_TRACE("code " + std::to_string(c.mCode) + " reason " + std::to_string(c.mReason));
      expectControl([&] { p.checkControl(); }, c.mType, c.mCode, *vText != 0 ? vText : "<null>",
                    "NetworkPacket.checkControl(" + std::to_string(c.mCode) + ")");
    }
  }
  // The application-profile family has a table of its own, and ignores the server's text.
  // clang-format off
  const std::type_info* const kProfile[] = {nullptr, nullptr, &typeid(QpNotAllowedException),
      &typeid(QpProfileClipIDNotFoundException), &typeid(QpProfileClipIDWriteException),
      &typeid(QpParameterException), nullptr};
  // clang-format on
  for (int vCode = -1; vCode <= 5; ++vCode) {
    AppProfileSetClipReply p;
    p.store(AppProfilePacket::kControl, vCode);
    p.store(HPP_EXCEPTION, "ignored");
    expectControl([&] { p.checkControl(); }, kProfile[vCode + 1], vCode, "<null>",
                  "No trace available");
  }
}

// ---- Exchanges over loopback sockets ------------------------------------------------------

// A request goes out byte for byte; replies of any size come back whole, one after the other into
// one packet. An HPP reply also fails on the node's error code, not on a control code alone.
TEST(NetworkPacket, ExchangeOnLoopback) {
  QpStringBuffer vTid("T-1");
  Request vRequest(&vTid);
  const Bytes vRequestImage = imageOf(vRequest);
  QpSmartPacket vBig, vError, vControl;
  const Bytes vData(300000, 0xA5);  // several pieces of the body reader
  vBig.store(HPP_SEGDATA, vData.data(), static_cast<int>(vData.size()));
  vError.store(HPP_ERROR, 5);
  vError.store(HPP_EXCEPTION, "no such blob");
  vControl.store(HPP_CONTROL, 18);
  Bytes vReplies = imageOf(vBig);
  for (QpSmartPacket* p : {&vError, &vControl}) {
    const Bytes vNext = imageOf(*p);
    vReplies.insert(vReplies.end(), vNext.begin(), vNext.end());
  }
  qptest::LoopbackPeer vPeer(true, vRequestImage.size(), vReplies);
  QpStreamSocket vSocket;
  vSocket.open(vPeer.address());
  vRequest.send(vSocket);
  HPPExportReply vReply(nullptr);
  vReply.receive(vSocket);
  EXPECT_EQ(imageOf(vReply), imageOf(vBig));
  EXPECT_QP_FAILURE(QpServerErrorException, vReply.receive(vSocket), "no such blob",
                    "HPPPacket.receive(-)");
  vReply.receive(vSocket);
  EXPECT_EQ(imageOf(vReply), imageOf(vControl));
  EXPECT_QP_THROW(vReply.checkControl(), QpNotAllowedException, nullptr);
  EXPECT_EQ(vPeer.request(), vRequestImage);
}

// Every way a reply can fail: what the peer sends, then closes.
TEST(NetworkPacket, ReceiveFailures) {
  QpSmartPacket vRefusal, vMixed;
  vRefusal.store(NET_SERVERREPLY, "idnotregistered");
  vMixed.store(NET_SERVERREPLY, "NoStreamerREGISTERED");
  const char* const kTrace = "Networkpacket::receive(Connection&)";
  const std::pair<Bytes, const char*> kCases[] = {
      {hex("012B3997 00000004 46535032"), "Premature end of packet"},
      {hex("48545450 2F312E31"), "Invalid marker: 1213486160"},
      {hex("012C75"), "Unable to read marker"},
      {hex("012C7598 0000"), "Unable to read packet size"},
      {hex("012C7598 FFFFFFFF 46535032"), "Invalid packet size: -1"},
      {hex("012C7598 0000000E 46535032 0001 01 0000"), "Unable to read packet data"},
      {imageOf(vRefusal), "idnotregistered"},
      {imageOf(vMixed), "NoStreamerREGISTERED"},
  };
  for (const auto& c : kCases) {
    qptest::LoopbackPeer vPeer(true, 0, c.first);
    QpStreamSocket vSocket;
    vSocket.open(vPeer.address());
    NetworkPacket p;
    if (c.first.size() > 20)
      EXPECT_QP_FAILURE(QpServerErrorException, p.receive(vSocket), c.second, kTrace);
    else
      EXPECT_QP_FAILURE(QpSocketException, p.receive(vSocket), c.second, kTrace);
  }
}

TEST(NetworkPacket, ProbeAddresses) {
  QpSmartPacket vFields;
  QpStringBuffer vList("10.1.2.3:4000; load = 40|node7");
  vFields.store(POOLSERVER_PROBE_ALL, &vList, '|');
  vFields.store(POOLSERVER_PROBE_IP1, "hpp://10.1.2.3:3218");
  NetworkPacket p(vFields);
  EXPECT_NE(
      qptest::dumpOf(p).find("\n  POOLSERVER_PROBE_ALL type=stringarray value=[210.1.2.3(40), "
                             "NODE7(99)]\n"),
      std::string::npos);
  EXPECT_STREQ(p.GetProbeAddress(0).toStringConst(), "10.1.2.3");
}

// Each allocation of a reception may fail: the failure is out-of-memory, and the packet holds
// either nothing or the whole reply, never a part of it.
TEST(NetworkPacket, ReceiveOutOfMemory) {
  QpSmartPacket vFields;
  const Bytes vData(100000, 7);  // two pieces of the body reader
  vFields.store(HPP_SEGDATA, vData.data(), static_cast<int>(vData.size()));
  vFields.store(NET_SERVERREPLY, "OK");
  const Bytes vImage = imageOf(vFields);
  NetworkPacket p;
  qpWalkAllocations(
      [&] {
        qptest::MemoryConnection vConnection(vImage.data(), vImage.size());
        p.deleteMemory();
        p.receive(vConnection);
      },
      [&] { EXPECT_TRUE(p.IsEmpty() || imageOf(p) == vImage); });
  EXPECT_EQ(imageOf(p), vImage);
}
