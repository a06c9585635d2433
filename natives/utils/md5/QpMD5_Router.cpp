// QpMD5_Router.cpp - routing of MD5 contexts between an external library and the engine.
#include "QpMD5_Router.h"

#include "QpDigestLibraryInternal.h"
#include "QpDigestTextInternal.h"
#include "QpRaise.h"
#include "qpos32.h"

std::atomic<void*> QpMD5_Router::sMD5_Lib{nullptr};
std::atomic<QpMD5_Router::CreateContextFn> QpMD5_Router::lib_CreateContext{nullptr};
std::atomic<QpMD5_Router::CreatePartContextFn> QpMD5_Router::lib_CreatePartContext{nullptr};
std::atomic<QpMD5_Router::UpdateFn> QpMD5_Router::lib_Update{nullptr};
std::atomic<QpMD5_Router::FinalFn> QpMD5_Router::lib_Final{nullptr};
std::atomic<QpMD5_Router::DeleteContextFn> QpMD5_Router::lib_DeleteContext{nullptr};
QpMutex QpMD5_Router::sMutex;

namespace {

const qpdigest::LibTexts kMD5Texts = {
    {"MD5Lib_CreateContext", "MD5Lib_CreatePartialContext", "MD5Lib_Update", "MD5Lib_Final",
     "MD5Lib_DeleteContext"},
    MD5,
    "Attempting to load MD5 lib: \"%s\"",
    "MD5 lib not found! Using internal MD5 algorithm instead.",
    "MD5 lib: \"%s\" loaded successfully",
    "Attempting to find MD5 API symbols",
    "MD5 symbol look up failed! Using internal MD5 algorithm instead.",
    "Required MD5 symbol look up succeeded!",
    "Third party MD5 lib is implementing MD5Lib_CreatePartialContext function!",
    "Third party MD5 lib is NOT implementing MD5Lib_CreatePartialContext function!",
    -8,
    -7};

}  // namespace

QpMD5_Router::~QpMD5_Router() {
  StCriticalSection vLock(&sMutex);
  unloadImplementingLib();
}

int QpMD5_Router::unloadImplementingLib() {
  return qpdigest::unloadLibrary({sMD5_Lib, lib_CreateContext, lib_CreatePartContext, lib_Update,
                                  lib_Final, lib_DeleteContext});
}

int QpMD5_Router::setThirdPartyMd5Lib(const char* libraryName) {
  StCriticalSection vLock(&sMutex);
  return qpdigest::loadLibrary(kMD5Texts,
                               {sMD5_Lib, lib_CreateContext, lib_CreatePartContext, lib_Update,
                                lib_Final, lib_DeleteContext},
                               libraryName);
}

bool QpMD5_Router::routed(bool inPartial) {
  if (sMD5_Lib.load(std::memory_order_acquire) == nullptr) return false;
  return !inPartial || lib_CreatePartContext.load(std::memory_order_acquire) != nullptr;
}

void* QpMD5_Router::createContext() {
  if (routed(false)) return lib_CreateContext.load(std::memory_order_acquire)();
  return QpMD5_Impl::QpMD5_CreateContext();
}

void* QpMD5_Router::createContext(const char* state, QpLong byteCount, int blockSize) {
  if (routed(true)) return lib_CreatePartContext.load(std::memory_order_acquire)(state, byteCount);
  return QpMD5_Impl::QpMD5_CreatePartialContext(state, byteCount, blockSize);
}

int QpMD5_Router::update(void* ctx, char* data, unsigned long length, bool partial) {
  if (routed(partial)) return lib_Update.load(std::memory_order_acquire)(ctx, data, length);
  return QpMD5_Impl::QpMD5_Update(ctx, data, length);
}

long QpMD5_Router::complete(void* ctx, char typeChar, char* out, long outLength, bool partial) {
  if (!routed(partial)) return QpMD5_Impl::QpMD5_Complete(ctx, typeChar, out, outLength);
  unsigned char vDigest[16] = {0};
  const int vResult = lib_Final.load(std::memory_order_acquire)(vDigest, ctx);
  if (vResult != 0) {
    // The library failed: its digest bytes mean nothing, so no text is made of them.
    if (out != nullptr && outLength > 0) out[0] = '\0';
    return vResult;
  }
  QpMD5_Impl::QpMD5_ToString(vDigest, out, outLength, typeChar);
  return vResult;
}

int QpMD5_Router::deleteContext(void* ctx, bool partial) {
  if (routed(partial)) return lib_DeleteContext.load(std::memory_order_acquire)(ctx);
  return QpMD5_Impl::QpMD5_DeleteContext(ctx);
}

void QpMD5_Router::makeDummy(char* out, long outLength, char typeChar, const char* additional) {
  char vGuid[qpdigest::kGuidBufferSize];
  if (!qpdigest::dummySource(QP_HERE, out, outLength, additional, vGuid)) return;
  void* vCtx = createContext();
  if (vCtx == nullptr) return;
  try {
    if (update(vCtx, vGuid, qp_strlen(vGuid), false) == 0) {
      complete(vCtx, typeChar, out, outLength, false);
    }
  } catch (...) {
    deleteContext(vCtx, false);
    throw;
  }
  deleteContext(vCtx, false);
}

void QpMD5_Router::QpMD5_HMAC(unsigned char* text, int textLength, unsigned char* key,
                              int keyLength, char* digest) {
  QpMD5_Impl::QpMD5_HMAC(text, textLength, key, keyLength, digest);
}
