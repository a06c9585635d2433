// QpSHA256Hooks.h - test hooks of the SHA-256 engine. The umbrella header leaves it out.
//
// The engine compresses blocks with the x86 SHA extensions when the processor has them. Tests
// force the portable code with QpSHA256ForcePortable(true) so that both paths are checked on
// every host that has the extensions, and ask QpSHA256HasShaExtensions() whether the other path
// exists here at all.
//
// Threads: the switch is an atomic flag read at each Update; flip it only while no other thread
// hashes (a test's set-up), or digests of a context may mix both paths (they agree anyway).
#ifndef QP_SHA256_HOOKS_H
#define QP_SHA256_HOOKS_H

#include "QpTypes.h"

// Returns the previous setting.
QP_EXPORT bool QpSHA256ForcePortable(bool inForce);
QP_EXPORT bool QpSHA256HasShaExtensions();

// Scoped forcing for tests: restores the previous setting on every path out of the scope.
class StSHA256Portable {
 public:
  StSHA256Portable() : mPrevious(QpSHA256ForcePortable(true)) {}
  ~StSHA256Portable() { QpSHA256ForcePortable(mPrevious); }
  StSHA256Portable(const StSHA256Portable&) = delete;
  StSHA256Portable& operator=(const StSHA256Portable&) = delete;

 private:
  bool mPrevious;
};

#endif  // QP_SHA256_HOOKS_H
