// QpDigestLibraryInternal.h - the loading of an external digest library, shared by the MD5 and
// SHA-256 routers: the same steps, return codes and log lines, with the names and texts of each
// digest supplied as a table.
//
// Threads: the caller holds its router's loading mutex; the slots are written with release
// order, the handle last, so that a reader that sees the handle sees the functions.
#ifndef QP_DIGEST_LIBRARY_INTERNAL_H
#define QP_DIGEST_LIBRARY_INTERNAL_H

#include <atomic>

#include "QpLogging.h"
#include "QpTypes.h"

namespace qpdigest {

typedef void* (*LibCreateContext)();
typedef void* (*LibCreatePartContext)(const char* inState, QpLong inByteCount);
typedef int (*LibUpdate)(void* ioCtx, char* inData, unsigned long inLength);
typedef int (*LibFinal)(unsigned char* outDigest, void* ioCtx);
typedef int (*LibDeleteContext)(void* inCtx);

// The loaded library of one router.
struct LibSlots {
  std::atomic<void*>& mLib;
  std::atomic<LibCreateContext>& mCreateContext;
  std::atomic<LibCreatePartContext>& mCreatePartContext;
  std::atomic<LibUpdate>& mUpdate;
  std::atomic<LibFinal>& mFinal;
  std::atomic<LibDeleteContext>& mDeleteContext;
};

// The names, texts and codes of one digest.
struct LibTexts {
  const char* mSymbols[5];  // in look-up order: create, create partial, update, final, delete
  component_t mComponent;   // of the symbol look-up lines
  const char* mAttempting;  // "%s": the library's name
  const char* mNotFound;
  const char* mLoaded;  // "%s": the library's name
  const char* mFinding;
  const char* mLookupFailed;
  const char* mLookupSucceeded;
  const char* mHasPartial;
  const char* mNoPartial;
  int mNotFoundCode;
  int mMissingCode;
};

// The loading steps; 0 or a negative code (-2 already loaded, -4 null name, or the table's).
int loadLibrary(const LibTexts& inTexts, const LibSlots& ioSlots, const char* inName);
// Closes the library, if any, and clears every slot; the result of qp_dlclose, or 0.
int unloadLibrary(const LibSlots& ioSlots);

}  // namespace qpdigest

#endif  // QP_DIGEST_LIBRARY_INTERNAL_H
