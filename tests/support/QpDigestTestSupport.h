// QpDigestTestSupport.h - what the digest, router and identifier tests share: the inputs of the
// differential loops, OpenSSL as the peer, an independent rendering of the digest text, and the
// checks that MD5 and SHA-256 have in common, written once over an operations table Ops:
//   kPeer ("MD5"), kRawLength, kType, kNotFound, kMissing; the engine's create, update, final,
//   saved (the state to resume from), resume, complete, remove, hmac; the router's load, unload,
//   rCreate, rResume, rUpdate, rComplete, rRemove, dummy.
#ifndef QP_DIGEST_TEST_SUPPORT_H
#define QP_DIGEST_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "QpTestSupport.h"

// Every length from 0 to 300, then a few large ones across block and buffer boundaries.
std::vector<size_t> qpDigestLengths();
std::string qpRandomBytes(std::mt19937& ioRng, size_t inLength);
std::string qpHex(const std::string& inBytes);

// The digest text written the long way: each little-endian 64-bit group as a 65-digit binary
// string cut into 13 five-bit digits; inType (0: none) after the first group.
std::string qpDigestText(const std::string& inRaw, char inType);

#if defined(QP_HAVE_OPENSSL)
// The raw digest and HMAC of OpenSSL ("MD5" or "SHA256").
std::string qpPeerDigest(const char* inName, const std::string& inData);
std::string qpPeerHmac(const char* inName, const std::string& inKey, const std::string& inData);
#endif

// The control functions of the external test library at inPath (QpDigestExtLib.cpp).
class QpExtLibControl {
 public:
  explicit QpExtLibControl(const char* inPath);
  ~QpExtLibControl();
  QpExtLibControl(const QpExtLibControl&) = delete;
  QpExtLibControl& operator=(const QpExtLibControl&) = delete;
  int calls() const { return mCalls(); }
  void fail(int inCode) const { mFail(inCode); }

 private:
  void* mLib;
  int (*mCalls)();
  void (*mFail)(int);
};

// The engine's raw digest of inData, fed in chunks whose sizes ioRng picks, so that every split
// of the block buffer is crossed somewhere in a loop.
template <class Ops>
std::string qpEngineDigest(std::mt19937& ioRng, std::string inData) {
  void* vCtx = Ops::create();
  for (size_t vDone = 0; vDone < inData.size();) {
    const size_t vChunk = std::min<size_t>(inData.size() - vDone, ioRng() % 150);
    EXPECT_EQ(Ops::update(vCtx, &inData[0] + vDone, vChunk), 0);
    vDone += vChunk;
  }
  std::string vDigest(Ops::kRawLength, '\0');
  EXPECT_EQ(Ops::final(vCtx, reinterpret_cast<unsigned char*>(&vDigest[0])), 0);
  Ops::remove(vCtx);
  return vDigest;
}

#if defined(QP_HAVE_OPENSSL)
// Digest, HMAC, and a computation saved after a multiple of 64 bytes and resumed, against
// OpenSSL for every length of qpDigestLengths().
template <class Ops>
void qpCheckEngineAgainstPeer() {
  std::mt19937 vRng(1321);
  for (size_t vLength : qpDigestLengths()) {
    std::string vData = qpRandomBytes(vRng, vLength);
    const std::string vExpected = qpPeerDigest(Ops::kPeer, vData);
    ASSERT_EQ(qpEngineDigest<Ops>(vRng, vData), vExpected) << vLength;
    const std::string vKey = qpRandomBytes(vRng, vRng() % 200);
    ASSERT_EQ(Ops::hmac(vKey, vData), qpPeerHmac(Ops::kPeer, vKey, vData)) << vLength;

    const size_t vSplit = vLength / 64 * 64;
    void* vFirst = Ops::create();
    Ops::update(vFirst, &vData[0], vSplit);
    void* vResumed = Ops::resume(Ops::saved(vFirst), vSplit);
    Ops::remove(vFirst);
    Ops::update(vResumed, &vData[0] + vSplit, vLength - vSplit);
    char vText[64];
    EXPECT_EQ(Ops::complete(vResumed, Ops::kType, vText, sizeof vText), 0);
    Ops::remove(vResumed);
    ASSERT_EQ(vText, qpDigestText(vExpected, Ops::kType)) << vLength;
  }
}
#endif

// The typed text of inData through the router, resumed after inSplit bytes when inPartial.
template <class Ops>
std::string qpRoutedText(std::string inData, size_t inSplit, bool inPartial) {
  void* vCtx = nullptr;
  if (inPartial) {
    void* vEngineCtx = Ops::create();
    Ops::update(vEngineCtx, &inData[0], inSplit);
    vCtx = Ops::rResume(Ops::saved(vEngineCtx), inSplit);
    Ops::remove(vEngineCtx);
  } else {
    vCtx = Ops::rCreate();
  }
  EXPECT_EQ(Ops::rUpdate(vCtx, &inData[0] + inSplit, inData.size() - inSplit, inPartial), 0);
  char vText[64];
  EXPECT_EQ(Ops::rComplete(vCtx, Ops::kType, vText, sizeof vText, inPartial), 0);
  EXPECT_EQ(Ops::rRemove(vCtx, inPartial), 0);
  return vText;
}

#if defined(QP_EXT_LIB_FULL)
// The codes of loading, in order; the engine keeps working after each failure, and a library
// without a needed function is never called.
template <class Ops>
void qpCheckRouterLoading() {
  const struct {
    const char* mName;
    int mCode;
  } kSteps[] = {
      {nullptr, -4},
      {"/nonexistent/libnothing.so", Ops::kNotFound},
      {QP_EXT_LIB_NODELETE, Ops::kMissing},
      {QP_EXT_LIB_FULL, 0},
      {QP_EXT_LIB_NOPARTIAL, -2},
      {nullptr, -2},
  };
  QpExtLibControl vBroken(QP_EXT_LIB_NODELETE);
  for (const auto& s : kSteps) {
    EXPECT_EQ(Ops::load(s.mName), s.mCode) << (s.mName != nullptr ? s.mName : "null");
    EXPECT_EQ(qpRoutedText<Ops>("abc", 0, false).size(), Ops::kRawLength / 8 * 13 + 1);
  }
  EXPECT_EQ(vBroken.calls(), 0);
}

#if defined(QP_HAVE_OPENSSL)
// Normal contexts always go to a loaded library; partial ones only when it can make them (each
// routed operation counts one call in the library).
template <class Ops>
void qpCheckRouting() {
  for (const char* vPath : {QP_EXT_LIB_FULL, QP_EXT_LIB_NOPARTIAL}) {
    Ops::unload();
    QpExtLibControl vLib(vPath);
    ASSERT_EQ(Ops::load(vPath), 0);
    const int vPartialCalls = std::strcmp(vPath, QP_EXT_LIB_FULL) == 0 ? 4 : 0;
    std::mt19937 vRng(5);
    for (size_t vLength : qpDigestLengths()) {
      const std::string vData = qpRandomBytes(vRng, vLength);
      const std::string vExpected = qpDigestText(qpPeerDigest(Ops::kPeer, vData), Ops::kType);
      int vCalls = vLib.calls();
      ASSERT_EQ(qpRoutedText<Ops>(vData, 0, false), vExpected) << vLength;
      EXPECT_EQ(vLib.calls(), vCalls + 4);
      vCalls = vLib.calls();
      ASSERT_EQ(qpRoutedText<Ops>(vData, vLength / 64 * 64, true), vExpected) << vLength;
      EXPECT_EQ(vLib.calls(), vCalls + vPartialCalls) << vPath;
    }
  }
}
#endif

// A library's error codes come back unchanged; no text is made of a failed digest; an engine
// context handed to the library is refused by it rather than misread.
template <class Ops>
void qpCheckLibraryErrors() {
  QpExtLibControl vLib(QP_EXT_LIB_FULL);
  ASSERT_EQ(Ops::load(QP_EXT_LIB_FULL), 0);
  void* vCtx = Ops::rCreate();
  vLib.fail(-5);
  char vData[] = "abc";
  char vText[64] = "untouched";
  EXPECT_EQ(Ops::rUpdate(vCtx, vData, 3, false), -5);
  EXPECT_EQ(Ops::rComplete(vCtx, Ops::kType, vText, sizeof vText, false), -5);
  EXPECT_STREQ(vText, "");
  std::strcpy(vText, "untouched");
  Ops::dummy(vText, sizeof vText, 'u', nullptr);
  EXPECT_STREQ(vText, "");
  EXPECT_EQ(Ops::rRemove(vCtx, false), 0);
  void* vEngineCtx = Ops::create();
  EXPECT_EQ(Ops::rRemove(vEngineCtx, false), -100);
  Ops::remove(vEngineCtx);
}

// Dummy digests: fresh each time, the additional text's limit, the refusals, and an empty text
// (nothing raised, nothing leaked) for every allocation that fails.
template <class Ops>
void qpCheckMakeDummy() {
  const size_t vLength = Ops::kRawLength / 8 * 13;
  char vA[64], vB[64];
  Ops::dummy(vA, sizeof vA, 'u', nullptr);
  Ops::dummy(vB, sizeof vB, 0, std::string(219, 'a').c_str());
  EXPECT_EQ(std::strlen(vA), vLength + 1);
  EXPECT_EQ(vA[13], 'u');
  EXPECT_EQ(std::strlen(vB), vLength);
  EXPECT_NE(std::string(vA).erase(13, 1), vB);
  EXPECT_QP_THROW(Ops::dummy(nullptr, 64, 'u', nullptr), QpSDKInternalException, "outBuf is NULL.");
  EXPECT_QP_THROW(Ops::dummy(vA, 64, 'u', std::string(220, 'a').c_str()), QpSDKInternalException,
                  "vGuid len + inAdditional is >= sizeof vGuid.");
  qpWalkAllocations([&] { Ops::dummy(vA, sizeof vA, 'u', nullptr); }, [&] { EXPECT_STREQ(vA, ""); },
                    true);
}
#endif  // QP_EXT_LIB_FULL

#endif  // QP_DIGEST_TEST_SUPPORT_H
