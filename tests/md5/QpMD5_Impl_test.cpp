// Tests of the MD5 engine: digests, HMAC and resumed contexts against OpenSSL, the digest text
// and its refusals.
#include <cstring>

#include "QpDigestTestSupport.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

std::string raw(const unsigned char* inBytes, size_t inLength) {
  return std::string(reinterpret_cast<const char*>(inBytes), inLength);
}

// Hashes inData in chunks of the sizes that inRng picks, so that every split of the block buffer
// is crossed somewhere in the loop.
std::string engineDigest(std::mt19937& ioRng, const std::string& inData) {
  void* vCtx = QpMD5_Impl::QpMD5_CreateContext();
  std::string vData = inData;
  for (size_t vDone = 0; vDone < vData.size();) {
    const size_t vChunk = std::min<size_t>(vData.size() - vDone, ioRng() % 150);
    EXPECT_EQ(QpMD5_Impl::QpMD5_Update(vCtx, &vData[vDone], vChunk), 0);
    vDone += vChunk;
  }
  unsigned char vDigest[16];
  EXPECT_EQ(QpMD5_Impl::QpMD5_Final(vDigest, static_cast<QpMD5_CTX*>(vCtx)), 0);
  QpMD5_Impl::QpMD5_DeleteContext(vCtx);
  return raw(vDigest, 16);
}

#if defined(QP_HAVE_OPENSSL)
TEST(QpMD5ImplTest, DigestHmacAndResumeAgreeWithOpenSSL) {
  std::mt19937 vRng(1321);
  for (size_t vLength : qpDigestLengths()) {
    std::string vData = qpRandomBytes(vRng, vLength);
    const std::string vExpected = qpPeerDigest("MD5", vData);
    ASSERT_EQ(engineDigest(vRng, vData), vExpected) << vLength;

    std::string vKey = qpRandomBytes(vRng, vRng() % 200);
    char vMac[16];
    QpMD5_Impl::QpMD5_HMAC(reinterpret_cast<unsigned char*>(&vData[0]), static_cast<int>(vLength),
                           reinterpret_cast<unsigned char*>(&vKey[0]),
                           static_cast<int>(vKey.size()), vMac);
    ASSERT_EQ(std::string(vMac, 16), qpPeerHmac("MD5", vKey, vData)) << vLength;

    // Save after a multiple of 64 bytes as text, resume, and finish with the typed text.
    const size_t vSplit = vLength / 64 * 64;
    void* vFirst = QpMD5_Impl::QpMD5_CreateContext();
    QpMD5_Impl::QpMD5_Update(vFirst, &vData[0], vSplit);
    unsigned char vState[16];
    char vStateText[27];
    QpMD5_Impl::QpMD5_ContextToRawMD5(vState, vFirst);
    QpMD5_Impl::QpMD5_ToString(vState, vStateText, sizeof vStateText, 0);
    QpMD5_Impl::QpMD5_DeleteContext(vFirst);
    void* vResumed = QpMD5_Impl::QpMD5_CreatePartialContext(vStateText, vSplit, 64);
    QpMD5_Impl::QpMD5_Update(vResumed, &vData[0] + vSplit, vLength - vSplit);
    char vText[28];
    EXPECT_EQ(QpMD5_Impl::QpMD5_Complete(vResumed, 'e', vText, sizeof vText), 0);
    QpMD5_Impl::QpMD5_DeleteContext(vResumed);
    ASSERT_EQ(vText, qpDigestText(vExpected, 'e')) << vLength;
  }
}
#endif

TEST(QpMD5ImplTest, Rfc1321Vectors) {
  const struct {
    const char* mInput;
    const char* mHex;
  } kCases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  std::mt19937 vRng(7);
  for (const auto& c : kCases) {
    std::string vHex;
    for (unsigned char b : engineDigest(vRng, c.mInput)) {
      vHex += "0123456789abcdef"[b >> 4];
      vHex += "0123456789abcdef"[b & 15];
    }
    EXPECT_EQ(vHex, c.mHex) << c.mInput;
  }
}

TEST(QpMD5ImplTest, TextOfEmptyInputWithAndWithoutTypeCharacter) {
  char vText[28];
  void* vCtx = QpMD5_Impl::QpMD5_CreateContext();
  QpMD5_Impl::QpMD5_Complete(vCtx, 0, vText, 27);
  QpMD5_Impl::QpMD5_DeleteContext(vCtx);
  // d41d8cd98f00b204 e9800998ecf8427e, each read little-endian, in base 32.
  EXPECT_STREQ(vText, "09CG0HVCOO7EK7SGNOTIC0J079");
  unsigned char vRaw[16] = {0};
  memset(vText, '#', sizeof vText);
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
  EXPECT_EQ(QpMD5_Impl::QpMD5_CreateContext(), nullptr);
  EXPECT_EQ(QpMD5_Impl::QpMD5_CreatePartialContext("09CG0HVCOO7EK7SGNOTIC0J079", 64, 64), nullptr);
}

}  // namespace
