// Tests of the MD5 engine: digests, HMAC and resumed contexts against OpenSSL, the RFC 1321
// vectors, the digest text and its refusals.
#include "QpDigestTestSupport.h"
#include "QpMD5TestOps.h"

namespace {

#if defined(QP_HAVE_OPENSSL)
TEST(QpMD5ImplTest, DigestHmacAndResumeAgreeWithOpenSSL) {
  qpCheckEngineAgainstPeer<QpMD5Ops>();
}
#endif

TEST(QpMD5ImplTest, Rfc1321Vectors) {
  const char* kCases[][2] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  std::mt19937 vRng(7);
  for (const auto& c : kCases) EXPECT_EQ(qpHex(qpEngineDigest<QpMD5Ops>(vRng, c[0])), c[1]);
}

TEST(QpMD5ImplTest, TextOfEmptyInputWithAndWithoutTypeCharacter) {
  char vText[28];
  void* vCtx = QpMD5Ops::create();
  EXPECT_EQ(QpMD5_Impl::QpMD5_Complete(vCtx, 0, vText, 27), 0);
  QpMD5Ops::remove(vCtx);
  // d41d8cd98f00b204 e9800998ecf8427e, each group read little-endian, in base 32.
  EXPECT_STREQ(vText, "09CG0HVCOO7EK7SGNOTIC0J079");
  unsigned char vRaw[16] = {0};
  EXPECT_EQ(QpMD5_Impl::QpMD5_ToString(vRaw, vText, 28, 'e'), 0);
  EXPECT_STREQ(vText, "0000000000000e0000000000000");
}

TEST(QpMD5ImplTest, RefusalsOfTheTextFunctions) {
  unsigned char vRaw[16] = {0};
  char vText[28] = "untouched";
  EXPECT_QP_THROW(QpMD5_Impl::QpMD5_ToString(vRaw, nullptr, 28, 'e'), QpSDKInternalException,
                  "inBuf is NULL.");
  EXPECT_QP_THROW(QpMD5_Impl::QpMD5_ToString(nullptr, vText, 28, 'e'), QpSDKInternalException,
                  "inRawMD5 is NULL.");
  EXPECT_QP_THROW(QpMD5_Impl::QpMD5_ToString(vRaw, vText, 27, 'e'), QpSDKInternalException,
                  "inBufLen < vMD5Len.");
  EXPECT_QP_THROW(QpMD5_Impl::QpMD5_ToString(vRaw, vText, 26, 0), QpSDKInternalException,
                  "inBufLen < vMD5Len.");
  EXPECT_STREQ(vText, "untouched");
  try {
    QpMD5_Impl::QpMD5_ToString(vRaw, vText, 26, 0);
  } catch (QpException& e) {
    EXPECT_EQ(e.GetErrorCode(), -10205);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
  }
  // A state text with a character outside the alphabet never came from this library.
  for (const char* vBad : {"09CG0HVCOO7EK7SGNOTIC0J07W", "09cg0hvcoo7ek7sgnotic0j079",
                           "09CG0HVCOO7EKe7SGNOTIC0J079"}) {
    EXPECT_QP_THROW(QpMD5_Impl::QpMD5_CreatePartialContext(vBad, 64, 64), QpParameterException,
                    "Not a valid MD5 state text");
  }
}

TEST(QpMD5ImplTest, ContextCreationReportsExhaustedMemoryAsNull) {
  StFaultArm vArm(0, 2);
  EXPECT_EQ(QpMD5Ops::create(), nullptr);
  EXPECT_EQ(QpMD5Ops::resume("09CG0HVCOO7EK7SGNOTIC0J079", 64), nullptr);
}

}  // namespace
