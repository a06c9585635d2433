// An external digest library of our own, loaded by the router tests through qp_dlopen. It
// exports the MD5Lib_ and SHA256Lib_ functions of the external contract and hashes with the
// library's engines, but wraps every context in a tagged box of its own: a context of the engine
// passed here is refused (-100), and a box passed to the engine overruns it (ASan). Built three
// times: complete, without the partial-context functions (QP_EXT_NO_PARTIAL) and without the
// delete functions (QP_EXT_NO_DELETE). QpExtDigest_Calls counts the calls that reached it;
// QpExtDigest_Fail(code) makes Update and Final return code until it is set back to 0.
#include <atomic>
#include <cstdint>

#include "QpUtilsLib.h"

#define QP_EXT_API extern "C" __attribute__((visibility("default")))

namespace {

const int kForeign = -100;
struct Box {
  const void* mTag;
  void* mInner;
};
std::atomic<int> sCalls{0}, sFail{0};

void* box(const void* inTag, void* inInner) {
  ++sCalls;
  Box* vBox = inInner != nullptr ? static_cast<Box*>(qp_malloc(sizeof(Box))) : nullptr;
  if (vBox == nullptr) {
    qp_free(inInner);
    return nullptr;
  }
  *vBox = Box{inTag, inInner};
  return vBox;
}

// Runs inCall on the boxed engine context, or refuses a context that is not a box of inTag.
template <class F>
int withInner(const void* inTag, void* inCtx, bool inMayFail, F inCall) {
  ++sCalls;
  Box* vBox = static_cast<Box*>(inCtx);
  if (vBox == nullptr || vBox->mTag != inTag) return kForeign;
  if (inMayFail && sFail != 0) return sFail;
  return inCall(vBox->mInner);
}

const char kMD5[] = "MD5", kSHA[] = "SHA";
[[maybe_unused]] int deleteBox(void* inInner) {
  qp_free(inInner);
  return 0;
}

}  // namespace

QP_EXT_API int QpExtDigest_Calls() {
  return sCalls.load();
}
QP_EXT_API void QpExtDigest_Fail(int inCode) {
  sFail = inCode;
}

QP_EXT_API void* MD5Lib_CreateContext() {
  return box(kMD5, QpMD5_Impl::QpMD5_CreateContext());
}
QP_EXT_API int MD5Lib_Update(void* inCtx, char* inData, unsigned long inLength) {
  return withInner(kMD5, inCtx, true,
                   [&](void* c) { return QpMD5_Impl::QpMD5_Update(c, inData, inLength); });
}
QP_EXT_API int MD5Lib_Final(unsigned char* outDigest, void* inCtx) {
  return withInner(kMD5, inCtx, true, [&](void* c) {
    return QpMD5_Impl::QpMD5_Final(outDigest, static_cast<QpMD5_CTX*>(c));
  });
}
QP_EXT_API void* SHA256Lib_CreateContext() {
  return box(kSHA, QpSHA256_Impl::QpSHA256_CreateContext());
}
QP_EXT_API int SHA256Lib_Update(void* inCtx, char* inData, unsigned long inLength) {
  unsigned int vScratch = 0;
  return withInner(kSHA, inCtx, true, [&](void* c) {
    return QpSHA256_Impl::QpSHA256_Update(c, inData, inLength, vScratch);
  });
}
QP_EXT_API int SHA256Lib_Final(unsigned char* outDigest, void* inCtx) {
  return withInner(kSHA, inCtx, true, [&](void* c) {
    return QpSHA256_Impl::QpSHA256_Final(outDigest, static_cast<SHA256Context*>(c));
  });
}

#if !defined(QP_EXT_NO_PARTIAL)
QP_EXT_API void* MD5Lib_CreatePartialContext(const char* inState, std::int64_t inByteCount) {
  return box(kMD5, QpMD5_Impl::QpMD5_CreatePartialContext(inState, inByteCount, 64));
}
QP_EXT_API void* SHA256Lib_CreatePartialContext(const char* inState, std::int64_t inByteCount) {
  return box(kSHA, QpSHA256_Impl::QpSHA256_CreatePartialContext(inState, inByteCount, 64));
}
#endif

#if !defined(QP_EXT_NO_DELETE)
QP_EXT_API int MD5Lib_DeleteContext(void* inCtx) {
  const int vResult = withInner(kMD5, inCtx, false, deleteBox);
  if (vResult == 0) qp_free(inCtx);
  return vResult;
}
QP_EXT_API int SHA256Lib_DeleteContext(void* inCtx) {
  const int vResult = withInner(kSHA, inCtx, false, deleteBox);
  if (vResult == 0) qp_free(inCtx);
  return vResult;
}
#endif
