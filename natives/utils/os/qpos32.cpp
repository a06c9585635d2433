// qpos32.cpp - the POSIX implementation of the OS layer (qpos32.h).
//
// Contents, in order:
//   1. The hook table: every socket and temporary-file call goes through it (QpOsHooks.h).
//   2. Strings and formatting.
//   3. Files and temporary files.
//   4. Environment, process and time.
//   5. Thread-local storage.
//   6. Mutexes.
//   7. Sockets: Winsock numbers in, POSIX calls out, Winsock errors back.
//   8. Dynamic loading.
//   9. UUIDs.
// Memory (qp_malloc and friends) lives in memory_management/QpMemory.cpp, the single allocation
// entry point.
#include "qpos32.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QpOsHooks.h"
#include "QpWinsock.h"

// ================================================================================================
// 1. The hook table
// ================================================================================================
namespace {

int platformSocket(int inFamily, int inType, int inProtocol) {
  return ::socket(inFamily, inType, inProtocol);
}
int platformConnect(int inFd, const void* inAddress, unsigned inAddressLen) {
  return ::connect(inFd, static_cast<const sockaddr*>(inAddress), inAddressLen);
}
long platformSend(int inFd, const void* inData, size_t inLen, int inFlags) {
  return ::send(inFd, inData, inLen, inFlags);
}
long platformRecv(int inFd, void* outBuf, size_t inLen, int inFlags) {
  return ::recv(inFd, outBuf, inLen, inFlags);
}
long platformSendTo(int inFd, const void* inData, size_t inLen, int inFlags, const void* inTo,
                    unsigned inToLen) {
  return ::sendto(inFd, inData, inLen, inFlags, static_cast<const sockaddr*>(inTo), inToLen);
}
long platformRecvFrom(int inFd, void* outBuf, size_t inLen, int inFlags, void* outFrom,
                      unsigned* ioFromLen) {
  static_assert(sizeof(socklen_t) == sizeof(unsigned), "socklen_t is an unsigned int");
  return ::recvfrom(inFd, outBuf, inLen, inFlags, static_cast<sockaddr*>(outFrom),
                    reinterpret_cast<socklen_t*>(ioFromLen));
}
int platformSetsockopt(int inFd, int inLevel, int inOption, const void* inValue, unsigned inLen) {
  return ::setsockopt(inFd, inLevel, inOption, inValue, inLen);
}
int platformClose(int inFd) {
  return ::close(inFd);
}
int platformMkstemp(char* ioTemplate) {
  return ::mkstemp(ioTemplate);
}
FILE* platformFopen(const char* inPath, const char* inMode) {
  return ::fopen(inPath, inMode);
}
int platformGetAddrInfo(const char* inNode, const char* inService, const void* inHints,
                        void** outResult) {
  return ::getaddrinfo(inNode, inService, static_cast<const addrinfo*>(inHints),
                       reinterpret_cast<addrinfo**>(outResult));
}
void platformFreeAddrInfo(void* inResult) {
  ::freeaddrinfo(static_cast<addrinfo*>(inResult));
}

constexpr QpOsHooks kPlatformHooks = {
    platformSocket,  platformConnect,  platformSend,        platformRecv,
    platformSendTo,  platformRecvFrom, platformSetsockopt,  platformClose,
    platformMkstemp, platformFopen,    platformGetAddrInfo, platformFreeAddrInfo};

QpOsHooks sHooks = kPlatformHooks;

// A null entry stands for the platform's function, so a test may fill in only what it replaces.
template <class F>
F orPlatform(F inHook, F inPlatform) {
  return inHook != nullptr ? inHook : inPlatform;
}

// Records the failure of a socket call for WSAGetLastError() and returns -1. errno is read first
// and put back last, so that nothing between the failing call and the caller can change it.
int socketFailure() {
  const int vErrno = errno;
  WSASetLastError(QpWsErrorFromErrno(vErrno));
  errno = vErrno;
  return -1;
}

int socketFailure(int inErrno) {
  errno = inErrno;
  return socketFailure();
}

// A failure of the layer's own checks, reported through errno like the platform's.
int failWith(int inErrno) {
  errno = inErrno;
  return -1;
}

}  // namespace

QpOsHooks qpOsGetHooks() {
  return sHooks;
}

QpOsHooks qpOsSetHooks(const QpOsHooks& inHooks) {
  const QpOsHooks vPrevious = sHooks;
  sHooks.mSocket = orPlatform(inHooks.mSocket, kPlatformHooks.mSocket);
  sHooks.mConnect = orPlatform(inHooks.mConnect, kPlatformHooks.mConnect);
  sHooks.mSend = orPlatform(inHooks.mSend, kPlatformHooks.mSend);
  sHooks.mRecv = orPlatform(inHooks.mRecv, kPlatformHooks.mRecv);
  sHooks.mSendTo = orPlatform(inHooks.mSendTo, kPlatformHooks.mSendTo);
  sHooks.mRecvFrom = orPlatform(inHooks.mRecvFrom, kPlatformHooks.mRecvFrom);
  sHooks.mSetsockopt = orPlatform(inHooks.mSetsockopt, kPlatformHooks.mSetsockopt);
  sHooks.mClose = orPlatform(inHooks.mClose, kPlatformHooks.mClose);
  sHooks.mMkstemp = orPlatform(inHooks.mMkstemp, kPlatformHooks.mMkstemp);
  sHooks.mFopen = orPlatform(inHooks.mFopen, kPlatformHooks.mFopen);
  sHooks.mGetAddrInfo = orPlatform(inHooks.mGetAddrInfo, kPlatformHooks.mGetAddrInfo);
  sHooks.mFreeAddrInfo = orPlatform(inHooks.mFreeAddrInfo, kPlatformHooks.mFreeAddrInfo);
  return vPrevious;
}

void qpOsResetHooks() {
  sHooks = kPlatformHooks;
}

// ================================================================================================
// 2. Strings and formatting
// ================================================================================================
void* qp_memcpy(void* outDest, const void* inSrc, size_t inLen) {
  return std::memcpy(outDest, inSrc, inLen);
}

void* qp_memset(void* outDest, int inValue, size_t inLen) {
  return std::memset(outDest, inValue, inLen);
}

size_t qp_strlen(const char* inText) {
  return std::strlen(inText);
}
char* qp_strcpy(char* outDest, const char* inSrc) {
  return std::strcpy(outDest, inSrc);
}

char* qp_strncpy(char* outDest, const char* inSrc, size_t inCount) {
  return std::strncpy(outDest, inSrc, inCount);
}

char* qp_strcat(char* outDest, const char* inSrc) {
  return std::strcat(outDest, inSrc);
}

// Through qp_malloc, so that the fault hook sees the copy and qp_free releases it.
char* qp_strdup(const char* inText) {
  const size_t vSize = std::strlen(inText) + 1;
  char* vCopy = static_cast<char*>(qp_malloc(vSize));
  if (vCopy != nullptr) std::memcpy(vCopy, inText, vSize);
  return vCopy;
}

int qp_strcmp(const char* inA, const char* inB) {
  return std::strcmp(inA, inB);
}

int qp_strncmp(const char* inA, const char* inB, size_t inCount) {
  return std::strncmp(inA, inB, inCount);
}

namespace {
// ASCII only, whatever the process locale: the library compares protocol keywords and names,
// and a Turkish or single-byte locale must not make "ID" differ from "id".
inline unsigned char asciiLower(unsigned char inC) {
  return (inC >= 'A' && inC <= 'Z') ? static_cast<unsigned char>(inC + ('a' - 'A')) : inC;
}
}  // namespace

int qp_strcasecmp(const char* inA, const char* inB) {
  const unsigned char* vA = reinterpret_cast<const unsigned char*>(inA);
  const unsigned char* vB = reinterpret_cast<const unsigned char*>(inB);
  for (;; ++vA, ++vB) {
    const int vDiff = asciiLower(*vA) - asciiLower(*vB);
    if (vDiff != 0 || *vA == 0) return vDiff;
  }
}

char* qp_strchr(const char* inText, int inChar) {
  return const_cast<char*>(std::strchr(inText, inChar));
}

char* qp_strrchr(const char* inText, int inChar) {
  return const_cast<char*>(std::strrchr(inText, inChar));
}

char* qp_strstr(const char* inText, const char* inNeedle) {
  return const_cast<char*>(std::strstr(inText, inNeedle));
}

char* qp_strtok_r(char* inText, const char* inDelims, char** ioSave) {
  return ::strtok_r(inText, inDelims, ioSave);
}

char* qp_strupr(char* ioText) {
  for (char* vP = ioText; *vP != 0; ++vP) {
    if (*vP >= 'a' && *vP <= 'z') *vP = static_cast<char>(*vP - ('a' - 'A'));
  }
  return ioText;
}

int qp_atoi(const char* inText) {
  return std::atoi(inText);
}

// The library's multi-byte texts are UTF-8 whatever the process locale, so this decodes UTF-8
// itself rather than through mbrtowc (which in the "C" locale refuses every byte above 0x7F).
// As mbstowcs: with a null outDest it counts the units the whole text needs; otherwise it stops
// after inCount units and writes the terminator only when there is room. A character beyond
// U+FFFF takes a surrogate pair and is never split across the end of outDest.
size_t qp_mbstowcs(QpWChar* outDest, const char* inSrc, size_t inCount) {
  if (inSrc == nullptr) {
    errno = EINVAL;
    return static_cast<size_t>(-1);
  }
  const unsigned char* vP = reinterpret_cast<const unsigned char*>(inSrc);
  size_t vUnits = 0;
  for (;;) {
    if (outDest != nullptr && vUnits == inCount) return vUnits;
    const unsigned vLead = *vP;
    if (vLead == 0) {
      if (outDest != nullptr) outDest[vUnits] = 0;
      return vUnits;
    }
    std::uint32_t vCode;
    int vLen;
    std::uint32_t vMin;  // the smallest code point of this length: anything less is overlong
    if (vLead < 0x80) {
      vCode = vLead, vLen = 1, vMin = 0;
    } else if ((vLead & 0xE0) == 0xC0) {
      vCode = vLead & 0x1F, vLen = 2, vMin = 0x80;
    } else if ((vLead & 0xF0) == 0xE0) {
      vCode = vLead & 0x0F, vLen = 3, vMin = 0x800;
    } else if ((vLead & 0xF8) == 0xF0) {
      vCode = vLead & 0x07, vLen = 4, vMin = 0x10000;
    } else {
      errno = EILSEQ;
      return static_cast<size_t>(-1);
    }
    // A NUL inside the sequence fails the continuation test, so this never reads past the text.
    for (int i = 1; i < vLen; ++i) {
      if ((vP[i] & 0xC0) != 0x80) {
        errno = EILSEQ;
        return static_cast<size_t>(-1);
      }
      vCode = (vCode << 6) | (vP[i] & 0x3F);
    }
    if (vCode < vMin || vCode > 0x10FFFF || (vCode >= 0xD800 && vCode <= 0xDFFF)) {
      errno = EILSEQ;
      return static_cast<size_t>(-1);
    }
    const size_t vNeed = vCode > 0xFFFF ? 2 : 1;
    if (outDest != nullptr) {
      if (vUnits + vNeed > inCount) return vUnits;
      if (vNeed == 2) {
        const std::uint32_t vOffset = vCode - 0x10000;
        outDest[vUnits] = static_cast<QpWChar>(0xD800 + (vOffset >> 10));
        outDest[vUnits + 1] = static_cast<QpWChar>(0xDC00 + (vOffset & 0x3FF));
      } else {
        outDest[vUnits] = static_cast<QpWChar>(vCode);
      }
    }
    vUnits += vNeed;
    vP += vLen;
  }
}

int qp_sprintf(char* outBuf, const char* inFormat, ...) {
  va_list vArgs;
  va_start(vArgs, inFormat);
  const int vResult = std::vsprintf(outBuf, inFormat, vArgs);
  va_end(vArgs);
  return vResult;
}

int qp_snprintf(char* outBuf, size_t inSize, const char* inFormat, ...) {
  va_list vArgs;
  va_start(vArgs, inFormat);
  const int vResult = std::vsnprintf(outBuf, inSize, inFormat, vArgs);
  va_end(vArgs);
  return vResult;
}

int qp_vsnprintf(char* outBuf, size_t inSize, const char* inFormat, va_list inArgs) {
  return std::vsnprintf(outBuf, inSize, inFormat, inArgs);
}

int qp_printf(const char* inFormat, ...) {
  va_list vArgs;
  va_start(vArgs, inFormat);
  const int vResult = std::vprintf(inFormat, vArgs);
  va_end(vArgs);
  return vResult;
}

int qp_vfprintf(FILE* inFile, const char* inFormat, va_list inArgs) {
  return std::vfprintf(inFile, inFormat, inArgs);
}

// ================================================================================================
// 3. Files and temporary files
// ================================================================================================
FILE* qp_fopen(const char* inPath, const char* inMode) {
  return sHooks.mFopen(inPath, inMode);
}

size_t qp_fread(void* outBuf, size_t inSize, size_t inCount, FILE* inFile) {
  return std::fread(outBuf, inSize, inCount, inFile);
}

size_t qp_fwrite(const void* inBuf, size_t inSize, size_t inCount, FILE* inFile) {
  return std::fwrite(inBuf, inSize, inCount, inFile);
}

int qp_fflush(FILE* inFile) {
  return std::fflush(inFile);
}
int qp_fclose(FILE* inFile) {
  return std::fclose(inFile);
}

// <sys/stat.h> makes st_mtime a macro for st_mtim.tv_sec, which would rename qp_stat_t's field
// below; struct stat's time is reached by its underlying name instead.
#undef st_mtime

int qp_stat(const char* inPath, qp_stat_t* outStat) {
  struct stat vInfo;
  if (::stat(inPath, &vInfo) != 0) return -1;
  outStat->st_size = vInfo.st_size;
  outStat->st_mtime = vInfo.st_mtim.tv_sec;
  outStat->st_mode = static_cast<int>(vInfo.st_mode);
  return 0;
}

int qp_access(const char* inPath, int inMode) {
  return ::access(inPath, inMode);
}
int qp_rename(const char* inOld, const char* inNew) {
  return std::rename(inOld, inNew);
}
int qp_remove(const char* inPath) {
  return std::remove(inPath);
}

// The handle is a FILE* open for update, so the library can write and read it back with
// qp_fwrite/qp_fread. The name is unlinked before the handle is handed out: the file then
// vanishes with its last descriptor, even when the process dies before closing it.
void* qp_newTmpfile() {
  const char* vDir = std::getenv("TMPDIR");
  if (vDir == nullptr || *vDir == 0) vDir = "/tmp";
  char vPath[PATH_MAX];
  const int vLen = std::snprintf(vPath, sizeof vPath, "%s/qpXXXXXX", vDir);
  if (vLen < 0 || static_cast<size_t>(vLen) >= sizeof vPath) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  const int vFd = sHooks.mMkstemp(vPath);
  if (vFd < 0) return nullptr;
  // The descriptor must not outlive an exec of a child the application starts.
  (void)::fcntl(vFd, F_SETFD, FD_CLOEXEC);
  FILE* vFile = nullptr;
  if (::unlink(vPath) == 0) vFile = ::fdopen(vFd, "w+b");
  if (vFile == nullptr) {
    const int vErrno = errno;
    (void)::unlink(vPath);  // after a failed fdopen the name is still there
    ::close(vFd);
    errno = vErrno;
  }
  return vFile;
}

int qp_CloseHandle(void* inHandle) {
  if (inHandle == nullptr) {
    errno = EBADF;
    return -1;
  }
  return std::fclose(static_cast<FILE*>(inHandle));
}

// ================================================================================================
// 4. Environment, process and time
// ================================================================================================
const char* qp_getenv(const char* inName) {
  return std::getenv(inName);
}
// getpid is a system call on current C libraries, and the log writers ask for it on every line.
// The id is kept, and forgotten in a child after fork so that the child reports its own.
namespace {
std::atomic<int> sPid(0);
void forgetPid() {
  sPid.store(0, std::memory_order_relaxed);
}
}  // namespace

int qp_getpid() {
  int vPid = sPid.load(std::memory_order_relaxed);
  if (vPid != 0) return vPid;
  static const int sAtFork = ::pthread_atfork(nullptr, nullptr, forgetPid);
  (void)sAtFork;
  vPid = static_cast<int>(::getpid());
  sPid.store(vPid, std::memory_order_relaxed);
  return vPid;
}

unsigned long qp_thread_self() {
  // pthread_self() is never 0 for a live thread, so 0 can stand for "no owner" in qp_mutex_t.
  static_assert(sizeof(pthread_t) <= sizeof(unsigned long), "pthread_t fits an unsigned long");
  const pthread_t vSelf = ::pthread_self();
  unsigned long vId = 0;
  std::memcpy(&vId, &vSelf, sizeof vSelf);
  return vId;
}

QpLong qp_time(QpLong* outTime) {
  const QpLong vNow = static_cast<QpLong>(::time(nullptr));
  if (outTime != nullptr) *outTime = vNow;
  return vNow;
}

int qp_gettimeofday(qp_timeval* outTime, void* /*inUnused*/) {
  if (outTime == nullptr) {
    errno = EFAULT;
    return -1;
  }
  struct timespec vNow;
  if (::clock_gettime(CLOCK_REALTIME, &vNow) != 0) return -1;
  outTime->tv_sec = vNow.tv_sec;
  outTime->tv_usec = vNow.tv_nsec / 1000;
  return 0;
}

// Each thread breaks down into its own buffer. Callers still serialise qp_gmtime with
// qp_strftime as the header asks, but this way the result cannot be overwritten by the
// application's own gmtime/localtime calls, which share libc's single static buffer.
struct tm* qp_gmtime(const QpLong* inTime) {
  static thread_local struct tm sBrokenDown;
  if (inTime == nullptr) {
    errno = EFAULT;
    return nullptr;
  }
  static_assert(sizeof(time_t) >= sizeof(QpLong), "time_t holds 64-bit seconds");
  const time_t vTime = static_cast<time_t>(*inTime);
  return ::gmtime_r(&vTime, &sBrokenDown);
}

size_t qp_strftime(char* outBuf, size_t inSize, const char* inFormat, const struct tm* inTime) {
  return std::strftime(outBuf, inSize, inFormat, inTime);
}

// ================================================================================================
// 5. Thread-local storage
// ================================================================================================
int qp_key_create(unsigned long* outKey, void (*inDestructor)(void*)) {
  if (outKey == nullptr) return EINVAL;
  pthread_key_t vKey;
  const int vResult = ::pthread_key_create(&vKey, inDestructor);
  if (vResult == 0) *outKey = vKey;
  return vResult;
}

void* qp_getspecific(unsigned long inKey) {
  return ::pthread_getspecific(static_cast<pthread_key_t>(inKey));
}

int qp_setspecific(unsigned long inKey, const void* inValue) {
  return ::pthread_setspecific(static_cast<pthread_key_t>(inKey), inValue);
}

int qp_key_delete(unsigned long inKey) {
  return ::pthread_key_delete(static_cast<pthread_key_t>(inKey));
}

// ================================================================================================
// 6. Mutexes
// ================================================================================================
// Both kinds are the same recursive pthread mutex: the plain kind must also admit its holder,
// because QpMutex detects relocking by looking at its depth after the lock returns, which a
// non-recursive mutex would never let it do.
//
// mOwner is written with atomic stores because another thread may read it (qp_mutex_held, a
// refused unlock) while the holder changes it. A thread only ever finds its own id there while
// it holds the mutex: it writes its id after acquiring and clears it before releasing, and no
// other thread writes that id. The depth beside the pthread mutex is touched only by the holder,
// under the mutex, so it needs no atomicity.
namespace {

struct PlatformMutex {
  pthread_mutex_t mHandle;
  unsigned mDepth;  // how many unmatched locks the holder has taken
};
static_assert(sizeof(PlatformMutex) <= sizeof(qp_mutex_t::mOpaque),
              "the pthread mutex and its depth fit the opaque storage");
static_assert(alignof(PlatformMutex) <= 8, "the opaque storage is 8-byte aligned");

PlatformMutex* platformMutex(qp_mutex_t* inMutex) {
  return std::launder(reinterpret_cast<PlatformMutex*>(inMutex->mOpaque));
}

unsigned long ownerOf(const qp_mutex_t* inMutex) {
  return __atomic_load_n(&inMutex->mOwner, __ATOMIC_RELAXED);
}

void setOwner(qp_mutex_t* ioMutex, unsigned long inOwner) {
  __atomic_store_n(&ioMutex->mOwner, inOwner, __ATOMIC_RELAXED);
}

}  // namespace

int qp_mutex_init(qp_mutex_t* ioMutex, void* inAttr) {
  if (ioMutex == nullptr || inAttr != nullptr) return EINVAL;
  PlatformMutex* vMutex = new (ioMutex->mOpaque) PlatformMutex;
  vMutex->mDepth = 0;
  setOwner(ioMutex, 0);
  pthread_mutexattr_t vAttr;
  int vResult = ::pthread_mutexattr_init(&vAttr);
  if (vResult != 0) return vResult;
  vResult = ::pthread_mutexattr_settype(&vAttr, PTHREAD_MUTEX_RECURSIVE);
  if (vResult == 0) vResult = ::pthread_mutex_init(&vMutex->mHandle, &vAttr);
  ::pthread_mutexattr_destroy(&vAttr);
  return vResult;
}

int qp_mutex_lock(qp_mutex_t* ioMutex) {
  if (ioMutex == nullptr) return EINVAL;
  PlatformMutex* vMutex = platformMutex(ioMutex);
  const int vResult = ::pthread_mutex_lock(&vMutex->mHandle);
  if (vResult != 0) return vResult;
  if (vMutex->mDepth++ == 0) setOwner(ioMutex, qp_thread_self());
  return 0;
}

int qp_mutex_unlock(qp_mutex_t* ioMutex) {
  if (ioMutex == nullptr) return EINVAL;
  // Checked before the pthread call so that a refused unlock leaves depth and owner untouched.
  if (ownerOf(ioMutex) != qp_thread_self()) return EPERM;
  PlatformMutex* vMutex = platformMutex(ioMutex);
  if (--vMutex->mDepth == 0) setOwner(ioMutex, 0);
  return ::pthread_mutex_unlock(&vMutex->mHandle);
}

int qp_mutex_destroy(qp_mutex_t* ioMutex) {
  if (ioMutex == nullptr) return EINVAL;
  const int vResult = ::pthread_mutex_destroy(&platformMutex(ioMutex)->mHandle);
  if (vResult == 0) setOwner(ioMutex, 0);
  return vResult;
}

bool qp_mutex_held(const qp_mutex_t* inMutex) {
  return inMutex != nullptr && ownerOf(inMutex) == qp_thread_self();
}

int qp_recursive_mutex_init(qp_recursive_mutex_t* ioMutex, void* inAttr) {
  return qp_mutex_init(ioMutex, inAttr);
}
int qp_recursive_mutex_lock(qp_recursive_mutex_t* ioMutex) {
  return qp_mutex_lock(ioMutex);
}
int qp_recursive_mutex_unlock(qp_recursive_mutex_t* ioMutex) {
  return qp_mutex_unlock(ioMutex);
}
int qp_recursive_mutex_destroy(qp_recursive_mutex_t* ioMutex) {
  return qp_mutex_destroy(ioMutex);
}

// ================================================================================================
// 7. Sockets
// ================================================================================================
// Callers pass Winsock numbers. Families, types, protocols and message flags share their values
// with Linux except AF_INET6 and MSG_WAITALL; levels and options differ and are translated in
// qp_setsockopt. Socket addresses are the host's struct sockaddr_in (16 bytes for IPv4: family in
// host order, then port and address in network order), which on a little-endian host is byte for
// byte Winsock's SOCKADDR_IN. Every failure leaves errno as the platform set it and the Winsock
// number of it for WSAGetLastError().

qp_socket_t qp_socket(int inFamily, int inType, int inProtocol) {
  int vFamily;
  switch (inFamily) {
    case QP_WS_AF_UNSPEC:
      vFamily = AF_UNSPEC;
      break;
    case QP_WS_AF_INET:
      vFamily = AF_INET;
      break;
    case QP_WS_AF_INET6:
      vFamily = AF_INET6;
      break;
    default:
      return socketFailure(EAFNOSUPPORT);
  }
  int vType;
  switch (inType) {
    case QP_WS_SOCK_STREAM:
      vType = SOCK_STREAM;
      break;
    case QP_WS_SOCK_DGRAM:
      vType = SOCK_DGRAM;
      break;
    case QP_WS_SOCK_RAW:
      vType = SOCK_RAW;
      break;
    default:
      return socketFailure(ESOCKTNOSUPPORT);
  }
  // Close-on-exec, as Winsock handles are not inherited: a child the application starts must not
  // keep the library's connections open.
  const int vFd = sHooks.mSocket(vFamily, vType | SOCK_CLOEXEC, inProtocol);
  if (vFd < 0) return socketFailure();
  return vFd;
}

namespace {
// A blocking connect interrupted by a signal goes on in the background, and calling connect
// again would only report EALREADY. Wait for it to finish and take its outcome from SO_ERROR.
int finishInterruptedConnect(qp_socket_t inSocket) {
  pollfd vPoll = {inSocket, POLLOUT, 0};
  int vReady;
  do {
    vReady = ::poll(&vPoll, 1, -1);
  } while (vReady < 0 && errno == EINTR);
  if (vReady < 0) return -1;
  int vError = 0;
  socklen_t vLen = sizeof vError;
  if (::getsockopt(inSocket, SOL_SOCKET, SO_ERROR, &vError, &vLen) != 0) return -1;
  if (vError != 0) {
    errno = vError;
    return -1;
  }
  return 0;
}
}  // namespace

int qp_connect(qp_socket_t inSocket, const void* inAddress, int inAddressLen) {
  if (inAddress == nullptr || inAddressLen <= 0) return socketFailure(EFAULT);
  int vResult = sHooks.mConnect(inSocket, inAddress, static_cast<unsigned>(inAddressLen));
  if (vResult != 0 && errno == EINTR) vResult = finishInterruptedConnect(inSocket);
  return vResult == 0 ? 0 : socketFailure();
}

int qp_send(qp_socket_t inSocket, const void* inData, int inLen, int inFlags) {
  if (inLen < 0) return socketFailure(EINVAL);
  const int vFlags = QpWsMessageFlags(inFlags);
  if (vFlags < 0) return socketFailure(EOPNOTSUPP);
  long vSent;
  do {
    // MSG_NOSIGNAL: a peer that has gone away must give EPIPE here, not kill the process with
    // SIGPIPE (Winsock never signals).
    vSent = sHooks.mSend(inSocket, inData, static_cast<size_t>(inLen), vFlags | MSG_NOSIGNAL);
  } while (vSent < 0 && errno == EINTR);
  return vSent < 0 ? socketFailure() : static_cast<int>(vSent);
}

int qp_recv(qp_socket_t inSocket, void* outBuf, int inLen, int inFlags) {
  if (inLen < 0) return socketFailure(EINVAL);
  const int vFlags = QpWsMessageFlags(inFlags);
  if (vFlags < 0) return socketFailure(EOPNOTSUPP);
  long vReceived;
  do {
    vReceived = sHooks.mRecv(inSocket, outBuf, static_cast<size_t>(inLen), vFlags);
  } while (vReceived < 0 && errno == EINTR);
  return vReceived < 0 ? socketFailure() : static_cast<int>(vReceived);
}

namespace {

// Winsock option values are 4-byte integers (milliseconds for the time-outs, two 16-bit halves
// for linger); a shorter value is WSAEFAULT there, and EFAULT maps back to it.
bool readValue(const void* inValue, int inValueLen, void* outValue) {
  if (inValue == nullptr || inValueLen < 4) return false;
  std::memcpy(outValue, inValue, 4);
  return true;
}

int setIntOption(qp_socket_t inSocket, int inLevel, int inOption, int inValue) {
  return sHooks.mSetsockopt(inSocket, inLevel, inOption, &inValue, sizeof inValue);
}

int setSocketLevelOption(qp_socket_t inSocket, int inOption, const void* inValue, int inValueLen) {
  int vPosixOption;
  switch (inOption) {
    case QP_WS_SO_DEBUG:
      vPosixOption = SO_DEBUG;
      break;
    case QP_WS_SO_REUSEADDR:
      vPosixOption = SO_REUSEADDR;
      break;
    case QP_WS_SO_KEEPALIVE:
      vPosixOption = SO_KEEPALIVE;
      break;
    case QP_WS_SO_DONTROUTE:
      vPosixOption = SO_DONTROUTE;
      break;
    case QP_WS_SO_BROADCAST:
      vPosixOption = SO_BROADCAST;
      break;
    case QP_WS_SO_OOBINLINE:
      vPosixOption = SO_OOBINLINE;
      break;
    case QP_WS_SO_SNDBUF:
      vPosixOption = SO_SNDBUF;
      break;
    case QP_WS_SO_RCVBUF:
      vPosixOption = SO_RCVBUF;
      break;
    case QP_WS_SO_RCVLOWAT:
      vPosixOption = SO_RCVLOWAT;
      break;
    case QP_WS_SO_SNDTIMEO:
    case QP_WS_SO_RCVTIMEO: {
      std::uint32_t vMillis;
      if (!readValue(inValue, inValueLen, &vMillis)) return failWith(EFAULT);
      // Both sides read a zero time-out as "wait forever", so 0 needs no special case.
      timeval vTimeout;
      vTimeout.tv_sec = static_cast<time_t>(vMillis / 1000);
      vTimeout.tv_usec = static_cast<suseconds_t>((vMillis % 1000) * 1000);
      const int vOption = inOption == QP_WS_SO_SNDTIMEO ? SO_SNDTIMEO : SO_RCVTIMEO;
      return sHooks.mSetsockopt(inSocket, SOL_SOCKET, vOption, &vTimeout, sizeof vTimeout);
    }
    case QP_WS_SO_LINGER: {
      QpWsLinger vWinsock;
      if (!readValue(inValue, inValueLen, &vWinsock)) return failWith(EFAULT);
      linger vLinger;
      vLinger.l_onoff = vWinsock.l_onoff != 0 ? 1 : 0;
      vLinger.l_linger = vWinsock.l_linger;
      return sHooks.mSetsockopt(inSocket, SOL_SOCKET, SO_LINGER, &vLinger, sizeof vLinger);
    }
    case QP_WS_SO_DONTLINGER: {
      int vOff;
      if (!readValue(inValue, inValueLen, &vOff)) return failWith(EFAULT);
      // Winsock keeps the linger time when lingering is turned back on; so does this.
      linger vLinger = {0, 0};
      socklen_t vLen = sizeof vLinger;
      if (::getsockopt(inSocket, SOL_SOCKET, SO_LINGER, &vLinger, &vLen) != 0) return -1;
      vLinger.l_onoff = vOff != 0 ? 0 : 1;
      return sHooks.mSetsockopt(inSocket, SOL_SOCKET, SO_LINGER, &vLinger, sizeof vLinger);
    }
    default:
      return failWith(ENOPROTOOPT);
  }
  int vValue;
  if (!readValue(inValue, inValueLen, &vValue)) return failWith(EFAULT);
  return setIntOption(inSocket, SOL_SOCKET, vPosixOption, vValue);
}

int setTcpLevelOption(qp_socket_t inSocket, int inOption, const void* inValue, int inValueLen) {
  int vValue;
  switch (inOption) {
    case QP_WS_TCP_NODELAY:
      if (!readValue(inValue, inValueLen, &vValue)) return failWith(EFAULT);
      return setIntOption(inSocket, IPPROTO_TCP, TCP_NODELAY, vValue);
    case QP_WS_TCP_MAXSEG:
      if (!readValue(inValue, inValueLen, &vValue)) return failWith(EFAULT);
      return setIntOption(inSocket, IPPROTO_TCP, TCP_MAXSEG, vValue);
    case QP_WS_TCP_MAXRT: {
      // Seconds of unacknowledged retransmission before the connection is dropped. Linux bounds
      // that with TCP_USER_TIMEOUT in milliseconds, where 0 is the system default as here and the
      // largest value it accepts (about 24 days) stands in for Winsock's -1, forever.
      if (!readValue(inValue, inValueLen, &vValue)) return failWith(EFAULT);
      if (vValue < -1) return failWith(EINVAL);
      int vMillis = INT_MAX;
      if (vValue >= 0 && vValue <= INT_MAX / 1000) vMillis = vValue * 1000;
      return setIntOption(inSocket, IPPROTO_TCP, TCP_USER_TIMEOUT, vMillis);
    }
    default:
      return failWith(ENOPROTOOPT);
  }
}

}  // namespace

int qp_setsockopt(qp_socket_t inSocket, int inLevel, int inOption, const void* inValue,
                  int inValueLen) {
  int vResult;
  switch (inLevel) {
    case QP_WS_SOL_SOCKET:
      vResult = setSocketLevelOption(inSocket, inOption, inValue, inValueLen);
      break;
    case QP_WS_IPPROTO_TCP:
      vResult = setTcpLevelOption(inSocket, inOption, inValue, inValueLen);
      break;
    default:
      return socketFailure(ENOPROTOOPT);
  }
  return vResult == 0 ? 0 : socketFailure();
}

// Not retried on EINTR: Linux releases the descriptor even then, and a second close could
// close a descriptor that another thread has just been given.
int qp_closesocket(qp_socket_t inSocket) {
  return sHooks.mClose(inSocket) == 0 ? 0 : socketFailure();
}

unsigned long qp_inet_addr(const char* inDotted) {
  if (inDotted == nullptr) return 0xFFFFFFFFUL;
  return static_cast<unsigned long>(::inet_addr(inDotted));
}

qp_socket_t qp_dupsocket(qp_socket_t inSocket) {
  // Close-on-exec for the same reason as in qp_socket.
  const int vFd = ::fcntl(inSocket, F_DUPFD_CLOEXEC, 0);
  return vFd < 0 ? socketFailure() : vFd;
}

// ================================================================================================
// 8. Dynamic loading
// ================================================================================================
// RTLD_LOCAL: a digest library's symbols must not start resolving other libraries' references.
void* qp_dlopen(const char* inName) {
  return ::dlopen(inName, RTLD_NOW | RTLD_LOCAL);
}
void* qp_dlsym(void* inHandle, const char* inSymbol) {
  return ::dlsym(inHandle, inSymbol);
}

int qp_dlclose(void* inHandle) {
  if (inHandle == nullptr) return -1;
  return ::dlclose(inHandle);
}

// ================================================================================================
// 9. UUIDs
// ================================================================================================
namespace {

// The kernel's generator: getrandom, or /dev/urandom on kernels that predate it.
int readRandom(unsigned char* outBytes, size_t inLen) {
  size_t vDone = 0;
  while (vDone < inLen) {
    const ssize_t vGot = ::getrandom(outBytes + vDone, inLen - vDone, 0);
    if (vGot > 0) {
      vDone += static_cast<size_t>(vGot);
    } else if (vGot < 0 && errno == ENOSYS) {
      break;
    } else if (vGot < 0 && errno != EINTR) {
      return -1;
    }
  }
  if (vDone == inLen) return 0;
  const int vFd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (vFd < 0) return -1;
  while (vDone < inLen) {
    const ssize_t vGot = ::read(vFd, outBytes + vDone, inLen - vDone);
    if (vGot > 0) {
      vDone += static_cast<size_t>(vGot);
    } else if (vGot == 0 || errno != EINTR) {
      const int vErrno = vGot == 0 ? EIO : errno;
      ::close(vFd);
      errno = vErrno;
      return -1;
    }
  }
  ::close(vFd);
  return 0;
}

}  // namespace

int qp_uuid_create(qp_uuid_t* outUuid) {
  if (outUuid == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (readRandom(outUuid->mBytes, sizeof outUuid->mBytes) != 0) return -1;
  // RFC 4122: version 4 (random) in the high nibble of byte 6, variant 10xx in byte 8.
  outUuid->mBytes[6] = static_cast<unsigned char>((outUuid->mBytes[6] & 0x0F) | 0x40);
  outUuid->mBytes[8] = static_cast<unsigned char>((outUuid->mBytes[8] & 0x3F) | 0x80);
  return 0;
}

int qp_uuid_to_string(const qp_uuid_t* inUuid, char** outText) {
  if (outText == nullptr) {
    errno = EINVAL;
    return -1;
  }
  *outText = nullptr;
  if (inUuid == nullptr) {
    errno = EINVAL;
    return -1;
  }
  static const char kHex[] = "0123456789abcdef";
  char* vText = static_cast<char*>(qp_malloc(37));
  if (vText == nullptr) return -1;
  char* vOut = vText;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *vOut++ = '-';
    *vOut++ = kHex[inUuid->mBytes[i] >> 4];
    *vOut++ = kHex[inUuid->mBytes[i] & 0x0F];
  }
  *vOut = 0;
  *outText = vText;
  return 0;
}

void qp_uuid_string_free(char* inText) {
  qp_free(inText);
}

// ---- Address space -----------------------------------------------------------------------------

#if !defined(MAP_FIXED_NOREPLACE)
#define MAP_FIXED_NOREPLACE 0x100000  // older C library headers lack the name, not the kernel
#endif

void* qp_reserve_low_address_space(size_t inSize) {
  const uint64_t kLimit = uint64_t{1} << 32;
  const int kFlags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
  if (inSize == 0 || inSize >= kLimit) {
    errno = ENOMEM;
    return nullptr;
  }
  auto vBelowLimit = [&](void* inStart) {
    return reinterpret_cast<uintptr_t>(inStart) + static_cast<uint64_t>(inSize) <= kLimit;
  };
  if (sizeof(void*) == 4) {
    void* vStart = mmap(nullptr, inSize, PROT_NONE, kFlags, -1, 0);
    return vStart == MAP_FAILED ? nullptr : vStart;
  }
#if defined(MAP_32BIT)
  // The kernel's own search of the low 2 GiB, where the platform offers one.
  void* vLow = mmap(nullptr, inSize, PROT_NONE, kFlags | MAP_32BIT, -1, 0);
  if (vLow != MAP_FAILED) {
    if (vBelowLimit(vLow)) return vLow;
    munmap(vLow, inSize);
  }
#endif
  // Otherwise probe fixed addresses from 1 GiB up. NOREPLACE refuses a range that overlaps a
  // mapping instead of replacing it; a kernel that does not know the flag takes the address as a
  // mere hint, so a result elsewhere is given back.
  const uintptr_t kStep = uintptr_t{1} << 26;
  for (uintptr_t vHint = uintptr_t{1} << 30; vHint + inSize <= kLimit; vHint += kStep) {
    void* vStart = mmap(reinterpret_cast<void*>(vHint), inSize, PROT_NONE,
                        kFlags | MAP_FIXED_NOREPLACE, -1, 0);
    if (vStart == MAP_FAILED) continue;
    if (vStart == reinterpret_cast<void*>(vHint)) return vStart;
    munmap(vStart, inSize);
  }
  errno = ENOMEM;
  return nullptr;
}
