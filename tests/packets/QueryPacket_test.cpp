// Tests of the query and application-profile families' reply accessors.
#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

TEST(QueryPacket, ReplyAccessors) {
  HPPQueryReply p(nullptr);
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
  AppProfileGetClipReply vReply;
  vReply.store(103, kClip);
  EXPECT_STREQ(vReply.GetClipID().toString(), kClip);
}
