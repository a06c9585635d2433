// Tests of the library's locks, scoped guards, the inert timer and the temporary-file owner.
//
// Lock ordering is proven with flags, never with timings: the holder raises a flag before it
// releases, and the waiting thread must see that flag once it gets the lock. Short sleeps only
// give a waiting thread the chance to misbehave. A thread that never gets a lock it should get
// is reported after a generous bound and abandoned, so that a broken lock fails the test rather
// than hanging the run; everything such a thread touches is shared-owned for that reason.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>

#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using namespace std::chrono_literals;

const char kRelock[] = "This thread is trying to do recursive locking.";
const char kUnmatched[] = "This thread holds more than one lock for the resource.";

// What a contending thread went through.
struct Probe {
  std::atomic<bool> mStarted{false};
  std::atomic<bool> mAcquired{false};
  std::atomic<bool> mFinished{false};
  std::atomic<bool> mRaised{false};
  std::atomic<bool> mHolderReleased{false};  // set by the holder just before it unlocks
  std::atomic<bool> mSawRelease{false};      // what the contender saw once it had the lock
};

// Starts a thread that takes the lock with inLock, records what it saw, and gives it back.
std::thread contend(std::function<void()> inLock, std::function<void()> inUnlock,
                    std::shared_ptr<Probe> inProbe) {
  return std::thread([inLock, inUnlock, inProbe] {
    inProbe->mStarted = true;
    try {
      inLock();
      inProbe->mSawRelease = inProbe->mHolderReleased.load();
      inProbe->mAcquired = true;
      inUnlock();
    } catch (...) {
      inProbe->mRaised = true;
    }
    inProbe->mFinished = true;
  });
}

bool waitFor(const std::atomic<bool>& inFlag) {
  for (int i = 0; i < 10000 && !inFlag.load(); ++i) std::this_thread::sleep_for(1ms);
  return inFlag.load();
}

// Gives a blocked contender time to get the lock it must not get.
void letItTry(const Probe& inProbe) {
  ASSERT_TRUE(waitFor(inProbe.mStarted));
  std::this_thread::sleep_for(50ms);
}

// Joins a contender that should now finish; abandons it (and fails) if it stays blocked.
void finish(std::thread& ioThread, const Probe& inProbe) {
  if (waitFor(inProbe.mFinished)) {
    ioThread.join();
  } else {
    ADD_FAILURE() << "the contending thread never got the lock";
    ioThread.detach();
  }
}

template <class M>
std::thread contendFor(std::shared_ptr<M> inMutex, std::shared_ptr<Probe> inProbe) {
  return contend([inMutex] { inMutex->lock(); }, [inMutex] { inMutex->unlock(); }, inProbe);
}

// Runs inCall and expects the internal-error exception with exactly inMessage and no system error.
void expectInternal(const std::function<void()>& inCall, const char* inMessage) {
  bool vCaught = false;
  try {
    inCall();
  } catch (QpSDKInternalException& e) {
    vCaught = true;
    EXPECT_EQ(typeid(e), typeid(QpSDKInternalException));
    EXPECT_EQ(e.GetErrorCode(), -10205);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
    EXPECT_EQ(qpTake(e.GetMessageString()), inMessage);
  }
  EXPECT_TRUE(vCaught) << "nothing raised; expected: " << inMessage;
}

// ---- QpMutex -----------------------------------------------------------------------------------

TEST(QpMutex, SecondThreadWaitsUntilTheHolderUnlocks) {
  auto vMutex = std::make_shared<QpMutex>();
  auto vProbe = std::make_shared<Probe>();
  vMutex->lock();
  std::thread vThread = contendFor(vMutex, vProbe);
  letItTry(*vProbe);
  EXPECT_FALSE(vProbe->mAcquired);
  vProbe->mHolderReleased = true;
  EXPECT_NO_THROW(vMutex->unlock());
  finish(vThread, *vProbe);
  EXPECT_TRUE(vProbe->mAcquired);
  EXPECT_TRUE(vProbe->mSawRelease);
  EXPECT_FALSE(vProbe->mRaised);
}

TEST(QpMutex, CriticalSectionsOfTwoThreadsDoNotOverlap) {
  QpMutex vMutex;
  long vCounter = 0;  // deliberately not atomic: the mutex is what protects it
  std::atomic<int> vInside(0);
  std::atomic<bool> vOverlap(false);
  std::atomic<bool> vRaised(false);
  auto vWork = [&] {
    for (int i = 0; i < 20000; ++i) {
      try {
        StCriticalSection vLock(&vMutex);
        if (vInside.fetch_add(1) != 0) vOverlap = true;
        ++vCounter;
        vInside.fetch_sub(1);
      } catch (...) {
        vRaised = true;
      }
    }
  };
  std::thread vA(vWork);
  std::thread vB(vWork);
  vA.join();
  vB.join();
  EXPECT_EQ(vCounter, 40000);
  EXPECT_FALSE(vOverlap);
  EXPECT_FALSE(vRaised);
}

TEST(QpMutex, RelockByTheHolderRaisesAndStillHoldsItOnce) {
  auto vMutex = std::make_shared<QpMutex>();
  vMutex->lock();
  expectInternal([&] { vMutex->lock(); }, kRelock);
  // Still held: another thread must wait ...
  auto vProbe = std::make_shared<Probe>();
  std::thread vThread = contendFor(vMutex, vProbe);
  letItTry(*vProbe);
  EXPECT_FALSE(vProbe->mAcquired);
  // ... and one unlock is enough to let it in.
  vProbe->mHolderReleased = true;
  EXPECT_NO_THROW(vMutex->unlock());
  finish(vThread, *vProbe);
  EXPECT_TRUE(vProbe->mAcquired);
  EXPECT_TRUE(vProbe->mSawRelease);
  EXPECT_FALSE(vProbe->mRaised);
  // The holder's second unlock is now an unmatched one.
  expectInternal([&] { vMutex->unlock(); }, kUnmatched);
}

TEST(QpMutex, UnlockOfAFreeMutexRaisesAndLeavesItFree) {
  auto vMutex = std::make_shared<QpMutex>();
  expectInternal([&] { vMutex->unlock(); }, kUnmatched);
  auto vProbe = std::make_shared<Probe>();
  std::thread vThread = contendFor(vMutex, vProbe);
  finish(vThread, *vProbe);
  EXPECT_TRUE(vProbe->mAcquired);
  EXPECT_FALSE(vProbe->mRaised);
  EXPECT_NO_THROW(vMutex->lock());
  EXPECT_NO_THROW(vMutex->unlock());
  expectInternal([&] { vMutex->unlock(); }, kUnmatched);
}

TEST(QpMutex, UnlockByAThreadThatDoesNotHoldItRaisesAndKeepsTheHolder) {
  auto vMutex = std::make_shared<QpMutex>();
  vMutex->lock();
  std::string vMessage;
  int vCode = 0;
  std::thread vIntruder([&] {
    try {
      vMutex->unlock();
    } catch (QpSDKInternalException& e) {
      vCode = e.GetErrorCode();
      vMessage = qpTake(e.GetMessageString());
    }
  });
  vIntruder.join();
  EXPECT_EQ(vCode, -10205);
  EXPECT_EQ(vMessage, kUnmatched);
  // The holder still holds it: a contender waits, and the holder's own unlock lets it in.
  auto vProbe = std::make_shared<Probe>();
  std::thread vThread = contendFor(vMutex, vProbe);
  letItTry(*vProbe);
  EXPECT_FALSE(vProbe->mAcquired);
  vProbe->mHolderReleased = true;
  EXPECT_NO_THROW(vMutex->unlock());
  finish(vThread, *vProbe);
  EXPECT_TRUE(vProbe->mAcquired);
  EXPECT_TRUE(vProbe->mSawRelease);
}

TEST(QpMutex, AssertionsHaveNoEffect) {
  QpMutex vMutex;
  vMutex.assertLocked();
  vMutex.assertUnlocked();
  vMutex.lock();
  vMutex.assertUnlocked();
  EXPECT_NO_THROW(vMutex.unlock());
  EXPECT_FALSE(std::is_copy_constructible_v<QpMutex>);
  EXPECT_FALSE(std::is_copy_assignable_v<QpMutex>);
}

TEST(QpMutex, CreateNewInstanceReturnsNullWhenMemoryIsShort) {
  QpMutex* vMutex = nullptr;
  {
    StFaultArm vArm(0);
    EXPECT_NO_THROW(vMutex = QpMutex::createNEWInstance());
    EXPECT_EQ(QpFaultHits(), 1);
  }
  EXPECT_EQ(vMutex, nullptr);
  vMutex = QpMutex::createNEWInstance();
  ASSERT_NE(vMutex, nullptr);
  vMutex->lock();
  expectInternal([&] { vMutex->lock(); }, kRelock);
  vMutex->unlock();
  expectInternal([&] { vMutex->unlock(); }, kUnmatched);
  delete vMutex;
}

// ---- QpRecursiveMutex ---------------------------------------------------------------------------

TEST(QpRecursiveMutex, EveryLockNeedsItsOwnUnlock) {
  auto vMutex = std::make_shared<QpRecursiveMutex>();
  EXPECT_NO_THROW(vMutex->lock());
  EXPECT_NO_THROW(vMutex->lock());
  auto vProbe = std::make_shared<Probe>();
  std::thread vThread = contendFor(vMutex, vProbe);
  letItTry(*vProbe);
  EXPECT_FALSE(vProbe->mAcquired);
  EXPECT_NO_THROW(vMutex->unlock());
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(vProbe->mAcquired);  // one lock is still held
  vProbe->mHolderReleased = true;
  EXPECT_NO_THROW(vMutex->unlock());
  finish(vThread, *vProbe);
  EXPECT_TRUE(vProbe->mAcquired);
  EXPECT_TRUE(vProbe->mSawRelease);
  EXPECT_FALSE(vProbe->mRaised);
}

// ---- Scoped guards ------------------------------------------------------------------------------

TEST(StCriticalSection, HoldsForTheScopeAndReleasesOnException) {
  auto vMutex = std::make_shared<QpMutex>();
  try {
    StCriticalSection vLock(vMutex.get());
    // Held by this thread for the scope: locking again is a relock.
    expectInternal([&] { vMutex->lock(); }, kRelock);
    qpRaise<QpParameterException>(QP_HERE, 0, "leaving");
  } catch (QpParameterException&) {
  }
  try {
    StCriticalSection vLock(vMutex.get());
    throw 7;
  } catch (int) {
  }
  // Free again after both exits: another thread takes it at once, and so does this one.
  auto vProbe = std::make_shared<Probe>();
  std::thread vThread = contendFor(vMutex, vProbe);
  finish(vThread, *vProbe);
  EXPECT_TRUE(vProbe->mAcquired);
  EXPECT_FALSE(vProbe->mRaised);
  EXPECT_NO_THROW(vMutex->lock());
  EXPECT_NO_THROW(vMutex->unlock());
}

TEST(StProtectQPOS, HoldsTheLibraryWideMutex) {
  auto vGuard = std::make_shared<std::optional<StProtectQPOS>>();
  auto vProbe = std::make_shared<Probe>();
  std::thread vThread;
  {
    StProtectQPOS vProtect;
    expectInternal([] { StProtectQPOS::sQPOSMutex.lock(); }, kRelock);
    vThread = contend([vGuard] { vGuard->emplace(); }, [vGuard] { vGuard->reset(); }, vProbe);
    letItTry(*vProbe);
    EXPECT_FALSE(vProbe->mAcquired);
    vProbe->mHolderReleased = true;
  }
  finish(vThread, *vProbe);
  EXPECT_TRUE(vProbe->mAcquired);
  EXPECT_TRUE(vProbe->mSawRelease);
  EXPECT_FALSE(vProbe->mRaised);
  // Released on the way out: the mutex is free for this thread again.
  EXPECT_NO_THROW(StProtectQPOS::sQPOSMutex.lock());
  EXPECT_NO_THROW(StProtectQPOS::sQPOSMutex.unlock());
}

// ---- StTimer ------------------------------------------------------------------------------------

TEST(StTimer, MeasuresAndPrintsNothing) {
  EXPECT_EQ(sizeof(StTimer), 6 * sizeof(QpInt));
  StTimer vTimer;
  vTimer.start();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(vTimer.GetMillisDelta(), 0);
  EXPECT_EQ(vTimer.GetMillisSinceStart(), 0);
  testing::internal::CaptureStdout();
  vTimer.printMillisDelta("delta");
  vTimer.printMillisSinceStart("since");
  vTimer.logMillisSinceStart("log");
  vTimer.logMillisSinceStart0("log0");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  StTimer vOther;
  EXPECT_EQ(&(vOther = vTimer), &vOther);
  EXPECT_EQ(vOther.GetMillisSinceStart(), 0);
}

// ---- QpTempFile ---------------------------------------------------------------------------------

// What the recording hook saw of the temporary file the layer made.
std::string gTempPath;
int gTempFd = -1;

int recordingMkstemp(char* ioTemplate) {
  int vFd = ::mkstemp(ioTemplate);
  gTempPath = ioTemplate;
  gTempFd = vFd;
  return vFd;
}

int mkstempFailingWithoutErrno(char*) {
  errno = 0;
  return -1;
}

int mkstempFailingWithEmfile(char*) {
  errno = EMFILE;
  return -1;
}

QpOsHooks withMkstemp(int (*inMkstemp)(char*)) {
  QpOsHooks vHooks = qpOsGetHooks();
  vHooks.mMkstemp = inMkstemp;
  return vHooks;
}

TEST(QpTempFile, MakesAFileThatGoesAwayWithIt) {
  StOsHooks vHooks(withMkstemp(&recordingMkstemp));
  gTempPath.clear();
  gTempFd = -1;
  {
    QpTempFile vFile;
    EXPECT_NE(vFile.getFile(), nullptr);
    ASSERT_GE(gTempFd, 0);
    EXPECT_NE(::fcntl(gTempFd, F_GETFD), -1) << "the file is open while its owner lives";
  }
  errno = 0;
  EXPECT_EQ(::fcntl(gTempFd, F_GETFD), -1) << "the handle was not closed";
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(std::filesystem::exists(gTempPath)) << gTempPath;
  EXPECT_FALSE(std::is_copy_constructible_v<QpTempFile>);
}

TEST(QpTempFile, FailureWithoutErrnoThrowsTheFileSystemCode) {
  StOsHooks vHooks(withMkstemp(&mkstempFailingWithoutErrno));
  bool vThrown = false;
  try {
    QpTempFile vFile;
    ADD_FAILURE() << "constructed without a temporary file";
  } catch (int vCode) {
    vThrown = true;
    EXPECT_EQ(vCode, -10027);
  } catch (...) {
    ADD_FAILURE() << "threw something other than a plain int";
  }
  EXPECT_TRUE(vThrown);
}

TEST(QpTempFile, FailureWithErrnoThrowsThatErrno) {
  StOsHooks vHooks(withMkstemp(&mkstempFailingWithEmfile));
  bool vThrown = false;
  try {
    QpTempFile vFile;
    ADD_FAILURE() << "constructed without a temporary file";
  } catch (int vCode) {
    vThrown = true;
    EXPECT_EQ(vCode, EMFILE);
  } catch (...) {
    ADD_FAILURE() << "threw something other than a plain int";
  }
  EXPECT_TRUE(vThrown);
}

}  // namespace
