// Tests of the SHA-256 router: loading our external test library, routing of normal and partial
// contexts, error codes passed back, dummy digests.
#include <cstring>

#include "QpDigestTestSupport.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

class QpSHA256RouterTest : public ::testing::Test {
 protected:
  void SetUp() override { QpSHA256_Router vUnload; }
  void TearDown() override { QpSHA256_Router vUnload; }
};

std::string routedText(std::string inData, size_t inSplit = 0, const char* inState = nullptr) {
  const bool vPartial = inState != nullptr;
  unsigned int vScratch = 0;
  void* vCtx = vPartial ? QpSHA256_Router::createContext(inState, static_cast<QpLong>(inSplit), 64)
                        : QpSHA256_Router::createContext();
  EXPECT_EQ(QpSHA256_Router::update(vCtx, &inData[0] + inSplit, inData.size() - inSplit, vScratch,
                                    vPartial),
            0);
  char vText[54];
  EXPECT_EQ(QpSHA256_Router::complete(vCtx, 'x', vText, sizeof vText, vPartial), 0);
  EXPECT_EQ(QpSHA256_Router::deleteContext(vCtx, vPartial), 0);
  return vText;
}

std::string rawState(std::string inData, size_t inSplit) {
  unsigned int vScratch = 0;
  void* vCtx = QpSHA256_Impl::QpSHA256_CreateContext();
  QpSHA256_Impl::QpSHA256_Update(vCtx, &inData[0], inSplit, vScratch);
  unsigned char vRaw[32];
  QpSHA256_Impl::QpSHA256_ContextToRawSHA256(vRaw, vCtx);
  QpSHA256_Impl::QpSHA256_DeleteContext(vCtx);
  return std::string(reinterpret_cast<char*>(vRaw), 32);
}

TEST_F(QpSHA256RouterTest, LoadingCodes) {
  const struct {
    const char* mName;
    int mCode;
  } kSteps[] = {
      {nullptr, -4},        {"/nonexistent/libnothing.so", -11}, {QP_EXT_LIB_NODELETE, -10},
      {QP_EXT_LIB_FULL, 0}, {QP_EXT_LIB_NOPARTIAL, -2},
  };
  QpExtLibControl vBroken(QP_EXT_LIB_NODELETE);
  for (const auto& s : kSteps) {
    EXPECT_EQ(QpSHA256_Router::setThirdPartySHA256Lib(s.mName), s.mCode);
    EXPECT_EQ(routedText("abc").size(), 53u);
  }
  EXPECT_EQ(vBroken.calls(), 0);
}

#if defined(QP_HAVE_OPENSSL)
TEST_F(QpSHA256RouterTest, RoutesNormalAndPartialContexts) {
  for (const char* vPath : {QP_EXT_LIB_FULL, QP_EXT_LIB_NOPARTIAL}) {
    QpSHA256_Router vUnload;
    QpExtLibControl vLib(vPath);
    ASSERT_EQ(QpSHA256_Router::setThirdPartySHA256Lib(vPath), 0);
    const bool vLibResumes = vPath == std::string(QP_EXT_LIB_FULL);
    std::mt19937 vRng(6);
    for (size_t vLength : qpDigestLengths()) {
      const std::string vData = qpRandomBytes(vRng, vLength);
      const std::string vExpected = qpDigestText(qpPeerDigest("SHA256", vData), 'x');
      int vCalls = vLib.calls();
      ASSERT_EQ(routedText(vData), vExpected) << vLength;
      EXPECT_EQ(vLib.calls(), vCalls + 4);

      const size_t vSplit = vLength / 64 * 64;
      vCalls = vLib.calls();
      ASSERT_EQ(routedText(vData, vSplit, rawState(vData, vSplit).c_str()), vExpected);
      EXPECT_EQ(vLib.calls(), vCalls + (vLibResumes ? 4 : 0)) << vPath;
    }
    char vMac[32];
    unsigned char vKey[] = "key";
    unsigned char vText[] = "The quick brown fox jumps over the lazy dog";
    QpSHA256_Router::QpSHA256_HMAC(vText, 43, vKey, 3, vMac);
    EXPECT_EQ(std::string(vMac, 32), qpPeerHmac("SHA256", "key", reinterpret_cast<char*>(vText)));
  }
}
#endif

TEST_F(QpSHA256RouterTest, ErrorCodesOfTheLibraryArePassedBack) {
  QpExtLibControl vLib(QP_EXT_LIB_FULL);
  ASSERT_EQ(QpSHA256_Router::setThirdPartySHA256Lib(QP_EXT_LIB_FULL), 0);
  unsigned int vScratch = 0;
  void* vCtx = QpSHA256_Router::createContext();
  vLib.fail(-6);
  char vData[] = "abc";
  char vText[54] = "untouched";
  EXPECT_EQ(QpSHA256_Router::update(vCtx, vData, 3, vScratch, false), -6);
  EXPECT_EQ(QpSHA256_Router::complete(vCtx, 'x', vText, sizeof vText, false), -6);
  EXPECT_STREQ(vText, "");
  std::strcpy(vText, "untouched");
  QpSHA256_Router::makeDummy(vText, sizeof vText, 'u', vScratch, nullptr);
  EXPECT_STREQ(vText, "");
  EXPECT_EQ(QpSHA256_Router::deleteContext(vCtx, false), 0);
}

TEST_F(QpSHA256RouterTest, MakeDummy) {
  unsigned int vScratch = 0;
  char vA[54], vB[54];
  QpSHA256_Router::makeDummy(vA, sizeof vA, 'u', vScratch, nullptr);
  QpSHA256_Router::makeDummy(vB, sizeof vB, 'u', vScratch, nullptr);
  EXPECT_EQ(std::strlen(vA), 53u);
  EXPECT_STRNE(vA, vB);
  EXPECT_QP_THROW(QpSHA256_Router::makeDummy(nullptr, 54, 'u', vScratch, nullptr),
                  QpSDKInternalException, "outBuf is NULL.");
  EXPECT_QP_THROW(QpSHA256_Router::makeDummy(vA, 54, 'u', vScratch, std::string(256, 'a').c_str()),
                  QpSDKInternalException, "vGuid len + inAdditional is >= sizeof vGuid.");
  qpWalkAllocations([&] { QpSHA256_Router::makeDummy(vA, sizeof vA, 'u', vScratch, nullptr); },
                    [&] { EXPECT_STREQ(vA, ""); }, true);
}

}  // namespace
