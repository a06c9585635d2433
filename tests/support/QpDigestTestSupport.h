// QpDigestTestSupport.h - what the MD5 and SHA-256 tests share: random inputs, OpenSSL as the
// peer, an independent rendering of the digest text, the external test library's controls, and
// the checks engines and routers have in common, written once over an operations table (QpMD5Ops,
// QpSHA256Ops). For single-threaded tests.
#ifndef QP_DIGEST_TEST_SUPPORT_H
#define QP_DIGEST_TEST_SUPPORT_H

#include <cstring>
#include <random>
#include <vector>

#include "QpTestSupport.h"

// Every length from 0 to 300, then a few across block and buffer boundaries.
std::vector<size_t> qpDigestLengths();
std::string qpRandomBytes(std::mt19937& ioRng, size_t inLength);
// The digest text the long way: each little-endian 64-bit group as a 65-digit binary string cut
// into 13 five-bit digits; inType (0: none) after the first group.
std::string qpDigestText(const std::string& inRaw, char inType);
// OpenSSL's raw digest ("MD5" or "SHA256"), or HMAC with inKey.
std::string qpPeerDigest(const char* inName, const std::string& inData,
                         const std::string* inKey = nullptr);

// The control functions of the external test library at inPath (QpDigestExtLib.cpp).
struct QpExtLibControl {
  explicit QpExtLibControl(const char* inPath) : mLib(qp_dlopen(inPath)) {}
  ~QpExtLibControl() {
    fail(0);
    qp_dlclose(mLib);
  }
  QpExtLibControl(const QpExtLibControl&) = delete;
  QpExtLibControl& operator=(const QpExtLibControl&) = delete;
  int calls() const { return reinterpret_cast<int (*)()>(qp_dlsym(mLib, "QpExtDigest_Calls"))(); }
  void fail(int inCode) const {
    reinterpret_cast<void (*)(int)>(qp_dlsym(mLib, "QpExtDigest_Fail"))(inCode);
  }
  void* mLib;
};

// The MD5 engine and router as an operations table.
struct QpMD5Ops {
  static constexpr const char* kPeer = "MD5";
  static const size_t kRawLength = 16;
  static const char kType = 'e';
  static const int kNotFound = -8, kMissing = -7;
  using E = QpMD5_Impl;
  using R = QpMD5_Router;

  static void* create() { return E::QpMD5_CreateContext(); }
  static int update(void* c, char* d, size_t n) { return E::QpMD5_Update(c, d, n); }
  // The saved state as the text a caller keeps.
  static std::string saved(void* c) {
    unsigned char vRaw[16];
    char vText[27];
    E::QpMD5_ContextToRawMD5(vRaw, c);
    E::QpMD5_ToString(vRaw, vText, sizeof vText, 0);
    return vText;
  }
  static void* resume(const std::string& s, size_t n) {
    return E::QpMD5_CreatePartialContext(s.c_str(), static_cast<QpLong>(n), 64);
  }
  static long complete(void* c, char t, char* o, long l) { return E::QpMD5_Complete(c, t, o, l); }
  static void remove(void* c) { E::QpMD5_DeleteContext(c); }
  static constexpr const char *kNoRawMessage = "inRawMD5 is NULL.",
                              *kShortMessage = "inBufLen < vMD5Len.";
  static long toString(unsigned char* r, char* o, long l, char t) {
    return E::QpMD5_ToString(r, o, l, t);
  }
  static constexpr auto kHmac = &E::QpMD5_HMAC;

  static int load(const char* n) { return R::setThirdPartyMd5Lib(n); }
  static void unload() { R vUnload; }
  static void* rCreate() { return R::createContext(); }
  static void* rResume(const std::string& s, size_t n) {
    return R::createContext(s.c_str(), static_cast<QpLong>(n), 64);
  }
  static int rUpdate(void* c, char* d, size_t n, bool p) { return R::update(c, d, n, p); }
  static long rComplete(void* c, char t, char* o, long l, bool p) {
    return R::complete(c, t, o, l, p);
  }
  static int rRemove(void* c, bool p) { return R::deleteContext(c, p); }
  static void dummy(char* o, long l, char t, const char* a) { R::makeDummy(o, l, t, a); }
};

// The SHA-256 engine and router as an operations table.
struct QpSHA256Ops {
  static constexpr const char* kPeer = "SHA256";
  static const size_t kRawLength = 32;
  static const char kType = 'x';
  static const int kNotFound = -11, kMissing = -10;
  using E = QpSHA256_Impl;
  using R = QpSHA256_Router;
  static inline unsigned int sScratch = 0;

  static void* create() { return E::QpSHA256_CreateContext(); }
  static int update(void* c, char* d, size_t n) { return E::QpSHA256_Update(c, d, n, sScratch); }
  // The saved state: 32 raw bytes.
  static std::string saved(void* c) {
    unsigned char vRaw[32];
    E::QpSHA256_ContextToRawSHA256(vRaw, c);
    return std::string(reinterpret_cast<char*>(vRaw), 32);
  }
  static void* resume(const std::string& s, size_t n) {
    return E::QpSHA256_CreatePartialContext(s.data(), static_cast<QpLong>(n), 64);
  }
  static long complete(void* c, char t, char* o, long l) {
    return E::QpSHA256_Complete(c, t, o, l);
  }
  static void remove(void* c) { E::QpSHA256_DeleteContext(c); }
  static constexpr const char *kNoRawMessage = nullptr, *kShortMessage = nullptr;
  static long toString(unsigned char* r, char* o, long l, char t) {
    return E::QpSHA256_ToString(r, o, l, t);
  }
  static constexpr auto kHmac = &R::QpSHA256_HMAC;

  static int load(const char* n) { return R::setThirdPartySHA256Lib(n); }
  static void unload() { R vUnload; }
  static void* rCreate() { return R::createContext(); }
  static void* rResume(const std::string& s, size_t n) {
    return R::createContext(s.data(), static_cast<QpLong>(n), 64);
  }
  static int rUpdate(void* c, char* d, size_t n, bool p) { return R::update(c, d, n, sScratch, p); }
  static long rComplete(void* c, char t, char* o, long l, bool p) {
    return R::complete(c, t, o, l, p);
  }
  static int rRemove(void* c, bool p) { return R::deleteContext(c, p); }
  static void dummy(char* o, long l, char t, const char* a) { R::makeDummy(o, l, t, sScratch, a); }
};

#if defined(QP_HAVE_OPENSSL) && defined(QP_EXT_LIB_FULL)
// The typed text (no type every other length) of inData fed to the router at once or to the
// engine in random chunks; with inPartial, the engine's state after inSplit bytes is resumed (by
// the router as a partial context when inRouted).
template <class Ops>
std::string qpDigestOf(std::mt19937& ioRng, std::string inData, bool inRouted, bool inPartial,
                       size_t inSplit = 0) {
  void* vCtx = inRouted && !inPartial ? Ops::rCreate() : Ops::create();
  size_t vDone = 0;
  if (inPartial) {
    Ops::update(vCtx, &inData[0], vDone = inSplit);
    const std::string vSaved = Ops::saved(vCtx);
    Ops::remove(vCtx);
    vCtx = inRouted ? Ops::rResume(vSaved, inSplit) : Ops::resume(vSaved, inSplit);
  }
  do {  // routed, one update of the rest: each routed call counts in the external library
    const size_t vLeft = inData.size() - vDone, vChunk = inRouted ? vLeft : ioRng() % 150;
    char* vFrom = &inData[0] + vDone;
    EXPECT_EQ(inRouted ? Ops::rUpdate(vCtx, vFrom, vLeft, inPartial)
                       : Ops::update(vCtx, vFrom, std::min(vLeft, vChunk)),
              0);
    vDone += std::min(vLeft, vChunk);
  } while (vDone < inData.size());
  char vText[64];
  const char vType = inData.size() % 2 == 0 ? Ops::kType : 0;
  EXPECT_EQ(inRouted ? Ops::rComplete(vCtx, vType, vText, sizeof vText, inPartial)
                     : Ops::complete(vCtx, vType, vText, sizeof vText),
            0);
  EXPECT_EQ(inRouted ? Ops::rRemove(vCtx, inPartial) : (Ops::remove(vCtx), 0), 0);
  return vText;
}

// Digests of every length (whole and resumed after a multiple of 64 bytes) and engine HMACs
// against OpenSSL; through the router to inLib when set, which sees 4 calls a digest, plus
// inPartialCalls for a resumed one.
template <class Ops>
void qpCompareWithPeer(const QpExtLibControl* inLib = nullptr, int inPartialCalls = 0) {
  std::mt19937 vRng(1321);
  const bool vRouted = inLib != nullptr;
  for (size_t vLength : qpDigestLengths()) {
    const std::string vData = qpRandomBytes(vRng, vLength);
    const std::string vExpected =
        qpDigestText(qpPeerDigest(Ops::kPeer, vData), vLength % 2 == 0 ? Ops::kType : 0);
    const int vCalls = vRouted ? inLib->calls() : 0;
    ASSERT_EQ(qpDigestOf<Ops>(vRng, vData, vRouted, false), vExpected) << vLength;
    ASSERT_EQ(qpDigestOf<Ops>(vRng, vData, vRouted, true, vLength / 64 * 64), vExpected);
    if (vRouted) {
      EXPECT_EQ(inLib->calls(), vCalls + 4 + inPartialCalls) << vLength;
      continue;
    }
    std::string vKey = qpRandomBytes(vRng, vRng() % 200), vIn = vData, vMac(Ops::kRawLength, 0);
    Ops::kHmac(reinterpret_cast<unsigned char*>(&vIn[0]), static_cast<int>(vLength),
               reinterpret_cast<unsigned char*>(&vKey[0]), static_cast<int>(vKey.size()), &vMac[0]);
    ASSERT_EQ(vMac, qpPeerDigest(Ops::kPeer, vData, &vKey)) << vLength;
  }
}

// Loading codes in order (the engine works after each failure; a library without a needed
// function is never called), then routing: normal contexts always go to a loaded library,
// partial ones only when it can make them.
template <class Ops>
void qpCheckRouter() {
  const struct {
    const char* mName;
    int mCode;
  } kSteps[] = {// clang-format off
      {nullptr, -4}, {"/nonexistent/libnothing.so", Ops::kNotFound}, {QP_EXT_LIB_NODELETE, Ops::kMissing},
      {QP_EXT_LIB_FULL, 0}, {QP_EXT_LIB_NOPARTIAL, -2}, {nullptr, -2}};
  // clang-format on
  std::mt19937 vRng(5);
  {
    QpExtLibControl vBroken(QP_EXT_LIB_NODELETE);
    for (const auto& s : kSteps) {
      EXPECT_EQ(Ops::load(s.mName), s.mCode) << (s.mName != nullptr ? s.mName : "null");
      EXPECT_EQ(qpDigestOf<Ops>(vRng, "abc", true, false).size(), Ops::kRawLength / 8 * 13);
    }
    EXPECT_EQ(vBroken.calls(), 0);
  }
  for (const char* vPath : {QP_EXT_LIB_FULL, QP_EXT_LIB_NOPARTIAL}) {
    Ops::unload();
    QpExtLibControl vLib(vPath);
    ASSERT_EQ(Ops::load(vPath), 0);
    qpCompareWithPeer<Ops>(&vLib, std::strcmp(vPath, QP_EXT_LIB_FULL) == 0 ? 4 : 0);
  }
  // A library's error codes come back unchanged and no text is made of a failed digest; an
  // engine context handed to the library is refused by it rather than misread.
  Ops::unload();
  QpExtLibControl vLib(QP_EXT_LIB_FULL);
  ASSERT_EQ(Ops::load(QP_EXT_LIB_FULL), 0);
  void* vCtx = Ops::rCreate();
  vLib.fail(-5);
  char vData[] = "abc", vText[64] = "untouched";
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
  Ops::unload();
}
#endif

// The digest text's refusals: no buffer, no raw digest, one byte short with and without the type
// character; the buffer is left as it was.
template <class Ops>
void qpCheckToStringRefusals() {
  const long vLength = Ops::kRawLength / 8 * 13 + 1;  // the digits and the terminator
  unsigned char vRaw[32] = {0};
  char vText[64] = "untouched";
  EXPECT_QP_THROW(Ops::toString(vRaw, nullptr, vLength, Ops::kType), QpSDKInternalException,
                  "inBuf is NULL.");
  EXPECT_QP_THROW(Ops::toString(nullptr, vText, vLength, Ops::kType), QpSDKInternalException,
                  Ops::kNoRawMessage);
  for (long vShort : {vLength, vLength - 1})  // with and without the type character
    EXPECT_QP_THROW(Ops::toString(vRaw, vText, vShort, vShort == vLength ? Ops::kType : 0),
                    QpSDKInternalException, Ops::kShortMessage);
  EXPECT_STREQ(vText, "untouched");
  EXPECT_EQ(Ops::toString(vRaw, vText, vLength, 0), 0);
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

#endif  // QP_DIGEST_TEST_SUPPORT_H
