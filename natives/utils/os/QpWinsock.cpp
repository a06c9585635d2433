// QpWinsock.cpp - Winsock's start-up, last error and error numbers over POSIX sockets, and the
// direct calls of the transport (QpWinsock.h). The one errno-to-Winsock mapping of the library
// is here; qpos32's socket functions use it too.
#include "QpWinsock.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "QpOsHooks.h"

namespace {

// Outstanding successful WSAStartup calls, process-wide.
std::atomic<int> sStartCount{0};
// The calling thread's last socket error. Trivially constructed, so reading it costs no
// thread-local initialisation check and works during thread teardown.
thread_local int sLastError = 0;

constexpr unsigned short kHighVersion = 0x0202;  // 2.2: low byte major, high byte minor

int failWithLastError(int inError) {
  sLastError = inError;
  return -1;
}

int failWithErrno() {
  const int vErrno = errno;
  sLastError = QpWsErrorFromErrno(vErrno);
  errno = vErrno;
  return -1;
}

}  // namespace

int WSAStartup(unsigned short inVersion, WSADATA* outData) {
  if (outData == nullptr) return WSAEFAULT;
  const unsigned vMajor = inVersion & 0xFF;
  const unsigned vMinor = inVersion >> 8;
  if (vMajor < 1) return WSAVERNOTSUPPORTED;
  // A request above what is offered is granted the highest version, as Winsock does; the caller
  // then checks wVersion.
  const bool vAbove = vMajor > 2 || (vMajor == 2 && vMinor > 2);
  outData->wVersion = vAbove ? kHighVersion : inVersion;
  outData->wHighVersion = kHighVersion;
  std::strncpy(outData->szDescription, "POSIX sockets", sizeof outData->szDescription - 1);
  outData->szDescription[sizeof outData->szDescription - 1] = 0;
  std::strncpy(outData->szSystemStatus, "Running", sizeof outData->szSystemStatus - 1);
  outData->szSystemStatus[sizeof outData->szSystemStatus - 1] = 0;
  sStartCount.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

int WSACleanup() {
  int vCount = sStartCount.load(std::memory_order_relaxed);
  // Never below zero, even when two threads clean up the last start-up at once.
  do {
    if (vCount <= 0) return failWithLastError(WSANOTINITIALISED);
  } while (!sStartCount.compare_exchange_weak(vCount, vCount - 1, std::memory_order_relaxed));
  return 0;
}

int WSAGetLastError() {
  return sLastError;
}
void WSASetLastError(int inError) {
  sLastError = inError;
}

int QpWsErrorFromErrno(int inErrno) {
  switch (inErrno) {
    case 0:
      return 0;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
      return WSAETIMEDOUT;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case ECONNRESET:
      return WSAECONNRESET;
    case EPIPE:
      return WSAECONNRESET;
    case EINTR:
      return WSAEINTR;
    case EBADF:
      return WSAEBADF;
    case EACCES:
      return WSAEACCES;
    case EPERM:
      return WSAEACCES;
    case EFAULT:
      return WSAEFAULT;
    case EINVAL:
      return WSAEINVAL;
    case EMFILE:
      return WSAEMFILE;
    case ENFILE:
      return WSAEMFILE;
    case EINPROGRESS:
      return WSAEINPROGRESS;
    case EALREADY:
      return WSAEALREADY;
    case ENOTSOCK:
      return WSAENOTSOCK;
    case EDESTADDRREQ:
      return WSAEDESTADDRREQ;
    case EMSGSIZE:
      return WSAEMSGSIZE;
    case EPROTOTYPE:
      return WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return WSAESOCKTNOSUPPORT;
#if EOPNOTSUPP != ENOTSUP
    case ENOTSUP:
#endif
    case EOPNOTSUPP:
      return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return WSAENETDOWN;
    case ENETUNREACH:
      return WSAENETUNREACH;
    case ENETRESET:
      return WSAENETRESET;
    case ECONNABORTED:
      return WSAECONNABORTED;
    case ENOBUFS:
      return WSAENOBUFS;
    case ENOMEM:
      return WSAENOBUFS;
    case EISCONN:
      return WSAEISCONN;
    case ENOTCONN:
      return WSAENOTCONN;
    case ESHUTDOWN:
      return WSAESHUTDOWN;
    case ETOOMANYREFS:
      return WSAETOOMANYREFS;
    case ELOOP:
      return WSAELOOP;
    case ENAMETOOLONG:
      return WSAENAMETOOLONG;
    case EHOSTDOWN:
      return WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    case ENOTEMPTY:
      return WSAENOTEMPTY;
    case EUSERS:
      return WSAEUSERS;
    case EDQUOT:
      return WSAEDQUOT;
    case ESTALE:
      return WSAESTALE;
    case EREMOTE:
      return WSAEREMOTE;
    default:
      return QP_WS_ERRNO_BASE + inErrno;
  }
}

int QpWsMessageFlags(int inFlags) {
  constexpr int kKnown = QP_WS_MSG_OOB | QP_WS_MSG_PEEK | QP_WS_MSG_DONTROUTE | QP_WS_MSG_WAITALL;
  if ((inFlags & ~kKnown) != 0) return -1;
  int vFlags = 0;
  if (inFlags & QP_WS_MSG_OOB) vFlags |= MSG_OOB;
  if (inFlags & QP_WS_MSG_PEEK) vFlags |= MSG_PEEK;
  if (inFlags & QP_WS_MSG_DONTROUTE) vFlags |= MSG_DONTROUTE;
  if (inFlags & QP_WS_MSG_WAITALL) vFlags |= MSG_WAITALL;
  return vFlags;
}

int QpWsSendTo(qp_socket_t inSocket, const void* inData, int inLen, int inFlags, const void* inTo,
               int inToLen) {
  if (inLen < 0 || inToLen < 0) return failWithLastError(WSAEINVAL);
  const int vFlags = QpWsMessageFlags(inFlags);
  if (vFlags < 0) return failWithLastError(WSAEOPNOTSUPP);
  const QpOsHooks vHooks = qpOsGetHooks();
  long vSent;
  do {
    // MSG_NOSIGNAL for the same reason as in qp_send: never SIGPIPE the application.
    vSent = vHooks.mSendTo(inSocket, inData, static_cast<size_t>(inLen), vFlags | MSG_NOSIGNAL,
                           inTo, static_cast<unsigned>(inToLen));
  } while (vSent < 0 && errno == EINTR);
  return vSent < 0 ? failWithErrno() : static_cast<int>(vSent);
}

int QpWsRecvFrom(qp_socket_t inSocket, void* outBuf, int inLen, int inFlags, void* outFrom,
                 int* ioFromLen) {
  if (inLen < 0) return failWithLastError(WSAEINVAL);
  if ((outFrom == nullptr) != (ioFromLen == nullptr) || (ioFromLen != nullptr && *ioFromLen < 0))
    return failWithLastError(WSAEFAULT);
  const int vFlags = QpWsMessageFlags(inFlags);
  if (vFlags < 0) return failWithLastError(WSAEOPNOTSUPP);
  const QpOsHooks vHooks = qpOsGetHooks();
  long vReceived;
  unsigned vFromLen = ioFromLen != nullptr ? static_cast<unsigned>(*ioFromLen) : 0;
  do {
    vReceived = vHooks.mRecvFrom(inSocket, outBuf, static_cast<size_t>(inLen), vFlags, outFrom,
                                 ioFromLen != nullptr ? &vFromLen : nullptr);
  } while (vReceived < 0 && errno == EINTR);
  if (vReceived < 0) return failWithErrno();
  if (ioFromLen != nullptr) *ioFromLen = static_cast<int>(vFromLen);
  return static_cast<int>(vReceived);
}

int QpWsGetHostName(char* outName, int inLen) {
  if (outName == nullptr || inLen <= 0) return failWithLastError(WSAEFAULT);
  // Host names are at most 255 bytes (and 64 on Linux); one more keeps the NUL.
  char vName[257];
  if (::gethostname(vName, sizeof vName) != 0) {
    outName[0] = 0;
    return failWithErrno();
  }
  vName[sizeof vName - 1] = 0;
  const size_t vLen = std::strlen(vName);
  if (vLen >= static_cast<size_t>(inLen)) {
    outName[0] = 0;
    return failWithLastError(WSAEFAULT);
  }
  std::memcpy(outName, vName, vLen + 1);
  return 0;
}

namespace {

// getaddrinfo reports through its own EAI_ codes; Winsock's getaddrinfo reports these numbers.
int errorFromEai(int inEai, int inErrno) {
  switch (inEai) {
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_BADFLAGS:
      return WSAEINVAL;
    case EAI_FAIL:
      return WSANO_RECOVERY;
    case EAI_FAMILY:
      return WSAEAFNOSUPPORT;
    case EAI_MEMORY:
      return WSA_NOT_ENOUGH_MEMORY;
    case EAI_NONAME:
      return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return WSANO_DATA;
#endif
    case EAI_SERVICE:
      return WSATYPE_NOT_FOUND;
    case EAI_SOCKTYPE:
      return WSAESOCKTNOSUPPORT;
    case EAI_SYSTEM:
      return inErrno != 0 ? QpWsErrorFromErrno(inErrno) : WSANO_RECOVERY;
    default:
      return WSANO_RECOVERY;
  }
}

}  // namespace

int QpWsGetAddrInfoIPv4(const char* inHost, unsigned long* outAddress) {
  if (inHost == nullptr || outAddress == nullptr) {
    sLastError = WSAEINVAL;
    return WSAEINVAL;
  }
  // IPv4 only, and one entry per address rather than one per socket type: the library connects
  // IPv4 sockets, so the first IPv4 entry is all it takes.
  addrinfo vHints;
  std::memset(&vHints, 0, sizeof vHints);
  vHints.ai_family = AF_INET;
  vHints.ai_socktype = SOCK_STREAM;
  addrinfo* vResult = nullptr;
  errno = 0;
  const QpOsHooks vHooks = qpOsGetHooks();
  const int vEai =
      vHooks.mGetAddrInfo(inHost, nullptr, &vHints, reinterpret_cast<void**>(&vResult));
  if (vEai != 0) {
    sLastError = errorFromEai(vEai, errno);
    return sLastError;
  }
  int vError = WSANO_DATA;
  for (const addrinfo* vEntry = vResult; vEntry != nullptr; vEntry = vEntry->ai_next) {
    if (vEntry->ai_family == AF_INET && vEntry->ai_addr != nullptr) {
      sockaddr_in vAddress;
      std::memcpy(&vAddress, vEntry->ai_addr, sizeof vAddress);
      *outAddress = vAddress.sin_addr.s_addr;
      vError = 0;
      break;
    }
  }
  vHooks.mFreeAddrInfo(vResult);
  sLastError = vError;
  return vError;
}
