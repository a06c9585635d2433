// Tests of the SHA-256 engine: digests, HMAC and resumed contexts against OpenSSL on both block
// functions, the status codes, the refusals of the digest text and the engine's own dummy.
#include "QpDigestTestSupport.h"
#include "QpSHA256Hooks.h"
#include "QpSHA256TestOps.h"

namespace {

#if defined(QP_HAVE_OPENSSL) && defined(QP_EXT_LIB_FULL)
TEST(QpSHA256ImplTest, AgreesWithOpenSSLOnBothPaths) {
  qpCheckEngineAgainstPeer<QpSHA256Ops>();
  if (!QpSHA256HasShaExtensions()) GTEST_SKIP() << "the default path is the portable one here";
  StSHA256Portable vPortable;
  qpCheckEngineAgainstPeer<QpSHA256Ops>();
}
#endif

TEST(QpSHA256ImplTest, StatusCodesAndRefusals) {
  unsigned int vScratch = 0;
  char vByte = 'a';
  unsigned char vFirst[32], vSecond[32];
  auto* vCtx = static_cast<SHA256Context*>(QpSHA256Ops::create());
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, nullptr, 1, vScratch), 1);
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

  unsigned char vRaw[32] = {0};
  std::strcpy(vText, "untouched");
  EXPECT_QP_THROW(QpSHA256_Impl::QpSHA256_ToString(vRaw, nullptr, 54, 'x'), QpSDKInternalException,
                  "inBuf is NULL.");
  EXPECT_QP_THROW(QpSHA256_Impl::QpSHA256_ToString(nullptr, vText, 54, 'x'), QpSDKInternalException,
                  nullptr);
  EXPECT_QP_THROW(QpSHA256_Impl::QpSHA256_ToString(vRaw, vText, 53, 'x'), QpSDKInternalException,
                  nullptr);
  EXPECT_QP_THROW(QpSHA256_Impl::QpSHA256_ToString(vRaw, vText, 52, 0), QpSDKInternalException,
                  nullptr);
  EXPECT_STREQ(vText, "untouched");
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_ToString(vRaw, vText, 53, 0), 0);
}

// The engine's own dummy passes the checks of the routers'.
struct QpSHA256EngineDummy : QpSHA256Ops {
  static void dummy(char* o, long l, char t, const char* a) {
    E::QpSHA256_MakeDummy(o, l, t, sScratch, a);
  }
};
TEST(QpSHA256ImplTest, MakeDummy) {
  qpCheckMakeDummy<QpSHA256EngineDummy>();
}

}  // namespace
