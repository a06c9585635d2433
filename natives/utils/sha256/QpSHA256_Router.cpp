// QpSHA256_Router.cpp - routing of SHA-256 contexts between an external library and the engine.
#include "QpSHA256_Router.h"

#include "QpDigestLibraryInternal.h"
#include "QpDigestTextInternal.h"
#include "QpRaise.h"
#include "qpos32.h"

std::atomic<void*> QpSHA256_Router::sSHA256_Lib{nullptr};
std::atomic<QpSHA256_Router::CreateContextFn> QpSHA256_Router::lib_CreateContext{nullptr};
std::atomic<QpSHA256_Router::CreatePartContextFn> QpSHA256_Router::lib_CreatePartContext{nullptr};
std::atomic<QpSHA256_Router::UpdateFn> QpSHA256_Router::lib_Update{nullptr};
std::atomic<QpSHA256_Router::FinalFn> QpSHA256_Router::lib_Final{nullptr};
std::atomic<QpSHA256_Router::DeleteContextFn> QpSHA256_Router::lib_DeleteContext{nullptr};
QpMutex QpSHA256_Router::sMutex;

namespace {

const qpdigest::LibTexts kSHA256Texts = {
    {"SHA256Lib_CreateContext", "SHA256Lib_CreatePartialContext", "SHA256Lib_Update",
     "SHA256Lib_Final", "SHA256Lib_DeleteContext"},
    SHA,
    "Attempting to load SHA256 lib: \"%s\"",
    "SHA256 lib not found! Using internal SHA256 algorithm instead.",
    "SHA256 lib: \"%s\" loaded successfully",
    "Attempting to find SHA256 API symbols",
    "SHA256 symbol look up failed! Using internal SHA256 algorithm instead.",
    "Required SHA256 symbol look up succeeded!",
    "Third party SHA256 lib is implementing SHA256Lib_CreatePartialContext function!",
    "Third party SHA256 lib is NOT implementing SHA256Lib_CreatePartialContext function!",
    -11,
    -10};

}  // namespace

QpSHA256_Router::~QpSHA256_Router() {
  StCriticalSection vLock(&sMutex);
  unloadImplementingLib();
}

int QpSHA256_Router::unloadImplementingLib() {
  return qpdigest::unloadLibrary({sSHA256_Lib, lib_CreateContext, lib_CreatePartContext, lib_Update,
                                  lib_Final, lib_DeleteContext});
}

int QpSHA256_Router::setThirdPartySHA256Lib(const char* libraryName) {
  StCriticalSection vLock(&sMutex);
  return qpdigest::loadLibrary(kSHA256Texts,
                               {sSHA256_Lib, lib_CreateContext, lib_CreatePartContext, lib_Update,
                                lib_Final, lib_DeleteContext},
                               libraryName);
}

bool QpSHA256_Router::routed(bool inPartial) {
  if (sSHA256_Lib.load(std::memory_order_acquire) == nullptr) return false;
  return !inPartial || lib_CreatePartContext.load(std::memory_order_acquire) != nullptr;
}

void* QpSHA256_Router::createContext() {
  if (routed(false)) return lib_CreateContext.load(std::memory_order_acquire)();
  return QpSHA256_Impl::QpSHA256_CreateContext();
}

void* QpSHA256_Router::createContext(const char* state, QpLong byteCount, int blockSize) {
  if (routed(true)) return lib_CreatePartContext.load(std::memory_order_acquire)(state, byteCount);
  return QpSHA256_Impl::QpSHA256_CreatePartialContext(state, byteCount, blockSize);
}

int QpSHA256_Router::update(void* ctx, char* data, unsigned long length, unsigned int& scratch,
                            bool partial) {
  if (routed(partial)) return lib_Update.load(std::memory_order_acquire)(ctx, data, length);
  return QpSHA256_Impl::QpSHA256_Update(ctx, data, length, scratch);
}

long QpSHA256_Router::complete(void* ctx, char typeChar, char* out, long outLength, bool partial) {
  if (!routed(partial)) return QpSHA256_Impl::QpSHA256_Complete(ctx, typeChar, out, outLength);
  unsigned char vDigest[32] = {0};
  const int vResult = lib_Final.load(std::memory_order_acquire)(vDigest, ctx);
  if (vResult != 0) {
    // The library failed: its digest bytes mean nothing, so no text is made of them.
    if (out != nullptr && outLength > 0) out[0] = '\0';
    return vResult;
  }
  QpSHA256_Impl::QpSHA256_ToString(vDigest, out, outLength, typeChar);
  return vResult;
}

int QpSHA256_Router::deleteContext(void* ctx, bool partial) {
  if (routed(partial)) return lib_DeleteContext.load(std::memory_order_acquire)(ctx);
  return QpSHA256_Impl::QpSHA256_DeleteContext(ctx);
}

void QpSHA256_Router::makeDummy(char* out, long outLength, char typeChar, unsigned int& scratch,
                                const char* additional) {
  char vGuid[qpdigest::kGuidBufferSize];
  if (!qpdigest::dummySource(QP_HERE, out, outLength, additional, vGuid)) return;
  void* vCtx = createContext();
  if (vCtx == nullptr) return;
  try {
    if (update(vCtx, vGuid, qp_strlen(vGuid), scratch, false) == 0) {
      complete(vCtx, typeChar, out, outLength, false);
    }
  } catch (...) {
    deleteContext(vCtx, false);
    throw;
  }
  deleteContext(vCtx, false);
}

void QpSHA256_Router::QpSHA256_HMAC(unsigned char* text, int textLength, unsigned char* key,
                                    int keyLength, char* digest) {
  unsigned int vScratch = 0;
  QpSHA256_Impl::QpSHA256_HMAC(text, textLength, key, keyLength, digest, vScratch);
}
