// Tests of the library's locks, scoped guards, the inert timer and the temporary-file owner.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>

#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using namespace std::chrono_literals;

const std::string kRelock = "-10205 0 This thread is trying to do recursive locking.";
const std::string kUnmatched = "-10205 0 This thread holds more than one lock for the resource.";

// What inCall raised as exactly QpSDKInternalException: "code syserror message".
std::string internalError(const std::function<void()>& inCall) {
  try {
    inCall();
  } catch (QpSDKInternalException& e) {
    return (typeid(e) == typeid(QpSDKInternalException) ? "" : "a subclass: ") +
           std::to_string(e.GetErrorCode()) + " " + std::to_string(e.GetSysErrorCode()) + " " +
           qpTake(e.GetMessageString());
  }
  return "nothing raised";
}

// Another thread that takes a lock and gives it back. The holder calls releasing() just before it
// unlocks, so a flag, not timing, catches a contender that got in early (the pause only gives it
// the chance). One never let in is abandoned after a bound: a broken lock fails, it does not hang.
class Contender {
 public:
  Contender(std::function<void()> inLock, std::function<void()> inUnlock, bool inHeld = true) {
    *mReleased = !inHeld;
    std::packaged_task<bool()> vTask([vReleased = mReleased, inLock, inUnlock] {
      inLock();
      bool vInOrder = *vReleased;
      inUnlock();
      return vInOrder;
    });
    mDone = vTask.get_future();
    std::thread(std::move(vTask)).detach();
    if (inHeld) std::this_thread::sleep_for(50ms);
  }
  template <class M>
  explicit Contender(std::shared_ptr<M> inMutex, bool inHeld = true)
      : Contender([inMutex] { inMutex->lock(); }, [inMutex] { inMutex->unlock(); }, inHeld) {}
  void releasing() { *mReleased = true; }
  // Whether it got the lock, only once released, and gave it back (a raise rethrows here).
  bool finished() { return mDone.wait_for(10s) == std::future_status::ready && mDone.get(); }

 private:
  std::shared_ptr<std::atomic<bool>> mReleased = std::make_shared<std::atomic<bool>>(false);
  std::future<bool> mDone;
};

// The mutex is free: another thread takes it at once, and so does this one.
void expectFree(const std::shared_ptr<QpMutex>& inMutex) {
  EXPECT_TRUE(Contender(inMutex, false).finished());
  EXPECT_NO_THROW(inMutex->lock());
  EXPECT_NO_THROW(inMutex->unlock());
}

TEST(QpMutex, RelockAndUnlockByAnotherThreadAreRefusedAndTheHolderKeepsItOnce) {
  auto m = std::make_shared<QpMutex>();
  m->lock();
  EXPECT_EQ(internalError([&] { m->lock(); }), kRelock);
  std::thread([&] { EXPECT_EQ(internalError([&] { m->unlock(); }), kUnmatched); }).join();
  Contender c(m);  // still held, and one unlock by the holder lets the other thread in
  c.releasing();
  EXPECT_NO_THROW(m->unlock());
  EXPECT_TRUE(c.finished());
  EXPECT_EQ(internalError([&] { m->unlock(); }), kUnmatched);
  expectFree(m);
}

TEST(QpMutex, UnlockOfAFreeMutexRaisesAndLeavesItFree) {
  {
    StFaultArm vArm(0);  // a heap instance is null when memory is short
    EXPECT_EQ(QpMutex::createNEWInstance(), nullptr);
    EXPECT_EQ(QpFaultHits(), 1);
  }
  std::shared_ptr<QpMutex> m(QpMutex::createNEWInstance());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(internalError([&] { m->unlock(); }), kUnmatched);
  expectFree(m);
  static_assert(!std::is_copy_constructible_v<QpMutex> && !std::is_copy_assignable_v<QpMutex>);
}

TEST(QpRecursiveMutex, EveryLockNeedsItsOwnUnlock) {  // and nothing more: no relock error
  auto m = std::make_shared<QpRecursiveMutex>();
  EXPECT_NO_THROW(m->lock());
  EXPECT_NO_THROW(m->lock());
  Contender c(m);
  EXPECT_NO_THROW(m->unlock());
  std::this_thread::sleep_for(50ms);  // one lock is still held
  c.releasing();
  EXPECT_NO_THROW(m->unlock());
  EXPECT_TRUE(c.finished());
}

TEST(StCriticalSection, HoldsForTheScopeAndReleasesOnException) {
  auto m = std::make_shared<QpMutex>();
  try {
    StCriticalSection vLock(m.get());
    EXPECT_EQ(internalError([&] { m->lock(); }), kRelock);  // held by this thread for the scope
    qpRaise<QpParameterException>(QP_HERE, 0, "leaving");
  } catch (QpParameterException&) {
  }
  expectFree(m);
}

TEST(StProtectQPOS, HoldsTheLibraryWideMutex) {
  auto vGuard = std::make_shared<std::optional<StProtectQPOS>>();
  std::optional<Contender> c;
  {
    StProtectQPOS vProtect;
    EXPECT_EQ(internalError([] { StProtectQPOS::sQPOSMutex.lock(); }), kRelock);
    c.emplace([vGuard] { vGuard->emplace(); }, [vGuard] { vGuard->reset(); });
    c->releasing();
  }
  EXPECT_TRUE(c->finished());
  EXPECT_NO_THROW(StProtectQPOS::sQPOSMutex.lock());  // released on the way out
  EXPECT_NO_THROW(StProtectQPOS::sQPOSMutex.unlock());
}

TEST(StTimer, MeasuresAndPrintsNothing) {
  StTimer vTimer;
  vTimer.start();
  std::this_thread::sleep_for(2ms);
  testing::internal::CaptureStdout();
  vTimer.printMillisDelta("delta");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(vTimer.GetMillisDelta() + vTimer.GetMillisSinceStart(), 0);
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
    ASSERT_GE(sFd, 0);
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
  static_assert(!std::is_copy_constructible_v<QpTempFile>);
}

}  // namespace
