// Tests of the query family: field order, accessors and names.
#include <string>

#include <gmock/gmock.h>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Codes;
using qptest::codesOf;
using qptest::dumpOf;
using testing::HasSubstr;

TEST(QueryPacket, RequestFields) {
  QpStringBuffer vTid("T-3"), vEmpty, vQuery("type=clip");
  const Codes kBase = {4, 5, 0, 123, 301, 3, 108, 113, 101, 103, 104};
  HPPQueryRequest a(&vTid, 10, 20, nullptr);
  HPPQueryRequest b(&vTid, 10, 20, &vEmpty);
  HPPQueryRequest c(&vTid, 10, 20, &vQuery);
  EXPECT_EQ(codesOf(a), kBase);
  EXPECT_EQ(codesOf(b), kBase);
  Codes vWithText = kBase;
  vWithText.push_back(112);
  EXPECT_EQ(codesOf(c), vWithText);
  EXPECT_EQ(c.GetInt(NET_MESSAGEID), 48);
  EXPECT_EQ(c.GetOpCode(), 1);
  EXPECT_EQ(c.GetFieldType(QUERY_START_TIMESTAMP), QpSmartPacket::kTypeLong);
  EXPECT_EQ(c.GetLong(QUERY_STOP_TIMESTAMP), 20);
  const std::string vDump = dumpOf(c);
  EXPECT_THAT(vDump, HasSubstr("  HPP_VERSION type=integer value=1\n"));
  EXPECT_THAT(vDump, HasSubstr("  QUERY_OPCODE type=integer value=1\n"
                               "  QUERY_START_TIMESTAMP type=long value=10\n"
                               "  QUERY_STOP_TIMESTAMP type=long value=20\n"
                               "  QUERY_QUERY_STRING type=string value=type=clip\n"));
}

TEST(QueryPacket, ReplyAccessors) {
  HPPQueryReply p(nullptr);
  EXPECT_TRUE(codesOf(p).empty());
  const char* const kClip = "ABCDEFGHIJKLMeNOPQRSTUVWXYZ";
  p.store(QUERY_RESULT_BLOBID, kClip);
  p.store(QUERY_RESULT_TIMESTAMP, static_cast<QpLong>(1234567890123));
  p.store(QUERY_RESULT_CODE, 3);
  p.store(113, 7);
  EXPECT_STREQ(p.GetResultClipID().toString(), kClip);
  EXPECT_EQ(p.GetResultTimestamp(), 1234567890123);
  EXPECT_EQ(p.GetResultCode(), 3);
  QpStringBuffer vText("kept");
  p.GetResultString(vText);  // not a string: untouched
  EXPECT_STREQ(vText.toStringConst(), "kept");
  p.Set(113, "done");
  p.GetResultString(vText);
  EXPECT_STREQ(vText.toStringConst(), "done");
}
