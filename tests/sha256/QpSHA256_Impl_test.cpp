// Tests of the SHA-256 engine: digests, HMAC and resumed contexts against OpenSSL on both block
// functions, the status codes, the digest text and its refusals.
#include <cstring>

#include "QpDigestTestSupport.h"
#include "QpSHA256Hooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

std::string raw(const unsigned char* inBytes, size_t inLength) {
  return std::string(reinterpret_cast<const char*>(inBytes), inLength);
}

std::string engineDigest(std::mt19937& ioRng, const std::string& inData) {
  void* vCtx = QpSHA256_Impl::QpSHA256_CreateContext();
  std::string vData = inData;
  unsigned int vScratch = 0;
  for (size_t vDone = 0; vDone < vData.size();) {
    const size_t vChunk = std::min<size_t>(vData.size() - vDone, ioRng() % 150);
    EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vData[vDone], vChunk, vScratch), 0);
    vDone += vChunk;
  }
  unsigned char vDigest[32];
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vDigest, static_cast<SHA256Context*>(vCtx)), 0);
  QpSHA256_Impl::QpSHA256_DeleteContext(vCtx);
  return raw(vDigest, 32);
}

#if defined(QP_HAVE_OPENSSL)
void agreeWithOpenSSL() {
  std::mt19937 vRng(180);
  unsigned int vScratch = 0;
  for (size_t vLength : qpDigestLengths()) {
    std::string vData = qpRandomBytes(vRng, vLength);
    const std::string vExpected = qpPeerDigest("SHA256", vData);
    ASSERT_EQ(engineDigest(vRng, vData), vExpected) << vLength;

    std::string vKey = qpRandomBytes(vRng, vRng() % 200);
    char vMac[32];
    QpSHA256_Impl::QpSHA256_HMAC(
        reinterpret_cast<unsigned char*>(&vData[0]), static_cast<int>(vLength),
        reinterpret_cast<unsigned char*>(&vKey[0]), static_cast<int>(vKey.size()), vMac, vScratch);
    ASSERT_EQ(std::string(vMac, 32), qpPeerHmac("SHA256", vKey, vData)) << vLength;

    const size_t vSplit = vLength / 64 * 64;
    void* vFirst = QpSHA256_Impl::QpSHA256_CreateContext();
    QpSHA256_Impl::QpSHA256_Update(vFirst, &vData[0], vSplit, vScratch);
    unsigned char vState[32];
    QpSHA256_Impl::QpSHA256_ContextToRawSHA256(vState, vFirst);
    QpSHA256_Impl::QpSHA256_DeleteContext(vFirst);
    void* vResumed = QpSHA256_Impl::QpSHA256_CreatePartialContext(reinterpret_cast<char*>(vState),
                                                                  static_cast<QpLong>(vSplit), 64);
    QpSHA256_Impl::QpSHA256_Update(vResumed, &vData[0] + vSplit, vLength - vSplit, vScratch);
    char vText[54];
    EXPECT_EQ(QpSHA256_Impl::QpSHA256_Complete(vResumed, 'x', vText, sizeof vText), 0);
    QpSHA256_Impl::QpSHA256_DeleteContext(vResumed);
    ASSERT_EQ(vText, qpDigestText(vExpected, 'x')) << vLength;
  }
}

TEST(QpSHA256ImplTest, AgreesWithOpenSSLOnTheDefaultPath) {
  agreeWithOpenSSL();
}

TEST(QpSHA256ImplTest, AgreesWithOpenSSLOnThePortablePath) {
  if (!QpSHA256HasShaExtensions()) GTEST_SKIP() << "the default path is the portable one here";
  StSHA256Portable vPortable;
  agreeWithOpenSSL();
}
#endif

TEST(QpSHA256ImplTest, Fips180Vectors) {
  const struct {
    std::string mInput;
    const char* mHex;
  } kCases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  std::mt19937 vRng(2);
  for (const auto& c : kCases) {
    std::string vHex;
    for (unsigned char b : engineDigest(vRng, c.mInput)) {
      vHex += "0123456789abcdef"[b >> 4];
      vHex += "0123456789abcdef"[b & 15];
    }
    EXPECT_EQ(vHex, c.mHex) << c.mInput.size();
  }
}

TEST(QpSHA256ImplTest, StatusCodes) {
  unsigned int vScratch = 0;
  char vByte = 'a';
  unsigned char vFirst[32], vSecond[32];
  auto* vCtx = static_cast<SHA256Context*>(QpSHA256_Impl::QpSHA256_CreateContext());
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, nullptr, 1, vScratch), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(nullptr, &vByte, 1, vScratch), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, nullptr, 0, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 1, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(nullptr, vCtx), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vFirst, vCtx), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vSecond, vCtx), 0);
  EXPECT_EQ(raw(vFirst, 32), raw(vSecond, 32));
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 1, vScratch), 3);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vCtx, &vByte, 0, vScratch), 0);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Final(vFirst, vCtx), 3);
  QpSHA256_Impl::QpSHA256_DeleteContext(vCtx);

  // A resumed count just short of 2^64 bits: one more byte would wrap it, and the error sticks.
  unsigned char vState[32] = {0};
  void* vFull = QpSHA256_Impl::QpSHA256_CreatePartialContext(reinterpret_cast<char*>(vState),
                                                             (QpLong(1) << 61) - 1, 64);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vFull, &vByte, 1, vScratch), 1);
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Update(vFull, &vByte, 0, vScratch), 0);
  char vText[53] = "untouched";
  EXPECT_EQ(QpSHA256_Impl::QpSHA256_Complete(vFull, 0, vText, sizeof vText), 1);
  EXPECT_STREQ(vText, "");
  QpSHA256_Impl::QpSHA256_DeleteContext(vFull);
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

TEST(QpSHA256ImplTest, MakeDummy) {
  unsigned int vScratch = 0;
  char vA[54], vB[54];
  QpSHA256_Impl::QpSHA256_MakeDummy(vA, sizeof vA, 'u', vScratch, nullptr);
  QpSHA256_Impl::QpSHA256_MakeDummy(vB, sizeof vB, 'u', vScratch, "more");
  EXPECT_EQ(std::strlen(vA), 53u);
  EXPECT_EQ(vA[13], 'u');
  EXPECT_STRNE(vA, vB);
  EXPECT_QP_THROW(QpSHA256_Impl::QpSHA256_MakeDummy(nullptr, 54, 'u', vScratch, nullptr),
                  QpSDKInternalException, "outBuf is NULL.");
  EXPECT_QP_THROW(
      QpSHA256_Impl::QpSHA256_MakeDummy(vA, 54, 'u', vScratch, std::string(220, 'a').c_str()),
      QpSDKInternalException, "vGuid len + inAdditional is >= sizeof vGuid.");
}

}  // namespace
