// An external digest library of our own for the router tests: the MD5Lib_ and SHA256Lib_
// functions, hashing with our engines in a tagged box of their own (an engine context passed here
// is refused with -100; a box passed to the engine overruns it under ASan). Built complete,
// without the partial-context functions and without the delete functions. QpExtDigest_Calls
// counts the calls that reached it; QpExtDigest_Fail(code) makes Update and Final return code.
#include <atomic>
#include <cstdint>
#include <type_traits>

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

// Runs inCall on the boxed engine context (or frees both when inCall is null), or refuses a
// context that is not a box of inTag.
template <class F>
int withInner(const void* inTag, void* inCtx, F inCall) {
  ++sCalls;
  Box* vBox = static_cast<Box*>(inCtx);
  if (vBox == nullptr || vBox->mTag != inTag) return kForeign;
  if constexpr (std::is_same_v<F, std::nullptr_t>) {
    qp_free(vBox->mInner);
    qp_free(vBox);
    return 0;
  } else {
    return sFail != 0 ? sFail.load() : inCall(vBox->mInner);
  }
}

const char kMD5[] = "MD5", kSHA[] = "SHA";

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
  return withInner(kMD5, inCtx,
                   [&](void* c) { return QpMD5_Impl::QpMD5_Update(c, inData, inLength); });
}
QP_EXT_API int MD5Lib_Final(unsigned char* outDigest, void* inCtx) {
  return withInner(kMD5, inCtx, [&](void* c) {
    return QpMD5_Impl::QpMD5_Final(outDigest, static_cast<QpMD5_CTX*>(c));
  });
}
QP_EXT_API void* SHA256Lib_CreateContext() {
  return box(kSHA, QpSHA256_Impl::QpSHA256_CreateContext());
}
QP_EXT_API int SHA256Lib_Update(void* inCtx, char* inData, unsigned long inLength) {
  unsigned int vScratch = 0;
  return withInner(kSHA, inCtx, [&](void* c) {
    return QpSHA256_Impl::QpSHA256_Update(c, inData, inLength, vScratch);
  });
}
QP_EXT_API int SHA256Lib_Final(unsigned char* outDigest, void* inCtx) {
  return withInner(kSHA, inCtx, [&](void* c) {
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
  return withInner(kMD5, inCtx, nullptr);
}
QP_EXT_API int SHA256Lib_DeleteContext(void* inCtx) {
  return withInner(kSHA, inCtx, nullptr);
}
#endif
