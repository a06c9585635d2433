// QpFaultInjection.h - makes chosen allocations fail on purpose, so that tests can reach every
// out-of-memory path of the library.
//
// The hook counts the allocations that the calling thread makes through qp_malloc, qp_calloc,
// qp_realloc and the library's own operator new. Arming it for n makes allocation number n (0 is
// the next one) fail, and the inRepeat - 1 after it too; a failed allocation behaves exactly as an
// exhausted heap (null from qp_*, QpOutOfMemException from new). The state is per thread: other
// threads allocate normally while a test walks its own operation.
//
// Test loop: for n = 0, 1, 2, ...: QpFaultArm(n); run the operation; expect QpOutOfMemException
// while QpFaultHits() > 0, and stop at the first n for which nothing failed.
//
// Compiled in only with QP_FAULT_INJECTION; without it arming has no effect.
#ifndef QP_FAULT_INJECTION_H
#define QP_FAULT_INJECTION_H

#include "QpTypes.h"

// Fail the calling thread's allocation number inCountdown from now (0: the very next one) and
// the inRepeat - 1 allocations that follow it. Resets the hit count.
QP_EXPORT void QpFaultArm(int inCountdown, int inRepeat = 1);
// Stop failing allocations on this thread. The hit count is kept for QpFaultHits().
QP_EXPORT void QpFaultDisarm();
// How many allocations the hook has failed on this thread since the last QpFaultArm.
QP_EXPORT int QpFaultHits();
// Consulted at the top of every allocation: true when this one must fail. Counts the hit.
QP_EXPORT bool QpFaultShouldFail();
// Called once for every injected failure. It does nothing; it exists as a breakpoint target.
QP_EXPORT void QpFaultHit();

// Scoped arming for tests: disarms on every path out of the scope.
class QP_EXPORT StFaultArm {
 public:
  explicit StFaultArm(int inCountdown, int inRepeat = 1) { QpFaultArm(inCountdown, inRepeat); }
  ~StFaultArm() { QpFaultDisarm(); }
  StFaultArm(const StFaultArm&) = delete;
  StFaultArm& operator=(const StFaultArm&) = delete;
};

#endif  // QP_FAULT_INJECTION_H
