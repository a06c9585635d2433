// Tests of the application-profile family: field order, its own control table, the id reply.
#include <typeinfo>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Codes;
using qptest::codesOf;

namespace {
const char* const kClipA = "ABCDEFGHIJKLMeNOPQRSTUVWXYZ";
const char* const kClipB = "ZYXWVUTSRQPONeMLKJIHGFEDCBA";
}  // namespace

TEST(AppProfilePacket, RequestFields) {
  QpStringBuffer vTid("T-7");
  AppProfileSetClipRequest vSet(QpClipGuid(kClipA), QpClipGuid(kClipB), &vTid, 1);
  EXPECT_EQ(codesOf(vSet), (Codes{4, 5, 0, 123, 301, 3, 102, 101, 103, 104}));
  EXPECT_EQ(vSet.GetInt(NET_MESSAGEID), 62);
  EXPECT_EQ(vSet.GetInt(101), 0);
  EXPECT_EQ(vSet.GetInt(102), 1);
  EXPECT_STREQ(vSet.GetString(103).toStringConst(), kClipA);
  EXPECT_STREQ(vSet.GetString(104).toStringConst(), kClipB);

  AppProfileGetClipRequest vGet;
  EXPECT_EQ(codesOf(vGet), (Codes{4, 0, 123, 301, 3, 102, 101}));
  EXPECT_EQ(vGet.GetInt(101), 1);
  AppProfileSetClipReply vSetReply(&vTid);
  AppProfileGetClipReply vGetReply(&vTid);
  EXPECT_EQ(codesOf(vSetReply), (Codes{4, 0, 123, 301, 3, 102}));
  EXPECT_EQ(codesOf(vGetReply), (Codes{4, 0, 123, 301, 3, 102}));
  vGetReply.store(103, kClipB);
  EXPECT_STREQ(vGetReply.GetClipID().toString(), kClipB);
}

TEST(AppProfilePacket, ControlCodes) {
  const struct {
    int mCode;
    const std::type_info* mType;
  } kCases[] = {{-1, nullptr},
                {0, nullptr},
                {1, &typeid(QpNotAllowedException)},
                {2, &typeid(QpProfileClipIDNotFoundException)},
                {3, &typeid(QpProfileClipIDWriteException)},
                {4, &typeid(QpParameterException)},
                {5, nullptr},
                {25, nullptr}};
  for (const auto& c : kCases) {
    AppProfileSetClipReply p;
    p.store(AppProfilePacket::kControl, c.mCode);
    p.store(HPP_EXCEPTION, "ignored");
    EXPECT_EQ(p.GetControl(), c.mCode);
    try {
      p.checkControl();
      EXPECT_EQ(c.mType, nullptr) << c.mCode;
    } catch (QpException& e) {
      ASSERT_NE(c.mType, nullptr) << c.mCode;
      EXPECT_EQ(typeid(e), *c.mType);
      EXPECT_EQ(e.GetSysErrorCode(), c.mCode);
      EXPECT_EQ(qpTake(e.GetMessageString()), "<null>");
      EXPECT_EQ(qpTake(e.GetTraceString("<")), "No trace available");
    }
  }
}
