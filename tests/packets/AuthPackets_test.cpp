// Tests of the authentication families: field order, the protocol list, defaults and names.
#include <gmock/gmock.h>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Codes;
using qptest::codesOf;
using qptest::dumpOf;
using testing::HasSubstr;

TEST(AuthPackets, RequestFields) {
  QpStringBuffer vTid("T-9"), vScheme("kerberos"), vProtocols("a,,b,");
  AuthNegationRequest vNeg(&vTid, vScheme, vProtocols);
  EXPECT_EQ(codesOf(vNeg), (Codes{4, 5, 0, 301, 3, 108, 124, 123, 126}));
  EXPECT_EQ(vNeg.GetInt(NET_MESSAGEID), 52);
  EXPECT_EQ(vNeg.GetOpcode(), 1);
  QpStringBuffer vText;
  vNeg.GetScheme(vText);
  EXPECT_STREQ(vText.toStringConst(), "kerberos");
  // Empty items are dropped: a,,b, is the list a, b.
  QpSmartPacket vList;
  vNeg.GetSmartPacket(AUTH_NEG_PROTOCOLS, vList);
  EXPECT_EQ(codesOf(vList), (Codes{0, 1, 2}));
  EXPECT_EQ(vList.GetInt(0), 2);
  EXPECT_STREQ(vList.GetString(2).toStringConst(), "b");
  vNeg.GetProtocols(vText);
  EXPECT_STREQ(vText.toStringConst(), "a");

  QpStringBuffer vPrincipal("alice");
  AuthCallengeInit vInit(nullptr, vPrincipal);
  EXPECT_EQ(codesOf(vInit), (Codes{4, 0, 301, 3, 122, 124}));
  EXPECT_EQ(vInit.GetInt(NET_MESSAGEID), 53);
  EXPECT_EQ(vInit.GetOpCode(), 1);
  const std::string vDump = dumpOf(vInit);
  EXPECT_THAT(vDump, HasSubstr("  NET_MESSAGEID type=integer value=53\n"
                               "  AUTH_CR_OPCODE type=integer value=1\n"
                               "  AUTH_CR_PRINCIPAL type=string value=alice\n"));
  EXPECT_THAT(dumpOf(vNeg), HasSubstr("  AUTH_NEG_SCHEME type=string value=kerberos\n"));
}

TEST(AuthPackets, Replies) {
  QpStringBuffer vTid("T-9");
  AuthNegationReply vNeg(&vTid);
  AuthChallenge vChallenge(&vTid);
  AuthChallengeAck vAck(nullptr);
  for (QpSmartPacket* p :
       {static_cast<QpSmartPacket*>(&vNeg), static_cast<QpSmartPacket*>(&vChallenge),
        static_cast<QpSmartPacket*>(&vAck)}) {
    EXPECT_TRUE(codesOf(*p).empty());
  }
  vAck.store(AUTH_CR_RESULT, static_cast<QpLong>(3));
  vAck.store(AUTH_CR_CHALLENGE, reinterpret_cast<const unsigned char*>("xyz"), 3);
  EXPECT_EQ(vAck.GetAuthError(), 0);
  EXPECT_EQ(vAck.GetResult(), 1);
  EXPECT_EQ(vAck.GetChallengeLen(), 3);
  EXPECT_EQ(std::string(static_cast<char*>(vAck.GetChallenge()), 3), "xyz");
  EXPECT_QP_THROW(vAck.GetResponseLen(), QpRequiredPacketFieldMissingException,
                  "field id=126 missing");
  EXPECT_QP_THROW(vNeg.GetErrorCode(), QpRequiredPacketFieldMissingException,
                  "field id=125 missing");
}
