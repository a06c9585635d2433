// QpDigestLibrary.cpp - loading and unloading an external digest library.
#include "QpDigestLibraryInternal.h"

#include "QpStringConversion.h"
#include "qpos32.h"

namespace qpdigest {

namespace {

const int kAlreadyLoaded = -2;
const int kNullName = -4;
const verbosity_level_t kWarn = 2;
const verbosity_level_t kDebug = 4;

template <class Fn>
Fn lookUp(void* inLib, const char* inSymbol) {
  // dlsym hands functions out as object pointers; POSIX guarantees the conversion back.
  return reinterpret_cast<Fn>(qp_dlsym(inLib, inSymbol));
}

}  // namespace

int loadLibrary(const LibTexts& inTexts, const LibSlots& ioSlots, const char* inName) {
  const bool vLogging = QpLogging::isDebugLogging();
  if (ioSlots.mLib.load(std::memory_order_acquire) != nullptr) return kAlreadyLoaded;
  if (inName == nullptr) return kNullName;
  if (vLogging) {
    QpLogging::Log(kDebug, LIB, inTexts.mAttempting, QpStringConversion::removePercent(inName));
  }
  void* vLib = qp_dlopen(inName);
  if (vLib == nullptr) {
    if (vLogging) QpLogging::Log(kWarn, LIB, "%s", inTexts.mNotFound);
    return inTexts.mNotFoundCode;
  }
  if (vLogging) {
    QpLogging::Log(kDebug, LIB, inTexts.mLoaded, QpStringConversion::removePercent(inName));
    QpLogging::Log(kDebug, inTexts.mComponent, "%s", inTexts.mFinding);
  }
  const auto vCreate = lookUp<LibCreateContext>(vLib, inTexts.mSymbols[0]);
  const auto vCreatePart = lookUp<LibCreatePartContext>(vLib, inTexts.mSymbols[1]);
  const auto vUpdate = lookUp<LibUpdate>(vLib, inTexts.mSymbols[2]);
  const auto vFinal = lookUp<LibFinal>(vLib, inTexts.mSymbols[3]);
  const auto vDelete = lookUp<LibDeleteContext>(vLib, inTexts.mSymbols[4]);
  if (vCreate == nullptr || vUpdate == nullptr || vFinal == nullptr || vDelete == nullptr) {
    qp_dlclose(vLib);
    if (vLogging) QpLogging::Log(kWarn, inTexts.mComponent, "%s", inTexts.mLookupFailed);
    return inTexts.mMissingCode;
  }
  ioSlots.mCreateContext.store(vCreate, std::memory_order_release);
  ioSlots.mCreatePartContext.store(vCreatePart, std::memory_order_release);
  ioSlots.mUpdate.store(vUpdate, std::memory_order_release);
  ioSlots.mFinal.store(vFinal, std::memory_order_release);
  ioSlots.mDeleteContext.store(vDelete, std::memory_order_release);
  ioSlots.mLib.store(vLib, std::memory_order_release);
  if (vLogging) {
    QpLogging::Log(kDebug, inTexts.mComponent, "%s", inTexts.mLookupSucceeded);
    QpLogging::Log(kDebug, inTexts.mComponent, "%s",
                   vCreatePart != nullptr ? inTexts.mHasPartial : inTexts.mNoPartial);
  }
  return 0;
}

int unloadLibrary(const LibSlots& ioSlots) {
  void* vLib = ioSlots.mLib.exchange(nullptr, std::memory_order_acq_rel);
  if (vLib == nullptr) return 0;
  ioSlots.mCreateContext.store(nullptr, std::memory_order_release);
  ioSlots.mCreatePartContext.store(nullptr, std::memory_order_release);
  ioSlots.mUpdate.store(nullptr, std::memory_order_release);
  ioSlots.mFinal.store(nullptr, std::memory_order_release);
  ioSlots.mDeleteContext.store(nullptr, std::memory_order_release);
  return qp_dlclose(vLib);
}

}  // namespace qpdigest
