// Tests of the MD5 engine: digests, HMAC and resumed contexts against OpenSSL, the refusals of
// the text functions, and contexts that cannot be allocated.
#include "QpDigestTestSupport.h"
#include "QpMD5TestOps.h"

namespace {

#if defined(QP_HAVE_OPENSSL) && defined(QP_EXT_LIB_FULL)
TEST(QpMD5ImplTest, DigestHmacAndResumeAgreeWithOpenSSL) {
  qpCheckEngineAgainstPeer<QpMD5Ops>();
}
#endif

TEST(QpMD5ImplTest, RefusalsAndExhaustedMemory) {
  unsigned char vRaw[16] = {0};
  char vText[28] = "untouched";
  const struct {
    const unsigned char* mRaw;
    char* mOut;
    long mLength;
    char mType;
    const char* mMessage;
  } kCases[] = {{vRaw, nullptr, 28, 'e', "inBuf is NULL."},
                {nullptr, vText, 28, 'e', "inRawMD5 is NULL."},
                {vRaw, vText, 27, 'e', "inBufLen < vMD5Len."},
                {vRaw, vText, 26, 0, "inBufLen < vMD5Len."}};
  for (const auto& c : kCases) {
    EXPECT_QP_THROW(QpMD5_Impl::QpMD5_ToString(c.mRaw, c.mOut, c.mLength, c.mType),
                    QpSDKInternalException, c.mMessage);
  }
  EXPECT_STREQ(vText, "untouched");
  try {
    QpMD5_Impl::QpMD5_ToString(vRaw, vText, 26, 0);
  } catch (QpException& e) {
    EXPECT_EQ(e.GetErrorCode(), -10205);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
  }
  // A state text with a character outside the alphabet never came from this library.
  for (const char* vBad : {"09CG0HVCOO7EK7SGNOTIC0J07W", "09cg0hvcoo7ek7sgnotic0j079"}) {
    EXPECT_QP_THROW(QpMD5_Impl::QpMD5_CreatePartialContext(vBad, 64, 64), QpParameterException,
                    "Not a valid MD5 state text");
  }
  StFaultArm vArm(0, 2);
  EXPECT_EQ(QpMD5Ops::create(), nullptr);
  EXPECT_EQ(QpMD5Ops::resume("09CG0HVCOO7EK7SGNOTIC0J079", 64), nullptr);
}

}  // namespace
