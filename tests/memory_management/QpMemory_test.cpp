// Tests of the single allocation entry point (QpMemory.cpp): the fault hook behind qp_malloc,
// qp_calloc, qp_realloc and the library's operator new, and the library's new-handler.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <thread>

#include "QpErrorCodes.h"
#include "QpException.h"
#include "QpFaultInjection.h"
#include "QpMemory.h"
#include "QpOsHooks.h"
#include "qpos32.h"

namespace {

#ifdef QP_FAULT_INJECTION

TEST(QpFaultHook, FailsExactlyTheArmedAllocation) {
  void* vBlocks[4];
  {
    StFaultArm vArm(2);
    vBlocks[0] = qp_malloc(8);
    vBlocks[1] = qp_calloc(2, 8);
    errno = 0;
    vBlocks[2] = qp_malloc(8);
    EXPECT_EQ(errno, ENOMEM);
    vBlocks[3] = qp_malloc(8);
    EXPECT_EQ(QpFaultHits(), 1);
  }
  EXPECT_NE(vBlocks[0], nullptr);
  EXPECT_NE(vBlocks[1], nullptr);
  EXPECT_EQ(vBlocks[2], nullptr);
  EXPECT_NE(vBlocks[3], nullptr) << "one failure only, then the heap is back";
  for (void* vBlock : vBlocks) qp_free(vBlock);
}

TEST(QpFaultHook, RepeatFailsAConsecutiveRun) {
  bool vFailed[6];
  {
    StFaultArm vArm(1, 3);
    for (bool& vEntry : vFailed) {
      void* vBlock = qp_malloc(4);
      vEntry = vBlock == nullptr;
      qp_free(vBlock);
    }
    EXPECT_EQ(QpFaultHits(), 3);
  }
  const bool vWant[6] = {false, true, true, true, false, false};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(vFailed[i], vWant[i]) << "allocation " << i;
}

TEST(QpFaultHook, DisarmStopsFailuresAndKeepsTheCount) {
  QpFaultArm(0, 5);
  EXPECT_EQ(qp_malloc(4), nullptr);
  QpFaultDisarm();
  void* vBlock = qp_malloc(4);
  EXPECT_NE(vBlock, nullptr);
  qp_free(vBlock);
  EXPECT_EQ(QpFaultHits(), 1);
  QpFaultArm(3);
  EXPECT_EQ(QpFaultHits(), 0) << "arming resets the count";
  QpFaultDisarm();
}

TEST(QpFaultHook, CallocFailsAndOtherwiseZeroes) {
  {
    StFaultArm vArm(0);
    EXPECT_EQ(qp_calloc(4, 4), nullptr);
  }
  unsigned char* vBlock = static_cast<unsigned char*>(qp_calloc(4, 4));
  ASSERT_NE(vBlock, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(vBlock[i], 0);
  qp_free(vBlock);
}

TEST(QpFaultHook, FailedReallocKeepsTheOldBlock) {
  char* vBlock = static_cast<char*>(qp_malloc(16));
  ASSERT_NE(vBlock, nullptr);
  std::memcpy(vBlock, "0123456789abcde", 16);
  {
    StFaultArm vArm(0);
    errno = 0;
    EXPECT_EQ(qp_realloc(vBlock, 1 << 20), nullptr);
    EXPECT_EQ(errno, ENOMEM);
  }
  // Still allocated and unchanged: a sanitizer build would report a use after free here.
  EXPECT_STREQ(vBlock, "0123456789abcde");
  char* vGrown = static_cast<char*>(qp_realloc(vBlock, 64));
  ASSERT_NE(vGrown, nullptr);
  EXPECT_STREQ(vGrown, "0123456789abcde");
  qp_free(vGrown);
}

TEST(QpFaultHook, OtherThreadsAllocateNormally) {
  StFaultArm vArm(0);
  bool vOtherGotMemory = false;
  int vOtherHits = -1;
  std::thread([&] {
    void* vBlock = qp_malloc(8);
    vOtherGotMemory = vBlock != nullptr;
    qp_free(vBlock);
    vOtherHits = QpFaultHits();
  }).join();
  EXPECT_TRUE(vOtherGotMemory);
  EXPECT_EQ(vOtherHits, 0);
  EXPECT_EQ(qp_malloc(8), nullptr) << "this thread's countdown was not consumed by the other";
  EXPECT_EQ(QpFaultHits(), 1);
}

// ---- The library's operator new ----------------------------------------------------------------

struct TestOutOfMemory {};
int sHandlerCalls = 0;

void throwingHandler() {
  ++sHandlerCalls;
  throw TestOutOfMemory();
}

// Stands for a handler that releases memory and lets new try again.
void returningHandler() {
  ++sHandlerCalls;
}

// Installs a handler of the test's own for one test and puts back the one the error model
// installed at load.
class QpLibraryNew : public ::testing::Test {
 protected:
  void SetUp() override {
    sHandlerCalls = 0;
    mPrevious = qpSetLibraryNewHandler(throwingHandler);
  }
  void TearDown() override { EXPECT_EQ(qpSetLibraryNewHandler(mPrevious), mMine); }
  void install(QpNewHandler inHandler) {
    qpSetLibraryNewHandler(inHandler);
    mMine = inHandler;
  }

  QpNewHandler mPrevious = nullptr;
  QpNewHandler mMine = throwingHandler;
};

TEST_F(QpLibraryNew, RaisesWhatTheHandlerRaises) {
  EXPECT_EQ(qpGetLibraryNewHandler(), throwingHandler);
  {
    StFaultArm vArm(0);
    EXPECT_THROW(qpLibraryNew(32), TestOutOfMemory);
    EXPECT_EQ(QpFaultHits(), 1);
  }
  {
    StFaultArm vArm(1);
    void* vFirst = qpLibraryNewArray(8);
    EXPECT_THROW(qpLibraryNewArray(8), TestOutOfMemory);
    qpLibraryDeleteArray(vFirst);
  }
  EXPECT_EQ(sHandlerCalls, 2);
}

TEST_F(QpLibraryNew, ReturningHandlerMakesNewTryAgain) {
  install(returningHandler);
  StFaultArm vArm(0, 3);
  void* vBlock = qpLibraryNew(32);
  ASSERT_NE(vBlock, nullptr);
  EXPECT_EQ(sHandlerCalls, 3) << "one call per failed attempt";
  EXPECT_EQ(QpFaultHits(), 3);
  qpLibraryDelete(vBlock);
}

TEST_F(QpLibraryNew, WithoutHandlerItIsBadAlloc) {
  install(nullptr);
  StFaultArm vArm(0);
  EXPECT_THROW(qpLibraryNew(32), std::bad_alloc);
}

TEST_F(QpLibraryNew, LoadTimeHandlerRaisesOutOfMemoryException) {
  install(mPrevious);
  ASSERT_NE(mPrevious, nullptr) << "the error model installs a handler when the library loads";
  StFaultArm vArm(0);
  bool vCaught = false;
  try {
    qpLibraryNew(32);
  } catch (QpOutOfMemException& e) {
    vCaught = true;
    EXPECT_EQ(e.GetErrorCode(), QP_OUT_OF_MEMORY_ERR);
    EXPECT_EQ(e.GetSysErrorCode(), 12);  // ENOMEM
  }
  EXPECT_TRUE(vCaught);
}

#endif  // QP_FAULT_INJECTION

// The library's blocks come from the global allocator's new family, so the application may
// delete what the library made and the other way round; AddressSanitizer checks the pairing.
TEST(QpLibraryNewPairing, BlocksCrossTheLibraryBoundary) {
  void* vFromLibrary = qpLibraryNew(24);
  ASSERT_NE(vFromLibrary, nullptr);
  std::memset(vFromLibrary, 0xAB, 24);
  ::operator delete(vFromLibrary);
  void* vArrayFromLibrary = qpLibraryNewArray(24);
  ASSERT_NE(vArrayFromLibrary, nullptr);
  ::operator delete[](vArrayFromLibrary);
  void* vFromApplication = ::operator new(24);
  qpLibraryDelete(vFromApplication);
  void* vArrayFromApplication = ::operator new[](24);
  qpLibraryDeleteArray(vArrayFromApplication);
  qpLibraryDelete(nullptr);
}

}  // namespace
