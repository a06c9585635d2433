// QpMemory.cpp - the library's single allocation entry point: qp_malloc, qp_calloc, qp_realloc,
// qp_free, the library's own operator new and delete, and the fault hook that every one of them
// consults first (QpFaultInjection.h, QpMemory.h).
#include "QpMemory.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "QpFaultInjection.h"
#include "QpOsHooks.h"
#include "qpos32.h"

// ---- Fault hook --------------------------------------------------------------------------------
#ifdef QP_FAULT_INJECTION
namespace {
// Per thread, so that a test walking its own operation never fails another thread's allocation.
// All three are trivially initialised: reading them costs no initialisation guard, which matters
// because every allocation of the library reads sFaultCountdown.
thread_local int sFaultCountdown = -1;  // allocations still to pass before failing; -1 disarmed
thread_local int sFaultRepeat = 0;      // failures still to inject once the countdown is 0
thread_local int sFaultHits = 0;        // failures injected since the last QpFaultArm
}  // namespace

void QpFaultArm(int inCountdown, int inRepeat) {
  sFaultHits = 0;
  sFaultCountdown = inCountdown >= 0 ? inCountdown : -1;
  sFaultRepeat = inRepeat >= 1 ? inRepeat : 1;
}

void QpFaultDisarm() {
  sFaultCountdown = -1;
  sFaultRepeat = 0;
}

int QpFaultHits() {
  return sFaultHits;
}

bool QpFaultShouldFail() {
  if (sFaultCountdown < 0) return false;
  if (sFaultCountdown > 0) {
    --sFaultCountdown;
    return false;
  }
  ++sFaultHits;
  if (--sFaultRepeat <= 0) sFaultCountdown = -1;
  QpFaultHit();
  return true;
}
#else
void QpFaultArm(int, int) {}
void QpFaultDisarm() {}
int QpFaultHits() {
  return 0;
}
bool QpFaultShouldFail() {
  return false;
}
#endif

// Kept as a real call even in optimised builds: the empty asm is a side effect the compiler may
// not remove, and noinline keeps one address to break on.
__attribute__((noinline)) void QpFaultHit() {
  __asm__ volatile("");
}

// ---- qp_ allocation functions ------------------------------------------------------------------
// An injected failure looks exactly like an exhausted heap: null with errno ENOMEM.
void* qp_malloc(size_t inSize) {
  if (QpFaultShouldFail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return std::malloc(inSize);
}

void* qp_calloc(size_t inCount, size_t inSize) {
  if (QpFaultShouldFail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return std::calloc(inCount, inSize);
}

// As realloc, a failure (real or injected) returns null and leaves inPtr allocated and intact.
void* qp_realloc(void* inPtr, size_t inSize) {
  if (QpFaultShouldFail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return std::realloc(inPtr, inSize);
}

void qp_free(void* inPtr) {
  std::free(inPtr);
}

// ---- The library's operator new and delete -----------------------------------------------------
namespace {
std::atomic<QpNewHandler> sLibraryNewHandler{nullptr};
}  // namespace

QpNewHandler qpSetLibraryNewHandler(QpNewHandler inHandler) {
  return sLibraryNewHandler.exchange(inHandler);
}

QpNewHandler qpGetLibraryNewHandler() {
  return sLibraryNewHandler.load();
}

namespace {

// Memory comes from the global nothrow forms rather than malloc: when the application deletes
// an object that the library made (or the reverse), the allocator that frees the block, and
// AddressSanitizer's new/delete pairing check, see the same family that allocated it. The
// handler loop is the standard one, with the library's handler in place of std::new_handler so
// that the library raises its own exception without touching the application's handler.
template <bool kArray>
void* libraryNew(std::size_t inSize) {
  for (;;) {
    if (!QpFaultShouldFail()) {
      void* vBlock =
          kArray ? ::operator new[](inSize, std::nothrow) : ::operator new(inSize, std::nothrow);
      if (vBlock != nullptr) return vBlock;
    }
    const QpNewHandler vHandler = qpGetLibraryNewHandler();
    if (vHandler == nullptr) throw std::bad_alloc();
    vHandler();
  }
}

}  // namespace

// The version script QpUtils.map keeps these six local to the library.
void* operator new(std::size_t inSize) {
  return libraryNew<false>(inSize);
}
void* operator new[](std::size_t inSize) {
  return libraryNew<true>(inSize);
}
void operator delete(void* inPtr) noexcept {
  ::operator delete(inPtr, std::nothrow);
}
void operator delete[](void* inPtr) noexcept {
  ::operator delete[](inPtr, std::nothrow);
}
void operator delete(void* inPtr, std::size_t) noexcept {
  ::operator delete(inPtr, std::nothrow);
}
void operator delete[](void* inPtr, std::size_t) noexcept {
  ::operator delete[](inPtr, std::nothrow);
}

// Test probes (QpOsHooks.h): the operators above are not reachable by name from outside.
void* qpLibraryNew(size_t inSize) {
  return ::operator new(inSize);
}
void* qpLibraryNewArray(size_t inSize) {
  return ::operator new[](inSize);
}
void qpLibraryDelete(void* inPtr) {
  ::operator delete(inPtr);
}
void qpLibraryDeleteArray(void* inPtr) {
  ::operator delete[](inPtr);
}
