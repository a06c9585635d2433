// QpMutex.cpp - the library's mutexes, the OS-layer guard and the temporary-file owner.
#include "QpMutex.h"

#include <cerrno>

#include "QpErrorCodes.h"
#include "QpException.h"
#include "QpRaise.h"
#include "QpFactoryInternal.h"

QpMutex StProtectQPOS::sQPOSMutex;

QpMutex::QpMutex() : mLockDepth(0) {
  qp_mutex_init(&mMutex, nullptr);
}

QpMutex::~QpMutex() {
  qp_mutex_destroy(&mMutex);
}

QpMutex* QpMutex::createNEWInstance() {
  return qpNewOrNull<QpMutex>();
}

void QpMutex::lock() {
  // The OS-layer mutex admits its holder, so a relock by the holder returns here at once and
  // the depth tells it apart from a fresh acquisition.
  qp_mutex_lock(&mMutex);
  if (mLockDepth.load(std::memory_order_relaxed) != 0) {
    // Give back the second acquisition so that the holder still holds the mutex exactly once
    // and its own unlock releases it.
    qp_mutex_unlock(&mMutex);
    qpRaise<QpSDKInternalException>(QP_HERE, 0, "This thread is trying to do recursive locking.");
  }
  mLockDepth.store(1, std::memory_order_relaxed);
}

void QpMutex::unlock() {
  // The depth alone cannot tell the holder from another thread, so the owner is checked too: an
  // unlock by a thread that does not hold the mutex is refused like an unlock of a free one,
  // instead of corrupting the holder's lock.
  if (mLockDepth.load(std::memory_order_relaxed) != 1 || !qp_mutex_held(&mMutex))
    qpRaise<QpSDKInternalException>(QP_HERE, 0,
                                    "This thread holds more than one lock for the resource.");
  mLockDepth.store(0, std::memory_order_relaxed);
  qp_mutex_unlock(&mMutex);
}

QpRecursiveMutex::QpRecursiveMutex() {
  qp_recursive_mutex_init(&mMutex, nullptr);
}
QpRecursiveMutex::~QpRecursiveMutex() {
  qp_recursive_mutex_destroy(&mMutex);
}
void QpRecursiveMutex::lock() {
  qp_recursive_mutex_lock(&mMutex);
}
void QpRecursiveMutex::unlock() {
  qp_recursive_mutex_unlock(&mMutex);
}

QpTempFile::QpTempFile() : mFile(nullptr) {
  int vResult = createTempFile();
  if (vResult != 0) throw vResult;
}

QpTempFile::~QpTempFile() {
  if (mFile != nullptr) qp_CloseHandle(mFile);
}

int QpTempFile::createTempFile() {
  mFile = qp_newTmpfile();
  if (mFile != nullptr) return 0;
  return errno != 0 ? errno : QP_FILESYS_ERR;
}
