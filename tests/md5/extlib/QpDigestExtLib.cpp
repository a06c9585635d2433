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

const std::uint32_t kMD5Tag = 0x4D443521;
const std::uint32_t kSHATag = 0x53484121;
const int kForeign = -100;

struct Box {
  std::uint32_t mTag;
  void* mInner;
};

std::atomic<int> sCalls{0};
std::atomic<int> sFail{0};

void* box(std::uint32_t inTag, void* inInner) {
  if (inInner == nullptr) return nullptr;
  Box* vBox = static_cast<Box*>(qp_malloc(sizeof(Box)));
  if (vBox == nullptr) {
    qp_free(inInner);
    return nullptr;
  }
  vBox->mTag = inTag;
  vBox->mInner = inInner;
  return vBox;
}

void* unbox(std::uint32_t inTag, void* inCtx) {
  ++sCalls;
  Box* vBox = static_cast<Box*>(inCtx);
  return vBox != nullptr && vBox->mTag == inTag ? vBox->mInner : nullptr;
}

[[maybe_unused]] int unboxDelete(std::uint32_t inTag, void* inCtx) {
  void* vInner = unbox(inTag, inCtx);
  if (vInner == nullptr) return kForeign;
  qp_free(vInner);
  qp_free(inCtx);
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
  ++sCalls;
  return box(kMD5Tag, QpMD5_Impl::QpMD5_CreateContext());
}
QP_EXT_API int MD5Lib_Update(void* inCtx, char* inData, unsigned long inLength) {
  void* vInner = unbox(kMD5Tag, inCtx);
  if (vInner == nullptr) return kForeign;
  return sFail != 0 ? sFail.load() : QpMD5_Impl::QpMD5_Update(vInner, inData, inLength);
}
QP_EXT_API int MD5Lib_Final(unsigned char* outDigest, void* inCtx) {
  void* vInner = unbox(kMD5Tag, inCtx);
  if (vInner == nullptr) return kForeign;
  if (sFail != 0) return sFail;
  return QpMD5_Impl::QpMD5_Final(outDigest, static_cast<QpMD5_CTX*>(vInner));
}

QP_EXT_API void* SHA256Lib_CreateContext() {
  ++sCalls;
  return box(kSHATag, QpSHA256_Impl::QpSHA256_CreateContext());
}
QP_EXT_API int SHA256Lib_Update(void* inCtx, char* inData, unsigned long inLength) {
  void* vInner = unbox(kSHATag, inCtx);
  if (vInner == nullptr) return kForeign;
  unsigned int vScratch = 0;
  return sFail != 0 ? sFail.load()
                    : QpSHA256_Impl::QpSHA256_Update(vInner, inData, inLength, vScratch);
}
QP_EXT_API int SHA256Lib_Final(unsigned char* outDigest, void* inCtx) {
  void* vInner = unbox(kSHATag, inCtx);
  if (vInner == nullptr) return kForeign;
  if (sFail != 0) return sFail;
  return QpSHA256_Impl::QpSHA256_Final(outDigest, static_cast<SHA256Context*>(vInner));
}

#if !defined(QP_EXT_NO_PARTIAL)
QP_EXT_API void* MD5Lib_CreatePartialContext(const char* inState, std::int64_t inByteCount) {
  ++sCalls;
  return box(kMD5Tag, QpMD5_Impl::QpMD5_CreatePartialContext(inState, inByteCount, 64));
}
QP_EXT_API void* SHA256Lib_CreatePartialContext(const char* inState, std::int64_t inByteCount) {
  ++sCalls;
  return box(kSHATag, QpSHA256_Impl::QpSHA256_CreatePartialContext(inState, inByteCount, 64));
}
#endif

#if !defined(QP_EXT_NO_DELETE)
QP_EXT_API int MD5Lib_DeleteContext(void* inCtx) {
  return unboxDelete(kMD5Tag, inCtx);
}
QP_EXT_API int SHA256Lib_DeleteContext(void* inCtx) {
  return unboxDelete(kSHATag, inCtx);
}
#endif
