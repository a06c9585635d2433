// QpSHA256_Router.h - sends SHA-256 context operations to an external digest library, when the
// application names one, or to the library's own engine (QpSHA256_Impl).
//
// The external library is loaded once by name (setThirdPartySHA256Lib) and must export, with C
// linkage:
//   void* SHA256Lib_CreateContext(void);
//   void* SHA256Lib_CreatePartialContext(const char* state, int64_t byteCount);  (optional)
//   int   SHA256Lib_Update(void* ctx, char* data, unsigned long length);
//   int   SHA256Lib_Final(unsigned char* digest, void* ctx);  (writes 32 bytes)
//   int   SHA256Lib_DeleteContext(void* ctx);
// Its contexts are opaque here. Once it is loaded, every normal context goes to it; partial
// contexts go to it only when it has SHA256Lib_CreatePartialContext, and otherwise stay with the
// engine, which is why update, complete and deleteContext are told whether a context is partial.
// Destroying a QpSHA256_Router object unloads the library.
//
// Threads: loading is serialised by sMutex. The other operations read the loaded functions
// without a lock, so set the library at start-up, before other threads hash; contexts made
// before it was set belong to the engine and must not be passed on afterwards.
#ifndef QP_SHA256_ROUTER_H
#define QP_SHA256_ROUTER_H

#include <atomic>

#include "QpSHA256_Impl.h"
#include "QpMutex.h"
#include "QpTypes.h"

class QP_EXPORT QpSHA256_Router {
 public:
  ~QpSHA256_Router();

  // Loads the library: 0, or -2 one is already loaded, -4 libraryName is null, -11 it cannot be
  // loaded, -10 a needed function is missing (it is closed again). The engine stays in use after
  // every failure.
  static int setThirdPartySHA256Lib(const char* libraryName);

  static void* createContext();
  static void* createContext(const char* state, QpLong byteCount, int blockSize);
  // The results of the library's functions are passed back unchanged; complete returns the
  // result of SHA256Lib_Final and formats the digest only when it is 0 (out is left empty else).
  // scratch is the engine's working value (QpSHA256_Impl::QpSHA256_Update); callers ignore it.
  static int update(void* ctx, char* data, unsigned long length, unsigned int& scratch,
                    bool partial);
  static long complete(void* ctx, char typeChar, char* out, long outLength, bool partial);
  static int deleteContext(void* ctx, bool partial);

  // The digest text of a fresh UUID's text followed by additional (when set), made through the
  // loaded library or the engine. Raises QpSDKInternalException "outBuf is NULL." or
  // "vGuid len + inAdditional is >= sizeof vGuid."; out stays empty when no context can be made.
  static void makeDummy(char* out, long outLength, char typeChar, unsigned int& scratch,
                        const char* additional);

  // Always the engine.
  static void QpSHA256_HMAC(unsigned char* text, int textLength, unsigned char* key, int keyLength,
                            char* digest);

  typedef void* (*CreateContextFn)();
  typedef void* (*CreatePartContextFn)(const char* state, QpLong byteCount);
  typedef int (*UpdateFn)(void* ctx, char* data, unsigned long length);
  typedef int (*FinalFn)(unsigned char* digest, void* ctx);
  typedef int (*DeleteContextFn)(void* ctx);

 private:
  // Closes the library and forgets it and its functions; the result of qp_dlclose, or 0.
  static int unloadImplementingLib();
  // Whether a context of this kind goes to the library.
  static bool routed(bool inPartial);

  static std::atomic<void*> sSHA256_Lib;
  static std::atomic<CreateContextFn> lib_CreateContext;
  static std::atomic<CreatePartContextFn> lib_CreatePartContext;
  static std::atomic<UpdateFn> lib_Update;
  static std::atomic<FinalFn> lib_Final;
  static std::atomic<DeleteContextFn> lib_DeleteContext;
  static QpMutex sMutex;
};

#endif  // QP_SHA256_ROUTER_H
