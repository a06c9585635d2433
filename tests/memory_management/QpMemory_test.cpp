// Tests of the single allocation entry point (QpMemory.cpp): the fault hook behind qp_malloc,
// qp_calloc, qp_realloc and the library's operator new, and the library's new-handler.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "QpErrorCodes.h"
#include "QpException.h"
#include "QpFaultInjection.h"
#include "QpMemory.h"
#include "QpOsHooks.h"
#include "qpos32.h"

namespace {

#ifdef QP_FAULT_INJECTION

TEST(QpFaultHook, FailsExactlyTheArmedRunOfAllocations) {
  // Six allocations, malloc, calloc and realloc taking turns: '.' got memory, 'F' failed (ENOMEM).
  const int kCountdown[] = {0, 2, 1}, kRepeat[] = {1, 1, 3};
  const char* kWant[] = {"F.....", "..F...", ".FFF.."};
  for (int c = 0; c < 3; ++c) {
    std::string vGot;
    StFaultArm vArm(kCountdown[c], kRepeat[c]);
    for (int i = 0; i < 6; ++i) {
      errno = 0;
      void* vBlock = i % 3 == 0 ? qp_malloc(8) : i % 3 == 1 ? qp_calloc(2, 8) : qp_realloc(0, 8);
      vGot += vBlock != nullptr ? '.' : errno == ENOMEM ? 'F' : '?';
      qp_free(vBlock);
    }
    EXPECT_EQ(vGot, kWant[c]);
    EXPECT_EQ(QpFaultHits(), kRepeat[c]) << "arming resets the count";
  }
}

struct TestOutOfMemory {};
int sHandlerCalls = 0;

TEST(QpLibraryNew, RaisesWhatTheInstalledHandlerRaises) {
  const QpNewHandler vAtLoad = qpGetLibraryNewHandler();
  sHandlerCalls = 0;
  ASSERT_NE(vAtLoad, nullptr) << "the error model installs a handler when the library loads";
  EXPECT_EQ(qpSetLibraryNewHandler([] { ++sHandlerCalls, throw TestOutOfMemory(); }), vAtLoad);
  StFaultArm vArm(0);
  EXPECT_THROW(qpLibraryNewArray(8), TestOutOfMemory);
  // A handler that returns (having released memory, say) makes new try again.
  qpSetLibraryNewHandler([] { ++sHandlerCalls; });
  QpFaultArm(0, 3);
  void* vBlock = qpLibraryNew(32);
  EXPECT_NE(vBlock, nullptr);
  EXPECT_EQ(sHandlerCalls, 1 + 3) << "one call per failed attempt";
  qpLibraryDelete(vBlock);
  qpSetLibraryNewHandler(nullptr);
  QpFaultArm(0);
  EXPECT_THROW(qpLibraryNew(32), std::bad_alloc);
  qpSetLibraryNewHandler(vAtLoad);
  QpFaultArm(0);
  EXPECT_THROW(qpLibraryNew(32), QpOutOfMemException);  // code and system error: tests/errors
}

#endif  // QP_FAULT_INJECTION

// Blocks cross the library boundary both ways (one new family); AddressSanitizer checks pairing.
TEST(QpLibraryNewPairing, BlocksCrossTheLibraryBoundary) {
  ::operator delete(qpLibraryNew(24));
  ::operator delete[](qpLibraryNewArray(24));
  qpLibraryDeleteArray(::operator new[](24));
}

}  // namespace
