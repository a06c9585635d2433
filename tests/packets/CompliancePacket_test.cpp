// Tests of the compliance family's field order.
#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Codes;
using qptest::codesOf;

TEST(CompliancePacket, RequestFields) {
  QpStringBuffer vTid("T-8");
  ComplianceGetRetentionClassesRequest vRequest(&vTid);
  EXPECT_EQ(codesOf(vRequest), (Codes{4, 5, 0, 123, 301, 3, 108, 101}));
  EXPECT_EQ(vRequest.GetInt(NET_MESSAGEID), 58);
  EXPECT_EQ(vRequest.GetOpCode(), 10);
  ComplianceGetRetentionClassesReply vReply(&vTid);
  EXPECT_EQ(codesOf(vReply), (Codes{4, 0, 123, 301, 3, 108}));
}
