// QpOsHooks.h - the OS layer's test hooks.
//
// The socket and file functions of qpos32 (and the Winsock shim) reach the platform only through
// the table below, so a test can make one platform call fail, or observe its arguments, while
// the rest of the program runs as usual. The entries use plain types so that this header brings
// no platform header along; each behaves as the POSIX function it names (-1 or null with errno
// set on failure). The layer retries EINTR and maps errno around these calls, so a replacement
// only has to report a failure the way the platform would.
//
// The second part lets tests reach the library's own operator new and delete, which the linker
// keeps out of the dynamic symbol table and so are not callable from outside by name.
//
// Thread safety: the table is process-wide. Install and reset it only while no other thread is
// inside the OS layer (a test's set-up and tear-down); calls through it are safe from any thread.
#ifndef QP_OS_HOOKS_H
#define QP_OS_HOOKS_H

#include <cstddef>
#include <cstdio>
#include "QpTypes.h"

struct QpOsHooks {
  int (*mSocket)(int inFamily, int inType, int inProtocol);  // POSIX numbers, already translated
  int (*mConnect)(int inFd, const void* inAddress, unsigned inAddressLen);
  long (*mSend)(int inFd, const void* inData, size_t inLen, int inFlags);
  long (*mRecv)(int inFd, void* outBuf, size_t inLen, int inFlags);
  long (*mSendTo)(int inFd, const void* inData, size_t inLen, int inFlags, const void* inTo,
                  unsigned inToLen);
  long (*mRecvFrom)(int inFd, void* outBuf, size_t inLen, int inFlags, void* outFrom,
                    unsigned* ioFromLen);
  int (*mSetsockopt)(int inFd, int inLevel, int inOption, const void* inValue, unsigned inLen);
  int (*mClose)(int inFd);                                  // sockets (qp_closesocket)
  int (*mMkstemp)(char* ioTemplate);                        // qp_newTmpfile
  FILE* (*mFopen)(const char* inPath, const char* inMode);  // qp_fopen
  // Name resolution (QpWsGetAddrInfoIPv4): inHints and *outResult are struct addrinfo. A
  // replacement that hands out results of its own must also replace mFreeAddrInfo.
  int (*mGetAddrInfo)(const char* inNode, const char* inService, const void* inHints,
                      void** outResult);
  void (*mFreeAddrInfo)(void* inResult);
};

// The table in force (a copy). Start from it to replace one entry and keep the others.
QP_EXPORT QpOsHooks qpOsGetHooks();
// Installs inHooks; a null entry means the platform's own function. Returns the previous table.
QP_EXPORT QpOsHooks qpOsSetHooks(const QpOsHooks& inHooks);
// Back to the platform's functions.
QP_EXPORT void qpOsResetHooks();

// Scoped replacement for tests: restores the previous table on every path out of the scope.
class QP_EXPORT StOsHooks {
 public:
  explicit StOsHooks(const QpOsHooks& inHooks) : mPrevious(qpOsSetHooks(inHooks)) {}
  ~StOsHooks() { qpOsSetHooks(mPrevious); }
  StOsHooks(const StOsHooks&) = delete;
  StOsHooks& operator=(const StOsHooks&) = delete;

 private:
  QpOsHooks mPrevious;
};

// The library's own operator new/new[] and delete/delete[], exactly as library code calls them
// (fault hook, library new-handler and all).
QP_EXPORT void* qpLibraryNew(size_t inSize);
QP_EXPORT void* qpLibraryNewArray(size_t inSize);
QP_EXPORT void qpLibraryDelete(void* inPtr);
QP_EXPORT void qpLibraryDeleteArray(void* inPtr);

#endif  // QP_OS_HOOKS_H
