// Tests of the MD5 engine and router: digests, HMAC and resumed contexts against OpenSSL, the
// refusals of the text functions, contexts that cannot be allocated, external libraries.
#include "QpDigestTestSupport.h"

#if defined(QP_HAVE_OPENSSL) && defined(QP_EXT_LIB_FULL)
TEST(QpMD5ImplTest, DigestHmacAndResumeAgreeWithOpenSSL) {
  qpCompareWithPeer<QpMD5Ops>();
}
#endif

TEST(QpMD5ImplTest, RefusalsDummiesAndExhaustedMemory) {
  qpCheckToStringRefusals<QpMD5Ops>();
  qpCheckMakeDummy<QpMD5Ops>();
  // A state text with a character outside the alphabet never came from this library.
  for (const char* vBad : {"09CG0HVCOO7EK7SGNOTIC0J07W", "09cg0hvcoo7ek7sgnotic0j079"}) {
    EXPECT_QP_THROW(QpMD5_Impl::QpMD5_CreatePartialContext(vBad, 64, 64), QpParameterException,
                    "Not a valid MD5 state text");
  }
  StFaultArm vArm(0, 2);
  EXPECT_EQ(QpMD5Ops::create(), nullptr);
  EXPECT_EQ(QpMD5Ops::resume("09CG0HVCOO7EK7SGNOTIC0J079", 64), nullptr);
}

// The router, with our external test library (QpDigestExtLib.cpp, three variants).
#if defined(QP_HAVE_OPENSSL)
TEST(QpMD5RouterTest, LoadsRoutesAndPassesErrorsBack) {
  QpMD5Ops::unload();
  qpCheckRouter<QpMD5Ops>();
}
#endif
