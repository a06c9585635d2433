// Tests of the network packet: request fields, names, the control table, the host name.
#include <unistd.h>

#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include <gmock/gmock.h>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using qptest::Bytes;
using qptest::Codes;
using qptest::codesOf;
using qptest::dumpOf;
using qptest::fieldsOf;
using qptest::hex;
using qptest::imageOf;
using qptest::LoopbackPeer;
using testing::HasSubstr;

class Request : public NetworkPacket {
 public:
  explicit Request(const QpBasicStringBuffer* inTid) : NetworkPacket(inTid) {}
};

}  // namespace

TEST(NetworkPacket, RequestFieldsAndDump) {
  Request a(nullptr);
  EXPECT_EQ(codesOf(a), (Codes{4, 0, 123, 301}));
  const qptest::Bytes vFields = fieldsOf(a);
  EXPECT_EQ(qptest::Bytes(vFields.end() - 30, vFields.end()),
            hex("0000 01 000004 00000003  007B 01 000004 00040003  012D 01 000004 00010003"));
  QpStringBuffer vTid("T-1"), vText;
  Request b(&vTid);
  EXPECT_EQ(codesOf(b), (Codes{4, 5, 0, 123, 301}));
  b.GetTransactionID(vText);
  EXPECT_STREQ(vText.toStringConst(), "T-1");
  EXPECT_STREQ(b.GetString(NET_SYSTEMID).toStringConst(), NetworkPacket::GetHostName());
  b.store(HPP_EXCEPTION, "50% done");
  EXPECT_THAT(dumpOf(b), HasSubstr("\n  NET_TRANSACTIONID type=string value=T-1\n"
                                   "  NET_VERSION type=integer value=3\n"
                                   "  HPP_CLIENT_VERSION type=integer value=262147\n"
                                   "  fieldcode=301 type=integer value=65539\n"
                                   "  fieldcode=131 type=string value=50% done\n"));
}

TEST(NetworkPacket, HostNameOnceForAllThreads) {
  char vExpected[256] = {0};
  ASSERT_EQ(gethostname(vExpected, sizeof(vExpected)), 0);
  std::vector<char*> vSeen(4);
  std::vector<std::thread> vThreads;
  for (auto& vSlot : vSeen)
    vThreads.emplace_back([&vSlot] { vSlot = NetworkPacket::GetHostName(); });
  for (auto& t : vThreads) t.join();
  for (char* vName : vSeen) {
    EXPECT_EQ(vName, vSeen[0]);
    EXPECT_STREQ(vName, vExpected);
  }
}

TEST(NetworkPacket, FieldCodeByName) {
  const std::pair<const char*, short> kCases[] = {
      {"net_version", 0},   {"HPP_MIN_INDEX", -1},         {"QUERY_OPCODE", 101},
      {"HPP_OPCODE", 101},  {"Auth_Cr_Result", 127},       {"AUTH_NEG_TARGET", 122},
      {"HPP_SDK_HOST", -1}, {"POOLSERVER_PROBE_ALL", 359}, {"", -1},
      {nullptr, -1}};
  for (const auto& c : kCases) EXPECT_EQ(NetworkPacket::GetFieldCode(c.first), c.second);
}

// Every control code from -2 to 41, and code 25 with each reason: the exception class, the code
// kept as its system error, the server's text (if any) as message and the translation's trace.
TEST(NetworkPacket, ControlCodes) {
  const int kNone = -100;  // no field 219
  struct Case {
    int mCode;
    int mReason;
    const std::type_info* mType;  // null: success
  };
  // clang-format off
  std::vector<Case> vCases = {
      {0, kNone, nullptr}, {1, kNone, nullptr}, {6, kNone, nullptr}, {7, kNone, nullptr},
      {2, kNone, &typeid(QpFileNotStoredException)}, {4, kNone, &typeid(QpDuplicateFileException)},
      {11, kNone, &typeid(QpBlobBusyException)}, {12, kNone, &typeid(QpServerNotReadyException)},
      {14, kNone, &typeid(QpServerFullException)}, {17, kNone, &typeid(QpTransactionFailedException)},
      {18, kNone, &typeid(QpNotAllowedException)}, {21, kNone, &typeid(QpBloblIDMismatchException)},
      {26, kNone, &typeid(QpOutOfBoundsException)},
      {30, kNone, &typeid(QpAdvancedRetentionDisabledException)},
      {31, kNone, &typeid(QpNonEBRClipException)}, {32, kNone, &typeid(QpEBROverrideException)},
      {33, kNone, &typeid(QpNoEBREventException)},
      {34, kNone, &typeid(QpRetentionOutOfBoundsException)},
      {35, kNone, &typeid(QpRetentionHoldCountExceededException)},
      {36, kNone, &typeid(QpMetadataMismatchException)},
      {38, kNone, &typeid(QpMetadataConstraintException)},
      {39, kNone, &typeid(QpMetadataConcurrencyException)},
      {25, 0, &typeid(QpHoldVetoException)}, {25, 1, &typeid(QpRetentionVetoException)},
      {25, 7, &typeid(QpNotAllowedException)}, {25, kNone, &typeid(QpNotAllowedException)}};
  // clang-format on
  for (int vCode :
       {-2, -1, 3, 5, 8, 9, 10, 13, 15, 16, 19, 20, 22, 23, 24, 27, 28, 29, 37, 40, 41}) {
    vCases.push_back({vCode, kNone, &typeid(QpServerErrorException)});
  }
  for (const char* vText : {"", "disk on fire"}) {
    for (const Case& c : vCases) {
      QpSmartPacket vReply;
      vReply.store(HPP_CONTROL, c.mCode);
      if (c.mReason != kNone) vReply.store(HPP_ERROR_REASON, c.mReason);
      if (*vText != 0) vReply.store(HPP_EXCEPTION, vText);
      NetworkPacket p(vReply);
      SCOPED_TRACE("code " + std::to_string(c.mCode) + " reason " + std::to_string(c.mReason));
      try {
        p.checkControl();
        EXPECT_EQ(c.mType, nullptr);
      } catch (QpException& e) {
        ASSERT_NE(c.mType, nullptr);
        EXPECT_EQ(typeid(e), *c.mType);
        EXPECT_EQ(e.GetSysErrorCode(), c.mCode);
        EXPECT_EQ(qpTake(e.GetMessageString()), *vText != 0 ? vText : "<null>");
        EXPECT_EQ(qpTake(e.GetTraceString("<")),
                  "NetworkPacket.checkControl(" + std::to_string(c.mCode) + ")");
      }
    }
  }
}

// ---- Exchanges over loopback sockets ------------------------------------------------------

// A request goes out byte for byte as its image; replies of any size come back whole, one after
// the other on one connection and into one reused packet.
TEST(NetworkPacket, ExchangeOnLoopback) {
  QpStringBuffer vTid("T-1");
  Request vRequest(&vTid);
  const Bytes vRequestImage = imageOf(vRequest);

  QpSmartPacket vBig, vSmall;
  const Bytes vData(300000, 0xA5);  // several pieces of the body reader
  vBig.store(HPP_SEGDATA, vData.data(), static_cast<int>(vData.size()));
  vBig.store(HPP_CONTROL, 0);
  vSmall.store(NET_SERVERREPLY, "OK");
  Bytes vReplies = imageOf(vBig);
  const Bytes vSecond = imageOf(vSmall);
  vReplies.insert(vReplies.end(), vSecond.begin(), vSecond.end());

  LoopbackPeer vPeer(true, vRequestImage.size(), vReplies);
  QpStreamSocket vSocket;
  vSocket.open(vPeer.address());
  vRequest.send(vSocket);
  NetworkPacket vReply;
  vReply.receive(vSocket);
  EXPECT_EQ(imageOf(vReply), imageOf(vBig));
  EXPECT_EQ(vReply.GetControl(), 0);
  vReply.receive(vSocket);
  EXPECT_EQ(imageOf(vReply), vSecond);
  QpStringBuffer vText;
  vReply.GetServerReply(vText);
  EXPECT_STREQ(vText.toStringConst(), "OK");
  EXPECT_EQ(vPeer.request(), vRequestImage);
}

// Every way a reply can fail: what the peer sends, then closes.
TEST(NetworkPacket, ReceiveFailures) {
  QpSmartPacket vRefusal, vMixed;
  vRefusal.store(NET_SERVERREPLY, "idnotregistered");
  vMixed.store(NET_SERVERREPLY, "NoStreamerREGISTERED");
  const char* const kTrace = "Networkpacket::receive(Connection&)";
  const struct {
    Bytes mBytes;
    const char* mMessage;
    int mKind;  // 0 socket, 1 packet data, 2 server error
  } kCases[] = {
      {hex("012B3997 00000004 46535032"), "Premature end of packet", 0},
      {hex("48545450 2F312E31"), "Invalid marker: 1213486160", 0},
      {hex(""), "Unable to read marker", 0},
      {hex("012C75"), "Unable to read marker", 0},
      {hex("012C7598 0000"), "Unable to read packet size", 0},
      {hex("012C7598 FFFFFFFF 46535032"), "Invalid packet size: -1", 0},
      {hex("012C7598 80000000"), "Invalid packet size: -2147483648", 0},
      {hex("012C7598 7FFFFFFF 46535032"), "Invalid packet size: 2147483647", 0},
      // The largest size whose image and growth margin still fit: accepted, then short.
      {hex("012C7598 7FFFFDE6"), "Invalid packet size: 2147483110", 0},
      {hex("012C7598 7FFFFDE5 46535032"), "Unable to read packet data", 0},
      {hex("012C7598 0000000E 46535032 0001 01 0000"), "Unable to read packet data", 0},
      {hex("012C7598 00000000"), nullptr, 1},
      {hex("012C7598 00000004 46535033"), nullptr, 1},
      {hex("012C7598 0000000A 46535032 0001 01 000004"),
       "field value runs past the end of the packet", 1},
      {imageOf(vRefusal), "idnotregistered", 2},
      {imageOf(vMixed), "NoStreamerREGISTERED", 2},
  };
  for (const auto& c : kCases) {
    LoopbackPeer vPeer(true, 0, c.mBytes);
    QpStreamSocket vSocket;
    vSocket.open(vPeer.address());
    NetworkPacket p;
    const std::string vMagicTrace = std::string("QpSmartPacket.checkMagic<") + kTrace;
    const std::string vWalkTrace = std::string("QpSmartPacket.fetchNext<") + kTrace;
    switch (c.mKind) {
      case 0:
        EXPECT_QP_FAILURE(QpSocketException, p.receive(vSocket), c.mMessage, kTrace);
        break;
      case 1:
        EXPECT_QP_FAILURE(QpPacketDataException, p.receive(vSocket), c.mMessage,
                          (c.mMessage ? vWalkTrace : vMagicTrace).c_str());
        break;
      default:
        EXPECT_QP_FAILURE(QpServerErrorException, p.receive(vSocket), c.mMessage, kTrace);
        break;
    }
  }
}

TEST(NetworkPacket, ProbeAddresses) {
  QpSmartPacket vFields;
  QpStringBuffer vList("10.1.2.3:4000; load = 40|node7");
  vFields.store(POOLSERVER_PROBE_ALL, &vList, '|');
  vFields.store(POOLSERVER_PROBE_IP1, "hpp://10.1.2.3:3218");
  vFields.store(POOLSERVER_PROBE_IP2, std::string(256, 'n').c_str());
  NetworkPacket p(vFields);
  EXPECT_THAT(dumpOf(p),
              HasSubstr("\n  POOLSERVER_PROBE_ALL type=stringarray value=[210.1.2.3(40), "
                        "NODE7(99)]\n"));
  EXPECT_STREQ(p.GetProbeAddress(0).toStringConst(), "10.1.2.3");
  QpAddress vAddress;
  p.GetProbeAddress(0, vAddress);
  EXPECT_EQ(vAddress.GetPort(), 3218);
  EXPECT_QP_THROW(p.GetProbeAddress(1), QpSDKInternalException, "vLen < (QpInt)sizeof(vBuffer)");
  // A list that is no address list still dumps, as the plain field.
  QpSmartPacket vBad;
  QpStringBuffer vBadList("ftp://x");
  vBad.store(POOLSERVER_PROBE_ALL, &vBadList, '|');
  NetworkPacket q(vBad);
  EXPECT_THAT(dumpOf(q), HasSubstr("  POOLSERVER_PROBE_ALL type=bytearray value=27\n"));
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
