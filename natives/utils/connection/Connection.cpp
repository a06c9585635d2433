// Connection.cpp - connection bookkeeping and the IPv4 stream and datagram sockets
// (Connection.h). Every platform call goes through the OS layer and its Winsock shim.
#include "Connection.h"

#include <cstdint>
#include <memory>

#include "QpException.h"
#include "QpLogging.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "QpUtils.h"
#include "StMemory.h"
#include "QpFactoryInternal.h"

namespace {

// Failures are logged under this name, whatever the build tree's path to this file.
const char kSource[] = "natives/utils/connection/Connection";

const verbosity_level_t kWarn = 2;
const verbosity_level_t kDebug = 4;

const int kStream = QP_WS_SOCK_STREAM;
const int kToStringSize = 128;  // room for QpSocket::toString

// The assertion path: QpSDKInternalException with the condition's text as message.
void check(bool inHolds, long inLine, const char* inCondition) {
  if (!inHolds) QpSDKInternalException::Throw(kSource, inLine, inCondition);
}
#define QP_SOCKET_CHECK(cond, text) check((cond), __LINE__, text)

qp_socket_t socketOf(void* inHandle) {
  return static_cast<qp_socket_t>(reinterpret_cast<std::intptr_t>(inHandle));
}

// Started once and kept until the library is unloaded.
struct WinsockCleanup {
  ~WinsockCleanup() {
    if (__atomic_load_n(&QpSocket::sInited, __ATOMIC_ACQUIRE)) WSACleanup();
  }
} sWinsockCleanup;

void startWinsock() {
  // Two threads may both start the library; the platform counts the starts.
  if (__atomic_load_n(&QpSocket::sInited, __ATOMIC_ACQUIRE)) return;
  WSADATA vData;
  const int vResult = WSAStartup(0x0101, &vData);
  if (vResult != 0) {
    qpRaise<QpNoSocketAvailException>(kSource, __LINE__, vResult, "WSA Startup failed");
  }
  __atomic_store_n(&QpSocket::sInited, static_cast<unsigned char>(1), __ATOMIC_RELEASE);
}

// Raises QpSocketException with inError and a message naming the host (at most 255 bytes).
[[noreturn]] void raiseForHost(long inLine, int inError, const char* inFormat, const char* inHost) {
  char vMessage[400];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  qp_snprintf(vMessage, sizeof vMessage, inFormat, inHost);
#pragma GCC diagnostic pop
  qpRaise<QpSocketException>(kSource, inLine, inError, vMessage);
}

}  // namespace

// ================================================================================================
// QpConnection
// ================================================================================================

QpMutex QpConnection::sHostLock;

QpConnection::QpConnection()
    : mUsed(0),
      mOpen(0),
      mLocked(0),
      mBad(0),
      mLastUsedTime(kNeverUsed),
      mTimeout(120000),
      mDebugMode(QpUtils::GetSocketOptionDebugMode()),
      mTCPNoDelay(QpUtils::GetSocketOptionTCPNoDelay()),
      mReceiveBufferSize(QpUtils::GetSocketOptionReceiveBufferSize()),
      mSendBufferSize(QpUtils::GetSocketOptionSendBufferSize()),
      mTCPMaxRT(QpUtils::GetSocketOptionTCPMaxRT()),
      mTCPMaxSegSize(QpUtils::GetSocketOptionTCPMaxSegSize()) {
  const int kDefault = QpUtils::kDefaultSocketOption;
  mApplyDebugMode = mDebugMode != kDefault ? 1 : 0;
  mApplyTCPNoDelay = 1;
  mApplyReceiveBufferSize = mReceiveBufferSize != kDefault ? 1 : 0;
  mApplySendBufferSize = mSendBufferSize != kDefault ? 1 : 0;
  mApplyTCPMaxRT = mTCPMaxRT != kDefault ? 1 : 0;
  mApplyTCPMaxSegSize = mTCPMaxSegSize != kDefault ? 1 : 0;
}

QpConnection::~QpConnection() {}

QpConnection& QpConnection::operator=(const QpConnection& inOther) {
  if (this == &inOther) return *this;
  // The two texts first: they are all that can fail, and the user copy is staged so that a
  // failure of either leaves this connection as it was.
  QpStringBuffer vUser(inOther.mAuthenticatedUser);
  mAddress = inOther.mAddress;
  mAuthenticatedUser = vUser;
  mUsed = inOther.mUsed;
  mOpen = inOther.mOpen;
  mLocked = inOther.mLocked;
  mBad = inOther.mBad;
  mLastUsedTime = inOther.mLastUsedTime;
  mTimeout = inOther.mTimeout;
  mDebugMode = inOther.mDebugMode;
  mTCPNoDelay = inOther.mTCPNoDelay;
  mReceiveBufferSize = inOther.mReceiveBufferSize;
  mSendBufferSize = inOther.mSendBufferSize;
  mTCPMaxRT = inOther.mTCPMaxRT;
  mTCPMaxSegSize = inOther.mTCPMaxSegSize;
  mApplyDebugMode = inOther.mApplyDebugMode;
  mApplyTCPNoDelay = inOther.mApplyTCPNoDelay;
  mApplyReceiveBufferSize = inOther.mApplyReceiveBufferSize;
  mApplySendBufferSize = inOther.mApplySendBufferSize;
  mApplyTCPMaxRT = inOther.mApplyTCPMaxRT;
  mApplyTCPMaxSegSize = inOther.mApplyTCPMaxSegSize;
  return *this;
}

void QpConnection::lock() {
  if (isLocked()) QpSDKInternalException::Throw(kSource, 60, "!isLocked()");
  mLocked = 1;
}

void QpConnection::unlock() {
  if (!isLocked()) QpSDKInternalException::Throw(kSource, 68, "isLocked()");
  mLocked = 0;
}

void QpConnection::setTimeout(int inTimeoutMillis) {
  if (inTimeoutMillis < 0) QpSDKInternalException::Throw(kSource, 91, "inTimeoutMillis >= 0");
  mTimeout = inTimeoutMillis == 0 ? 1 : inTimeoutMillis;
}

unsigned char QpConnection::isExpired(QpLong inMaxIdleSeconds) const {
  if (inMaxIdleSeconds == 0) return 1;
  // In 128 bits: the never-used mark plus a large idle time must not wrap into the past.
  const __int128 vDeadline = static_cast<__int128>(mLastUsedTime) + inMaxIdleSeconds;
  return vDeadline < qp_time(nullptr) ? 1 : 0;
}

char* QpConnection::toString(char* out) {
  qp_strcpy(out, "Connection ");
  qp_strcat(out, mOpen ? "open," : "closed,");
  qp_strcat(out, mLocked ? "locked" : "unlocked");
  qp_strcat(out, mBad ? " marked(BAD)" : " marked(GOOD)");
  return out;
}

void QpConnection::setAuthenticatedUser(QpStringBuffer& inUser) {
  mAuthenticatedUser = inUser;
}

unsigned char QpConnection::checkUser(QpStringBuffer& inUser) const {
  return inUser.equals(mAuthenticatedUser) ? 1 : 0;
}

// ================================================================================================
// QpSocket
// ================================================================================================

unsigned char QpSocket::sInited = 0;

QpSocket::QpSocket() : QpConnection(), mSocket(QP_INVALID_SOCKET) {}

QpSocket::~QpSocket() {
  if (mSocket == QP_INVALID_SOCKET) return;
  try {
    QpSocket::close();
  } catch (QpException&) {
    // A destructor has nobody to report to; the handle is released either way.
  }
}

QpSocket& QpSocket::operator=(const QpSocket& inOther) {
  if (this == &inOther) return *this;
  // Sharing one handle would let either object close it under the other, or close a number the
  // system has meanwhile given to someone else. Each object owns a duplicate instead.
  qp_socket_t vHandle = QP_INVALID_SOCKET;
  if (inOther.mSocket != QP_INVALID_SOCKET) {
    vHandle = qp_dupsocket(inOther.mSocket);
    if (vHandle == QP_INVALID_SOCKET) {
      qpRaise<QpSocketException>(kSource, __LINE__, GetLastError(), nullptr, "QpSocket::operator=");
    }
  }
  try {
    QpConnection::operator=(inOther);
  } catch (QpException&) {
    if (vHandle != QP_INVALID_SOCKET) qp_closesocket(vHandle);
    throw;
  }
  if (mSocket != QP_INVALID_SOCKET) qp_closesocket(mSocket);
  mSocket = vHandle;
  return *this;
}

int QpSocket::GetLastError() {
  return WSAGetLastError();
}

void QpSocket::open(const QpAddress& address, int type) {
  try {
    startWinsock();
    QP_SOCKET_CHECK(!isOpen(), "!isOpen()");
    StMalloc vHostText(address.GetAddress());
    const char* vHost = static_cast<const char*>(vHostText.Get());
    const int vPort = address.GetPort();

    unsigned long vIp = qp_inet_addr(vHost);
    if (vIp == INADDR_NONE) {
      int vResult;
      {
        StCriticalSection vLock(&sHostLock);
        vResult = QpWsGetAddrInfoIPv4(vHost, &vIp);  // also the thread's last socket error
      }
      // The system error is EINVAL's number: the name, not the network, is what failed.
      if (vResult != 0) raiseForHost(__LINE__, 22, "Unable to resolve host name %s", vHost);
    }
    QpWsSockAddrIn vTarget = {};
    vTarget.sin_family = QP_WS_AF_INET;
    QpWsSetPort(vTarget, static_cast<unsigned short>(vPort));
    const std::uint32_t vIp32 = static_cast<std::uint32_t>(vIp);
    qp_memcpy(vTarget.sin_addr, &vIp32, sizeof vTarget.sin_addr);

    mSocket = qp_socket(QP_WS_AF_INET, type, 0);
    if (mSocket == QP_INVALID_SOCKET) {
      raiseForHost(__LINE__, GetLastError(), "Unable to open socket for %s", vHost);
    }
    SetSocketOptions();
    if (qp_connect(mSocket, &vTarget, sizeof vTarget) != 0) {
      const int vError = GetLastError();
      try {
        close();
      } catch (QpException&) {
        // The connect failure is the one to report.
      }
      raiseForHost(__LINE__, vError, "Connect failed for %s", vHost);
    }
    mOpen = 1;
    mLastUsedTime = qp_time(nullptr);
    mAddress = address;
    if (QpLogging::isDebugLogging()) {
      char vText[kToStringSize];
      QpLogging::Log(kDebug, POOL, "Open %s Type(%ld) for %s", toString(vText),
                     static_cast<long>(type), vHost);
    }
  } catch (QpException& e) {
    e.addTrace("QpSocket.open(%s,%s)", address.toStringConst(), QpStringConversion::toString(type));
    try {
      close();
    } catch (QpException&) {
      // The original failure goes on; the handle is released either way.
    }
    throw;
  }
}

void QpSocket::accept(void* handle, int type) {
  try {
    startWinsock();
    QP_SOCKET_CHECK(!isOpen(), "!isOpen()");
    mSocket = socketOf(handle);
    SetSocketOptions();
    mOpen = 1;
    mLastUsedTime = qp_time(nullptr);
    if (QpLogging::isDebugLogging()) QpLogging::Log(kDebug, POOL, "accept");
  } catch (QpException& e) {
    e.addTrace("QpSocket.accept()");
    try {
      close();
    } catch (QpException&) {
    }
    throw;
  }
  (void)type;  // the handle already has its type
}

namespace {

void applyOption(qp_socket_t inSocket, int inLevel, int inOption, int inValue,
                 const char* inOperation, const char* inName) {
  if (qp_setsockopt(inSocket, inLevel, inOption, &inValue, 4) == 0) return;
  if (QpLogging::isDebugLogging()) {
    QpLogging::Log(kWarn, NET, "%s : Error setting socket option %s to %d", inOperation, inName,
                   inValue);
  }
}

}  // namespace

void QpSocket::SetSocketOptions() {
  if (mSocket == QP_INVALID_SOCKET) return;
  const char* kOperation = "QpSocket::open()";
  applyOption(mSocket, QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, mTimeout, kOperation, "SO_RCVTIMEO");
  applyOption(mSocket, QP_WS_SOL_SOCKET, QP_WS_SO_SNDTIMEO, mTimeout, kOperation, "SO_SNDTIMEO");
  if (mApplyDebugMode) {
    applyOption(mSocket, QP_WS_SOL_SOCKET, QP_WS_SO_DEBUG, mDebugMode, kOperation, "SO_DEBUG");
  }
  if (mApplyReceiveBufferSize) {
    applyOption(mSocket, QP_WS_SOL_SOCKET, QP_WS_SO_RCVBUF, mReceiveBufferSize, kOperation,
                "SO_RCVBUF");
  }
  if (mApplySendBufferSize) {
    applyOption(mSocket, QP_WS_SOL_SOCKET, QP_WS_SO_SNDBUF, mSendBufferSize, kOperation,
                "SO_SNDBUF");
  }
}

int QpSocket::send(void* inData, int inLen) {
  QP_TRACE_BEGIN
  QP_SOCKET_CHECK(isOpen() && (mSocket != QP_INVALID_SOCKET),
                  "isOpen() && (mSocket != QP_INVALID_SOCKET)");
  QP_SOCKET_CHECK(inData != nullptr, "inData != NULL");
  if (inLen == 0) return 0;
  const char* vNext = static_cast<const char*>(inData);
  int vRemaining = inLen;
  do {  // a negative length reaches qp_send, which refuses it
    int vSent = qp_send(mSocket, vNext, vRemaining, 0);
    if (vSent == 0) WSASetLastError(WSAECONNRESET);  // nothing moved: it never would
    if (vSent <= 0) {
      qpRaise<QpSocketException>(kSource, __LINE__, GetLastError(),
                                 "Error received from send(...)");
    }
    if (vSent > vRemaining) vSent = vRemaining;
    vNext += vSent;
    vRemaining -= vSent;
  } while (vRemaining > 0);
  mLastUsedTime = qp_time(nullptr);
  mUsed = 1;
  return inLen;
  QP_TRACE_END("QpSocket.send")
}

void QpSocket::close() {
  if (QpLogging::isDebugLogging()) {
    char vText[kToStringSize];
    QpLogging::Log(kDebug, POOL, "Close %s", toString(vText));
  }
  if (mSocket != QP_INVALID_SOCKET) {
    const int vResult = qp_closesocket(mSocket);
    // Closed whatever the result: the descriptor is gone even when close reports an error.
    mSocket = QP_INVALID_SOCKET;
    mOpen = 0;
    if (vResult != 0) {
      qpRaise<QpSocketException>(kSource, __LINE__, GetLastError(), nullptr, "QpSocket::close()");
    }
  }
  mAddress.clear();
}

void QpSocket::setTimeout(int inTimeoutMillis) {
  QP_TRACE_BEGIN
  QpConnection::setTimeout(inTimeoutMillis);
  if (isOpen()) {
    QP_SOCKET_CHECK(mSocket != QP_INVALID_SOCKET, "mSocket != QP_INVALID_SOCKET");
    const int vTimeout = mTimeout;
    if (qp_setsockopt(mSocket, QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, &vTimeout, 4) != 0) {
      qpRaise<QpSocketException>(kSource, __LINE__, GetLastError(), "Set timeout failed");
    }
  }
  QP_TRACE_END("QpSocket.setTimeout(%s)", QpStringConversion::toString(inTimeoutMillis))
}

char* QpSocket::toString(char* out) {
  char vConnection[40];
  QpConnection::toString(vConnection);
  qp_snprintf(out, 96, "QpSocket (mSocket=%ld) %s", static_cast<long>(mSocket), vConnection);
  return out;
}

// ================================================================================================
// QpStreamSocket
// ================================================================================================

QpStreamSocket::QpStreamSocket() : QpSocket() {}

QpStreamSocket::~QpStreamSocket() {
  if (mSocket != QP_INVALID_SOCKET) close();
}

QpStreamSocket& QpStreamSocket::operator=(const QpStreamSocket& inOther) {
  QpSocket::operator=(inOther);
  return *this;
}

QpStreamSocket* QpStreamSocket::createNEWInstance() {
  return qpNewOrNull<QpStreamSocket>();
}

void QpStreamSocket::open(const QpAddress& address) {
  QpSocket::open(address, kStream);
  SetTcpOptions();
  mAddress = address;
}

void QpStreamSocket::accept(void* handle) {
  QpSocket::accept(handle, kStream);
  SetTcpOptions();
}

void QpStreamSocket::SetTcpOptions() {
  const char* kOperation = "QpStreamSocket::open()";
  if (mApplyTCPNoDelay) {
    applyOption(mSocket, QP_WS_IPPROTO_TCP, QP_WS_TCP_NODELAY, mTCPNoDelay, kOperation,
                "TCP_NODELAY");
  }
  // The retransmission limit and segment size are applied when the application set them; left
  // at the default, the system's own values stay.
  if (mApplyTCPMaxRT) {
    applyOption(mSocket, QP_WS_IPPROTO_TCP, QP_WS_TCP_MAXRT, mTCPMaxRT, kOperation, "TCP_MAXRT");
  }
  if (mApplyTCPMaxSegSize) {
    applyOption(mSocket, QP_WS_IPPROTO_TCP, QP_WS_TCP_MAXSEG, mTCPMaxSegSize, kOperation,
                "TCP_MAXSEG");
  }
}

int QpStreamSocket::receive(void* inData, int inLen) {
  QP_TRACE_BEGIN
  QP_SOCKET_CHECK(isOpen() && (mSocket != QP_INVALID_SOCKET),
                  "isOpen() && (mSocket != QP_INVALID_SOCKET)");
  QP_SOCKET_CHECK((inData != nullptr) && (inLen > 0), "(inData != NULL) && (inLen > 0)");
  char* vBuffer = static_cast<char*>(inData);
  int vReceived = 0;
  // Each call waits at most the receive time-out (SO_RCVTIMEO), so a silent peer ends in
  // WSAETIMEDOUT rather than a hang.
  while (vReceived < inLen) {
    const int vResult = qp_recv(mSocket, vBuffer + vReceived, inLen - vReceived, 0);
    if (vResult < 0) qpRaise<QpSocketException>(kSource, __LINE__, GetLastError(), nullptr);
    if (vResult == 0) break;  // the peer has closed
    vReceived += vResult < inLen - vReceived ? vResult : inLen - vReceived;
  }
  mLastUsedTime = qp_time(nullptr);
  mUsed = 1;
  return vReceived;
  QP_TRACE_END("QpStreamSocket.receive")
}

void QpStreamSocket::close() {
  try {
    QpSocket::close();
  } catch (QpException& e) {
    if (QpLogging::isDebugLogging()) {
      QpLogging::Log(kDebug, NET, "Ignore error (%s - %s) in closing socket",
                     QpStringConversion::toString(e.GetErrorCode()),
                     QpStringConversion::toString(e.GetSysErrorCode()));
    }
  }
}

// ================================================================================================
// QpDatagramSocket
// ================================================================================================

QpDatagramSocket::QpDatagramSocket() : QpSocket(), mPeerAddress(), mHasPeer(0) {}

QpDatagramSocket::~QpDatagramSocket() {}

QpDatagramSocket& QpDatagramSocket::operator=(const QpDatagramSocket& inOther) {
  if (this == &inOther) return *this;
  QpSocket::operator=(inOther);
  mPeerAddress = inOther.mPeerAddress;
  mHasPeer = inOther.mHasPeer;
  return *this;
}

QpDatagramSocket* QpDatagramSocket::createNEWInstance() {
  return qpNewOrNull<QpDatagramSocket>();
}

void QpDatagramSocket::open(const QpAddress& address) {
  mHasPeer = 0;
  QpSocket::open(address, QP_WS_SOCK_DGRAM);
}

void QpDatagramSocket::accept(void* handle) {
  QpSocket::accept(handle, QP_WS_SOCK_DGRAM);
}

int QpDatagramSocket::send(void* inData, int inLen) {
  QP_TRACE_BEGIN
  QP_SOCKET_CHECK(isOpen() && (mSocket != QP_INVALID_SOCKET),
                  "isOpen() && (mSocket != QP_INVALID_SOCKET)");
  QP_SOCKET_CHECK(inData != nullptr, "inData != NULL");
  if (inLen == 0) return 0;
  const char* vNext = static_cast<const char*>(inData);
  int vRemaining = inLen;
  do {
    int vSent = mHasPeer ? QpWsSendTo(mSocket, vNext, vRemaining, 0, &mPeerAddress,
                                      static_cast<int>(sizeof mPeerAddress))
                         : qp_send(mSocket, vNext, vRemaining, 0);
    if (vSent == 0) WSASetLastError(WSAECONNRESET);
    if (vSent <= 0) qpRaise<QpSocketException>(kSource, __LINE__, GetLastError(), nullptr);
    if (vSent > vRemaining) vSent = vRemaining;
    vNext += vSent;
    vRemaining -= vSent;
  } while (vRemaining > 0);
  mLastUsedTime = qp_time(nullptr);
  mUsed = 1;
  return inLen;
  QP_TRACE_END("QpSocketDatagram.send")
}

int QpDatagramSocket::receive(void* inData, int inLen) {
  try {
    QP_SOCKET_CHECK(isOpen(), "isOpen()");
    QP_SOCKET_CHECK((inData != nullptr) && (inLen > 0), "(inData != NULL) && (inLen > 0)");
    qp_memset(&mPeerAddress, 0, sizeof mPeerAddress);
    mHasPeer = 0;
    int vPeerLength = static_cast<int>(sizeof mPeerAddress);
    const int vResult = QpWsRecvFrom(mSocket, inData, inLen, 0, &mPeerAddress, &vPeerLength);
    if (vResult < 0) qpRaise<QpSocketException>(kSource, __LINE__, GetLastError(), nullptr);
    mHasPeer = 1;
    mLastUsedTime = qp_time(nullptr);
    mUsed = 1;
    return vResult;
  } catch (QpException& e) {
    qp_memset(&mPeerAddress, 0, sizeof mPeerAddress);
    mHasPeer = 0;
    e.addTrace("QpDatagramSocket.receive (timeout=%s)", QpStringConversion::toString(mTimeout));
    throw;
  }
}

int QpDatagramSocket::receive2(void* inData, int inLen) {
  return receive(inData, inLen);
}
