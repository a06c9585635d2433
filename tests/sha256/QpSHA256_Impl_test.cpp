// Tests of the SHA-256 engine: digests, HMAC and resumed contexts against OpenSSL on both block
// functions, the FIPS 180-2 vectors, the status codes and the refusals of the digest text.
#include "QpDigestTestSupport.h"
#include "QpSHA256Hooks.h"
#include "QpSHA256TestOps.h"

namespace {

#if defined(QP_HAVE_OPENSSL)
TEST(QpSHA256ImplTest, AgreesWithOpenSSLOnTheDefaultPath) {
  qpCheckEngineAgainstPeer<QpSHA256Ops>();
}

TEST(QpSHA256ImplTest, AgreesWithOpenSSLOnThePortablePath) {
  if (!QpSHA256HasShaExtensions()) GTEST_SKIP() << "the default path is the portable one here";
  StSHA256Portable vPortable;
  qpCheckEngineAgainstPeer<QpSHA256Ops>();
}
#endif

TEST(QpSHA256ImplTest, Fips180Vectors) {
  const std::string kCases[][2] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  std::mt19937 vRng(2);
  for (const auto& c : kCases) EXPECT_EQ(qpHex(qpEngineDigest<QpSHA256Ops>(vRng, c[0])), c[1]);
}

TEST(QpSHA256ImplTest, StatusCodes) {
  unsigned int vScratch = 0;
  char vByte = 'a';
  unsigned char vFirst[32], vSecond[32];
  auto* vCtx = static_cast<SHA256Context*>(QpSHA256Ops::create());
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, nullptr, 1, vScratch), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(nullptr, &vByte, 1, vScratch), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, nullptr, 0, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 1, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(nullptr, vCtx), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vFirst, vCtx), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vSecond, vCtx), 0);
  EXPECT_EQ(0, std::memcmp(vFirst, vSecond, 32));
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 1, vScratch), 3);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 1, vScratch), 3);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 0, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vFirst, vCtx), 3);
  QpSHA256Ops::remove(vCtx);

  // A resumed count just short of 2^64 bits: one more byte would wrap it, and the error sticks.
  void* vFull = QpSHA256Ops::resume(std::string(32, '\0'), (size_t(1) << 61) - 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vFull, &vByte, 1, vScratch), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vFull, &vByte, 0, vScratch), 0);
  char vText[53] = "untouched";
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Complete(vFull, 0, vText, sizeof vText), 1);
  EXPECT_STREQ(vText, "");
  QpSHA256Ops::remove(vFull);
}

TEST(QpSHA256ImplTest, RefusalsOfTheTextFunctions) {
  unsigned char vRaw[32] = {0};
  char vText[54] = "untouched";
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
  EXPECT_EQ(std::string(vText), std::string(52, '0'));
}

// The engine's own dummy: the checks shared with the routers, through the engine.
struct QpSHA256EngineDummy : QpSHA256Ops {
  static void dummy(char* out, long len, char t, const char* a) {
    unsigned int vScratch = 0;
    QpSHA256_Impl::QpSHA256_MakeDummy(out, len, t, vScratch, a);
  }
};
TEST(QpSHA256ImplTest, MakeDummy) {
  qpCheckMakeDummy<QpSHA256EngineDummy>();
}

}  // namespace
