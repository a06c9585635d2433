// Tests of the MD5 router: loading an external library by path (our own test library, in three
// variants), routing of normal and partial contexts, its error codes, and dummy digests.
#include <cstring>

#include "QpDigestTestSupport.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

class QpMD5RouterTest : public ::testing::Test {
 protected:
  // Destroying a router object unloads whatever library a test left loaded.
  void SetUp() override { QpMD5_Router vUnload; }
  void TearDown() override { QpMD5_Router vUnload; }
};

// The text of inData through the router; inState/inSplit resume a partial context.
std::string routedText(std::string inData, size_t inSplit = 0, const char* inState = nullptr) {
  const bool vPartial = inState != nullptr;
  void* vCtx = vPartial ? QpMD5_Router::createContext(inState, static_cast<QpLong>(inSplit), 64)
                        : QpMD5_Router::createContext();
  EXPECT_EQ(QpMD5_Router::update(vCtx, &inData[0] + inSplit, inData.size() - inSplit, vPartial), 0);
  char vText[28];
  EXPECT_EQ(QpMD5_Router::complete(vCtx, 'e', vText, sizeof vText, vPartial), 0);
  EXPECT_EQ(QpMD5_Router::deleteContext(vCtx, vPartial), 0);
  return vText;
}

// The engine's saved state after the first inSplit bytes, as text.
std::string stateText(std::string inData, size_t inSplit) {
  void* vCtx = QpMD5_Impl::QpMD5_CreateContext();
  QpMD5_Impl::QpMD5_Update(vCtx, &inData[0], inSplit);
  unsigned char vRaw[16];
  char vText[27];
  QpMD5_Impl::QpMD5_ContextToRawMD5(vRaw, vCtx);
  QpMD5_Impl::QpMD5_ToString(vRaw, vText, sizeof vText, 0);
  QpMD5_Impl::QpMD5_DeleteContext(vCtx);
  return vText;
}

TEST_F(QpMD5RouterTest, LoadingCodes) {
  const struct {
    const char* mName;
    int mCode;
  } kSteps[] = {
      {nullptr, -4},
      {"/nonexistent/libnothing.so", -8},
      {QP_EXT_LIB_NODELETE, -7},
      {QP_EXT_LIB_FULL, 0},
      {QP_EXT_LIB_FULL, -2},
      {nullptr, -2},
  };
  QpExtLibControl vBroken(QP_EXT_LIB_NODELETE);
  for (const auto& s : kSteps) {
    EXPECT_EQ(QpMD5_Router::setThirdPartyMd5Lib(s.mName), s.mCode) << (s.mName ? s.mName : "null");
    if (s.mCode < 0 && s.mCode != -2) {
      EXPECT_EQ(routedText("abc").size(), 27u);
    }
  }
  EXPECT_EQ(vBroken.calls(), 0) << "a library without every needed function was used";
}

#if defined(QP_HAVE_OPENSSL)
// Normal contexts always go to a loaded library; partial ones only when it can make them.
TEST_F(QpMD5RouterTest, RoutesNormalAndPartialContexts) {
  for (const char* vPath : {QP_EXT_LIB_FULL, QP_EXT_LIB_NOPARTIAL}) {
    QpMD5_Router vUnload;
    QpExtLibControl vLib(vPath);
    ASSERT_EQ(QpMD5_Router::setThirdPartyMd5Lib(vPath), 0);
    const bool vLibResumes = vPath == std::string(QP_EXT_LIB_FULL);
    std::mt19937 vRng(5);
    for (size_t vLength : qpDigestLengths()) {
      const std::string vData = qpRandomBytes(vRng, vLength);
      const std::string vExpected = qpDigestText(qpPeerDigest("MD5", vData), 'e');
      int vCalls = vLib.calls();
      ASSERT_EQ(routedText(vData), vExpected) << vLength;
      EXPECT_EQ(vLib.calls(), vCalls + 4);

      const size_t vSplit = vLength / 64 * 64;
      vCalls = vLib.calls();
      ASSERT_EQ(routedText(vData, vSplit, stateText(vData, vSplit).c_str()), vExpected) << vLength;
      EXPECT_EQ(vLib.calls(), vCalls + (vLibResumes ? 4 : 0)) << vPath;
    }
  }
}
#endif

TEST_F(QpMD5RouterTest, ErrorCodesOfTheLibraryArePassedBack) {
  QpExtLibControl vLib(QP_EXT_LIB_FULL);
  ASSERT_EQ(QpMD5_Router::setThirdPartyMd5Lib(QP_EXT_LIB_FULL), 0);
  void* vCtx = QpMD5_Router::createContext();
  vLib.fail(-5);
  char vData[] = "abc";
  char vText[28] = "untouched";
  EXPECT_EQ(QpMD5_Router::update(vCtx, vData, 3, false), -5);
  EXPECT_EQ(QpMD5_Router::complete(vCtx, 'e', vText, sizeof vText, false), -5);
  EXPECT_STREQ(vText, "");
  std::strcpy(vText, "untouched");
  QpMD5_Router::makeDummy(vText, sizeof vText, 'u', nullptr);
  EXPECT_STREQ(vText, "");
  EXPECT_EQ(QpMD5_Router::deleteContext(vCtx, false), 0);
  // An engine context handed to the library is refused rather than misread.
  void* vEngineCtx = QpMD5_Impl::QpMD5_CreateContext();
  EXPECT_EQ(QpMD5_Router::deleteContext(vEngineCtx, false), -100);
  QpMD5_Impl::QpMD5_DeleteContext(vEngineCtx);
}

TEST_F(QpMD5RouterTest, MakeDummy) {
  char vA[28], vB[28];
  QpMD5_Router::makeDummy(vA, sizeof vA, 'u', nullptr);
  QpMD5_Router::makeDummy(vB, sizeof vB, 0, std::string(219, 'a').c_str());
  EXPECT_EQ(std::strlen(vA), 27u);
  EXPECT_EQ(vA[13], 'u');
  EXPECT_EQ(std::strlen(vB), 26u);
  EXPECT_STRNE(vA, vB);
  EXPECT_QP_THROW(QpMD5_Router::makeDummy(nullptr, 28, 'u', nullptr), QpSDKInternalException,
                  "outBuf is NULL.");
  EXPECT_QP_THROW(QpMD5_Router::makeDummy(vA, 28, 'u', std::string(256, 'a').c_str()),
                  QpSDKInternalException, "vGuid len + inAdditional is >= sizeof vGuid.");
  EXPECT_QP_THROW(QpMD5_Router::makeDummy(vA, 27, 'u', nullptr), QpSDKInternalException,
                  "inBufLen < vMD5Len.");
  // Short of memory the text stays empty; nothing leaks (ASan) and nothing is raised.
  qpWalkAllocations([&] { QpMD5_Router::makeDummy(vA, sizeof vA, 'u', nullptr); },
                    [&] { EXPECT_STREQ(vA, ""); }, true);
}

}  // namespace
