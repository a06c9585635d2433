// Tests of the authentication families: the protocol read back and the replies' accessors.
#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

TEST(AuthPackets, ProtocolListAndAccessors) {
  QpStringBuffer vScheme("kerberos"), vProtocols("a,,b,"), vText;
  AuthNegationRequest vNeg(nullptr, vScheme, vProtocols);
  vNeg.GetProtocols(vText);
  EXPECT_STREQ(vText.toStringConst(), "a");

  AuthChallengeAck vAck(nullptr);
  vAck.store(AUTH_CR_RESULT, static_cast<QpLong>(3));
  vAck.store(AUTH_CR_CHALLENGE, reinterpret_cast<const unsigned char*>("xyz"), 3);
  EXPECT_EQ(vAck.GetAuthError(), 0);
  EXPECT_EQ(vAck.GetResult(), 1);
  EXPECT_EQ(std::string(static_cast<char*>(vAck.GetChallenge()), vAck.GetChallengeLen()), "xyz");
  EXPECT_QP_THROW(vAck.GetResponseLen(), QpRequiredPacketFieldMissingException,
                  "field id=126 missing");
  AuthNegationReply vReply(nullptr);
  vReply.store(AUTH_NEG_OPCODE, 1);
  EXPECT_QP_THROW(vReply.GetErrorCode(), QpRequiredPacketFieldMissingException,
                  "field id=125 missing");
}
