// QpMutex.h - the library's locks and scoped guards.
//
// QpMutex is the library's non-recursive mutex. A second lock by the holder raises instead of
// deadlocking, and an unlock that does not match one lock of the holder raises instead of
// releasing a lock nobody holds. Any thread may lock; only the holder unlocks.
// QpRecursiveMutex is a plain recursive mutex offered to clients. StCriticalSection holds a
// QpMutex for the lifetime of a local object; StProtectQPOS holds the one library-wide mutex that
// serialises OS-layer calls that are not reentrant (gmtime with strftime). StTimer is inert.
// QpTempFile owns the handle of one temporary file.
#ifndef QP_MUTEX_H
#define QP_MUTEX_H

#include <atomic>

#include "QpTypes.h"
#include "qpos32.h"

class QP_EXPORT QpMutex {
 public:
  QpMutex();
  ~QpMutex();
  // A heap mutex that the caller deletes, or null when memory is short (nothing is raised).
  static QpMutex* createNEWInstance();

  // Raises QpSDKInternalException "This thread is trying to do recursive locking." when the
  // calling thread already holds the mutex; the mutex stays held once.
  void lock();
  // Raises QpSDKInternalException "This thread holds more than one lock for the resource." when
  // the calling thread does not hold the mutex exactly once; nothing is released then.
  void unlock();
  void assertLocked() const {}
  void assertUnlocked() const {}

 private:
  QpMutex(const QpMutex&) = delete;
  QpMutex& operator=(const QpMutex&) = delete;

  qp_mutex_t mMutex;
  // 0 free, 1 held. Written only by the holder while it holds mMutex; atomic (relaxed) only so
  // that a refused unlock by a thread that does not hold it may read it without a data race.
  std::atomic<unsigned short> mLockDepth;
};

class QP_EXPORT QpRecursiveMutex {
 public:
  QpRecursiveMutex();
  ~QpRecursiveMutex();
  void lock();
  void unlock();

 private:
  QpRecursiveMutex(const QpRecursiveMutex&) = delete;
  QpRecursiveMutex& operator=(const QpRecursiveMutex&) = delete;

  qp_recursive_mutex_t mMutex;
};

class QP_EXPORT StCriticalSection {
 public:
  explicit StCriticalSection(QpMutex* mutex) : mMutex(mutex) { mMutex->lock(); }
  ~StCriticalSection() { mMutex->unlock(); }

 private:
  StCriticalSection(const StCriticalSection&) = delete;
  StCriticalSection& operator=(const StCriticalSection&) = delete;

  QpMutex* mMutex;
};

class QP_EXPORT StProtectQPOS {
 public:
  StProtectQPOS() { sQPOSMutex.lock(); }
  ~StProtectQPOS() { sQPOSMutex.unlock(); }

  static QpMutex sQPOSMutex;

 private:
  StProtectQPOS(const StProtectQPOS&) = delete;
  StProtectQPOS& operator=(const StProtectQPOS&) = delete;
};

// Timing is compiled out of this library: every operation does nothing and the deltas are 0.
class QP_EXPORT StTimer {
 public:
  StTimer() {}
  void start() {}
  QpLong GetMillisDelta() { return 0; }
  QpLong GetMillisSinceStart() { return 0; }
  void printMillisDelta(const char*) {}
  void printMillisSinceStart(const char*) {}
  void logMillisSinceStart(const char*) {}
  void logMillisSinceStart0(const char*) {}
  StTimer& operator=(const StTimer& inOther) {
    for (int i = 0; i < 6; ++i) mWords[i] = inOther.mWords[i];
    return *this;
  }

 private:
  QpInt mWords[6] = {0, 0, 0, 0, 0, 0};
};

// Owns one temporary-file handle; the file goes away when the handle is closed. Copying would
// make two owners close one handle, so the object is not copyable.
class QP_EXPORT QpTempFile {
 public:
  // Throws a plain int when no temporary file can be made: errno, or QP_FILESYS_ERR (-10027)
  // when errno is 0.
  QpTempFile();
  ~QpTempFile();
  void* getFile() { return mFile; }

 private:
  QpTempFile(const QpTempFile&) = delete;
  QpTempFile& operator=(const QpTempFile&) = delete;
  int createTempFile();

  void* mFile;
};

#endif  // QP_MUTEX_H
