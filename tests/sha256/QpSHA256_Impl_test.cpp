// Tests of the SHA-256 engine and router: digests, HMAC and resumed contexts against OpenSSL on
// both block functions, status codes, refusals of the digest text, external libraries.
#include "QpDigestTestSupport.h"
#include "QpSHA256Hooks.h"

#if defined(QP_HAVE_OPENSSL) && defined(QP_EXT_LIB_FULL)
TEST(QpSHA256ImplTest, AgreesWithOpenSSLOnBothPaths) {
  qpCompareWithPeer<QpSHA256Ops>();
  if (!QpSHA256HasShaExtensions()) GTEST_SKIP() << "the default path is the portable one here";
  StSHA256Portable vPortable;
  qpCompareWithPeer<QpSHA256Ops>();
}
#endif

TEST(QpSHA256ImplTest, StatusCodesAndRefusals) {
  unsigned int vScratch = 0;
  char vByte = 'a';
  unsigned char vFirst[32], vSecond[32];
  auto* vCtx = static_cast<SHA256Context*>(QpSHA256Ops::create());
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(nullptr, &vByte, 1, vScratch), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 1, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(nullptr, vCtx), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vFirst, vCtx), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vSecond, vCtx), 0);
  EXPECT_EQ(0, std::memcmp(vFirst, vSecond, 32));
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 1, vScratch), 3);  // after Final; sticks
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 0, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vFirst, vCtx), 3);
  QpSHA256Ops::remove(vCtx);
  // A resumed count just short of 2^64 bits: one more byte would wrap it, and the error sticks.
  void* vFull = QpSHA256Ops::resume(std::string(32, '\0'), (size_t(1) << 61) - 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vFull, &vByte, 1, vScratch), 1);
  char vText[54] = "untouched";
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Complete(vFull, 0, vText, sizeof vText), 1);
  EXPECT_STREQ(vText, "");
  QpSHA256Ops::remove(vFull);

  qpCheckToStringRefusals<QpSHA256Ops>();
  qpCheckMakeDummy<QpSHA256Ops>();
}

// The router, with our external test library (QpDigestExtLib.cpp, three variants).
#if defined(QP_HAVE_OPENSSL)
TEST(QpSHA256RouterTest, LoadsRoutesAndPassesErrorsBack) {
  QpSHA256Ops::unload();
  qpCheckRouter<QpSHA256Ops>();
}
#endif
