// QpWinsock.h - the few Winsock calls the library makes, as a thin shim over POSIX sockets.
//
// The transport code is written against Winsock's model: a counted start-up and clean-up, a
// per-thread last socket error read with WSAGetLastError(), and Winsock's numbers for levels,
// options and errors. This header gives that model on POSIX without bringing any platform header
// to its includers, so a file may include it next to <sys/socket.h> without a clash: level and
// option numbers carry the prefix QP_WS_, and the error numbers keep their Winsock names (WSAE...),
// which POSIX does not define.
//
// Thread safety: every function may be called from any thread. The start-up count is
// process-wide and atomic; the last error is per thread, so one thread's failure never shows up
// in another thread's WSAGetLastError().
#ifndef QP_WINSOCK_H
#define QP_WINSOCK_H

#include <cstddef>
#include "QpTypes.h"

#include "qpos32.h"

// ---- Start-up and clean-up ---------------------------------------------------------------------
struct WSADATA {
  unsigned short wVersion;      // the version the caller will use (low byte major, high minor)
  unsigned short wHighVersion;  // the highest version this shim offers (2.2)
  char szDescription[257];      // a NUL-terminated description of the implementation
  char szSystemStatus[129];     // a NUL-terminated status text
};

// Counted: every call that returns 0 must be matched by one WSACleanup(). Returns 0 on success,
// or the error itself (WSAVERNOTSUPPORTED below version 1.0 requested, WSAEFAULT for a null
// outData); WSAStartup does not touch the last error, as on Winsock.
QP_EXPORT int WSAStartup(unsigned short inVersion, WSADATA* outData);
// 0 on success; -1 with WSANOTINITIALISED as the last error when no start-up is outstanding.
QP_EXPORT int WSACleanup();

// ---- The calling thread's last socket error ----------------------------------------------------
QP_EXPORT int WSAGetLastError();
QP_EXPORT void WSASetLastError(int inError);

// The Winsock number for an errno value (0 stays 0). EAGAIN/EWOULDBLOCK become WSAETIMEDOUT: the
// library's sockets are blocking, so those only come from an expired SO_RCVTIMEO/SO_SNDTIMEO,
// which Winsock reports as a time-out. EPIPE becomes WSAECONNRESET (the peer dropped the
// connection) and ENOMEM WSAENOBUFS. A value with no Winsock counterpart becomes
// QP_WS_ERRNO_BASE + errno: 10000 + errno would collide with real Winsock numbers (Linux EIDRM is
// 43, and 10043 is WSAEPROTONOSUPPORT), while this range keeps the original errno readable.
QP_EXPORT int QpWsErrorFromErrno(int inErrno);

// The host's flags for Winsock send/receive flags (QP_WS_MSG_...), or -1 when inFlags has a bit
// this shim does not know (the caller then fails with WSAEOPNOTSUPP, as Winsock would). The
// result never includes MSG_NOSIGNAL; senders add it.
QP_EXPORT int QpWsMessageFlags(int inFlags);

// ---- Calls the transport makes directly --------------------------------------------------------
// Each returns what its POSIX namesake returns; on failure it is -1 and the last error is set.
// inTo/outFrom are socket addresses in the host's struct sockaddr layout (16 bytes for IPv4).
// QpWsSendTo never raises SIGPIPE. EINTR is retried.
QP_EXPORT int QpWsSendTo(qp_socket_t inSocket, const void* inData, int inLen, int inFlags,
                         const void* inTo, int inToLen);
// *ioFromLen: the capacity of outFrom on entry, the length of the sender's address on return.
QP_EXPORT int QpWsRecvFrom(qp_socket_t inSocket, void* outBuf, int inLen, int inFlags,
                           void* outFrom, int* ioFromLen);
// 0 on success. -1 when the name cannot be read or does not fit in inLen bytes with its NUL
// (WSAEFAULT, as on Winsock); outName then holds an empty text when inLen allows.
QP_EXPORT int QpWsGetHostName(char* outName, int inLen);
// Resolves a host name with getaddrinfo and gives the IPv4 address of the first IPv4 entry, in
// network order. Returns 0, or the Winsock error (also left as the last error): WSAHOST_NOT_FOUND,
// WSATRY_AGAIN, WSANO_RECOVERY, WSANO_DATA (the name has no IPv4 address), WSAENOBUFS, ...
QP_EXPORT int QpWsGetAddrInfoIPv4(const char* inHost, unsigned long* outAddress);

// ---- IPv4 socket addresses ---------------------------------------------------------------------
// Winsock's SOCKADDR_IN in plain types: 16 bytes, the family in host order, the port and the
// address in network order, the same bytes as the host's struct sockaddr_in. Fill the port with
// QpWsSetPort rather than a byte swap of one's own.
struct QpWsSockAddrIn {
  unsigned short sin_family;  // QP_WS_AF_INET
  unsigned char sin_port[2];  // network order (big-endian)
  unsigned char sin_addr[4];  // network order, as qp_inet_addr returns it in memory
  unsigned char sin_zero[8];
};
static_assert(sizeof(QpWsSockAddrIn) == 16, "an IPv4 socket address is 16 bytes");

inline void QpWsSetPort(QpWsSockAddrIn& ioAddress, unsigned short inPort) {
  ioAddress.sin_port[0] = static_cast<unsigned char>(inPort >> 8);
  ioAddress.sin_port[1] = static_cast<unsigned char>(inPort & 0xFF);
}

// What qp_inet_addr and name resolution give for "no address", spelled exactly as <netinet/in.h>
// spells it, so that the two definitions agree whichever header comes first.
typedef unsigned int in_addr_t;
#ifndef INADDR_NONE
// clang-format off
#define INADDR_NONE ((in_addr_t) 0xffffffff)
// clang-format on
#endif

// ---- Levels, options, families and types (Winsock numbers; see qp_setsockopt) ------------------
constexpr int QP_WS_AF_UNSPEC = 0;
constexpr int QP_WS_AF_INET = 2;
constexpr int QP_WS_AF_INET6 = 23;
constexpr int QP_WS_SOCK_STREAM = 1;
constexpr int QP_WS_SOCK_DGRAM = 2;
constexpr int QP_WS_SOCK_RAW = 3;
constexpr int QP_WS_IPPROTO_TCP = 6;
constexpr int QP_WS_IPPROTO_UDP = 17;

constexpr int QP_WS_MSG_OOB = 0x1;
constexpr int QP_WS_MSG_PEEK = 0x2;
constexpr int QP_WS_MSG_DONTROUTE = 0x4;
constexpr int QP_WS_MSG_WAITALL = 0x8;

constexpr int QP_WS_SOL_SOCKET = 0xFFFF;  // 65535
constexpr int QP_WS_SO_DEBUG = 0x0001;
constexpr int QP_WS_SO_REUSEADDR = 0x0004;
constexpr int QP_WS_SO_KEEPALIVE = 0x0008;
constexpr int QP_WS_SO_DONTROUTE = 0x0010;
constexpr int QP_WS_SO_BROADCAST = 0x0020;
constexpr int QP_WS_SO_LINGER = 0x0080;       // value: QpWsLinger
constexpr int QP_WS_SO_DONTLINGER = ~0x0080;  // value: int, non-zero turns lingering off
constexpr int QP_WS_SO_OOBINLINE = 0x0100;
constexpr int QP_WS_SO_SNDBUF = 0x1001;    // 4097
constexpr int QP_WS_SO_RCVBUF = 0x1002;    // 4098
constexpr int QP_WS_SO_RCVLOWAT = 0x1004;  // 4100
constexpr int QP_WS_SO_SNDTIMEO = 0x1005;  // 4101, value: 32-bit milliseconds, 0 waits forever
constexpr int QP_WS_SO_RCVTIMEO = 0x1006;  // 4102, value: 32-bit milliseconds, 0 waits forever

constexpr int QP_WS_TCP_NODELAY = 1;
constexpr int QP_WS_TCP_MAXSEG = 4;  // value: int, bytes
// value: int seconds before an unacknowledged connection is dropped; 0 the system default,
// -1 practically forever (about 24 days, the most the host accepts).
constexpr int QP_WS_TCP_MAXRT = 5;

// Winsock's linger, two 16-bit fields (4 bytes), unlike POSIX's two ints.
struct QpWsLinger {
  unsigned short l_onoff;
  unsigned short l_linger;  // seconds
};

// ---- Error numbers -----------------------------------------------------------------------------
constexpr int WSA_NOT_ENOUGH_MEMORY = 8;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSATYPE_NOT_FOUND = 10109;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// errno values without a Winsock counterpart are reported as this base plus the errno.
constexpr int QP_WS_ERRNO_BASE = 20000;

#endif  // QP_WINSOCK_H
