// Tests of the network packet: request fields, names, the control table, the host name.
#include <unistd.h>

#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using qptest::Codes;
using qptest::codesOf;
using qptest::dumpOf;
using qptest::fieldsOf;
using qptest::hex;

class Request : public NetworkPacket {
 public:
  explicit Request(const QpBasicStringBuffer* inTid) : NetworkPacket(inTid) {}
};

}  // namespace

TEST(NetworkPacket, RequestFields) {
  Request a(nullptr);
  EXPECT_EQ(codesOf(a), (Codes{4, 0, 123, 301}));
  const qptest::Bytes vFields = fieldsOf(a);
  const qptest::Bytes vTail(vFields.end() - 30, vFields.end());
  EXPECT_EQ(vTail,
            hex("0000 01 000004 00000003  007B 01 000004 00040003  012D 01 000004 00010003"));

  QpStringBuffer vTid("T-1");
  Request b(&vTid);
  EXPECT_EQ(codesOf(b), (Codes{4, 5, 0, 123, 301}));
  QpStringBuffer vText;
  b.GetTransactionID(vText);
  EXPECT_STREQ(vText.toStringConst(), "T-1");
  EXPECT_STREQ(b.GetString(NET_SYSTEMID).toStringConst(), NetworkPacket::GetHostName());
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
  const struct {
    const char* mName;
    short mCode;
  } kCases[] = {{"net_version", 0},   {"HPP_MIN_INDEX", -1},         {"QUERY_OPCODE", 101},
                {"HPP_OPCODE", 101},  {"Auth_Cr_Result", 127},       {"AUTH_NEG_TARGET", 122},
                {"HPP_SDK_HOST", -1}, {"POOLSERVER_PROBE_ALL", 359}, {"", -1},
                {nullptr, -1}};
  for (const auto& c : kCases) {
    EXPECT_EQ(NetworkPacket::GetFieldCode(c.mName), c.mCode) << (c.mName ? c.mName : "null");
  }
}

TEST(NetworkPacket, Dump) {
  Request p(nullptr);
  p.store(HPP_EXCEPTION, "50% done");
  const std::string vDump = dumpOf(p);
  EXPECT_EQ(vDump.rfind("SmartPacket\n  NET_SYSTEMID type=string value=", 0), 0u) << vDump;
  EXPECT_NE(vDump.find("\n  NET_VERSION type=integer value=3\n"
                       "  HPP_CLIENT_VERSION type=integer value=262147\n"
                       "  fieldcode=301 type=integer value=65539\n"
                       "  fieldcode=131 type=string value=50% done\n"),
            std::string::npos)
      << vDump;
}

// Every control code from -2 to 41, and code 25 with each reason: the exception class, the code
// kept as its system error, the server's text as message and the trace of the translation.
TEST(NetworkPacket, ControlCodes) {
  struct Rule {
    int mCode;
    const std::type_info* mType;  // null: success
  };
  const Rule kRules[] = {{0, nullptr},
                         {1, nullptr},
                         {6, nullptr},
                         {7, nullptr},
                         {2, &typeid(QpFileNotStoredException)},
                         {4, &typeid(QpDuplicateFileException)},
                         {11, &typeid(QpBlobBusyException)},
                         {12, &typeid(QpServerNotReadyException)},
                         {14, &typeid(QpServerFullException)},
                         {17, &typeid(QpTransactionFailedException)},
                         {18, &typeid(QpNotAllowedException)},
                         {21, &typeid(QpBloblIDMismatchException)},
                         {26, &typeid(QpOutOfBoundsException)},
                         {30, &typeid(QpAdvancedRetentionDisabledException)},
                         {31, &typeid(QpNonEBRClipException)},
                         {32, &typeid(QpEBROverrideException)},
                         {33, &typeid(QpNoEBREventException)},
                         {34, &typeid(QpRetentionOutOfBoundsException)},
                         {35, &typeid(QpRetentionHoldCountExceededException)},
                         {36, &typeid(QpMetadataMismatchException)},
                         {38, &typeid(QpMetadataConstraintException)},
                         {39, &typeid(QpMetadataConcurrencyException)}};
  struct Case {
    int mCode;
    int mReason;  // field 219, or -100 for none
    const std::type_info* mType;
  };
  std::vector<Case> vCases;
  for (int vCode = -2; vCode <= 41; ++vCode) {
    if (vCode == 25) continue;
    const std::type_info* vType = &typeid(QpServerErrorException);
    for (const Rule& r : kRules) {
      if (r.mCode == vCode) vType = r.mType;
    }
    vCases.push_back({vCode, -100, vType});
  }
  vCases.push_back({25, 0, &typeid(QpHoldVetoException)});
  vCases.push_back({25, 1, &typeid(QpRetentionVetoException)});
  vCases.push_back({25, 7, &typeid(QpNotAllowedException)});
  vCases.push_back({25, -100, &typeid(QpNotAllowedException)});

  for (const char* vText : {"", "disk on fire"}) {
    for (const Case& c : vCases) {
      QpSmartPacket vReply;
      vReply.store(HPP_CONTROL, c.mCode);
      if (c.mReason != -100) vReply.store(HPP_ERROR_REASON, c.mReason);
      if (*vText != 0) vReply.store(HPP_EXCEPTION, vText);
      NetworkPacket p(vReply);
      const std::string vWhat = "code " + std::to_string(c.mCode) + " reason " +
                                std::to_string(c.mReason) + " text '" + vText + "'";
      try {
        p.checkControl();
        EXPECT_EQ(c.mType, nullptr) << vWhat;
      } catch (QpException& e) {
        ASSERT_NE(c.mType, nullptr) << vWhat;
        EXPECT_EQ(typeid(e), *c.mType) << vWhat;
        EXPECT_EQ(e.GetSysErrorCode(), c.mCode) << vWhat;
        EXPECT_EQ(qpTake(e.GetMessageString()), *vText != 0 ? vText : "<null>") << vWhat;
        EXPECT_EQ(qpTake(e.GetTraceString("<")),
                  "NetworkPacket.checkControl(" + std::to_string(c.mCode) + ")")
            << vWhat;
      }
    }
  }
}
