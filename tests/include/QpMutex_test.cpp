// Tests of the library's locks, scoped guards and the temporary-file owner.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

const char kRelock[] = "This thread is trying to do recursive locking.";
const char kUnmatched[] = "This thread holds more than one lock for the resource.";

// Whether another thread can take and give back the mutex now (it is abandoned after a bound, so
// a lock that is wrongly held fails the test instead of hanging it).
template <class M>
bool freeForOthers(M& inMutex) {
  auto vDone = std::make_shared<std::atomic<bool>>(false);
  std::thread([&inMutex, vDone] { inMutex.lock(), inMutex.unlock(), *vDone = true; }).detach();
  for (int i = 0; i < 2000 && !*vDone; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return *vDone;
}

TEST(QpMutex, RelockAndUnlockByNonHolderAreRefused) {
  QpMutex m;
  m.lock();
  EXPECT_QP_THROW(m.lock(), QpSDKInternalException, kRelock);
  std::thread([&] { EXPECT_QP_THROW(m.unlock(), QpSDKInternalException, kUnmatched); }).join();
  EXPECT_NO_THROW(m.unlock());  // the holder keeps it once
  EXPECT_QP_THROW(m.unlock(), QpSDKInternalException, kUnmatched);
  EXPECT_TRUE(freeForOthers(m));
  {
    StFaultArm vArm(0);  // a heap instance is null when memory is short
    EXPECT_EQ(QpMutex::createNEWInstance(), nullptr);
  }
  QpRecursiveMutex r;  // every lock needs its own unlock, and nothing more
  r.lock();
  r.lock();
  r.unlock();
  r.unlock();
  EXPECT_TRUE(freeForOthers(r));
}

TEST(StCriticalSection, HoldsForTheScopeAndReleasesOnException) {
  QpMutex m;
  try {
    StCriticalSection vLock(&m);
    EXPECT_QP_THROW(m.lock(), QpSDKInternalException, kRelock);
    qpRaise<QpParameterException>(QP_HERE, 0, "leaving");
  } catch (QpParameterException&) {
  }
  EXPECT_TRUE(freeForOthers(m));
  {
    StProtectQPOS vProtect;  // the library-wide mutex
    EXPECT_QP_THROW(StProtectQPOS::sQPOSMutex.lock(), QpSDKInternalException, kRelock);
  }
  EXPECT_TRUE(freeForOthers(StProtectQPOS::sQPOSMutex));
}

QpOsHooks withMkstemp(int (*inMkstemp)(char*)) {
  QpOsHooks vHooks = qpOsGetHooks();
  vHooks.mMkstemp = inMkstemp;
  return vHooks;
}

TEST(QpTempFile, OwnsAnOpenFileOrThrowsErrnoOrElseTheFileSystemCode) {
  static int sFd = -1;  // the descriptor of the file the layer made
  {
    StOsHooks vHooks(withMkstemp([](char* ioTemplate) { return sFd = ::mkstemp(ioTemplate); }));
    QpTempFile vFile;
    EXPECT_NE(vFile.getFile(), nullptr);
    EXPECT_NE(::fcntl(sFd, F_GETFD), -1) << "the file is open while its owner lives";
  }
  EXPECT_EQ(::fcntl(sFd, F_GETFD), -1) << "the handle was not closed";
  const std::pair<int (*)(char*), int> kFailures[] = {
      {[](char*) { return errno = 0, -1; }, -10027},
      {[](char*) { return errno = EMFILE, -1; }, EMFILE}};
  for (const auto& [vMkstemp, vCode] : kFailures) {
    StOsHooks vHooks(withMkstemp(vMkstemp));
    try {  // anything but a plain int escapes and fails the test
      QpTempFile vFile;
      ADD_FAILURE() << "constructed without a temporary file";
    } catch (int vThrown) {
      EXPECT_EQ(vThrown, vCode);
    }
  }
}

}  // namespace
