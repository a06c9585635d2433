// Connection.h - the transport endpoints: QpConnection, the bookkeeping every endpoint carries
// for the connection pool (open, checked out, marked bad, last use, time-out, server address,
// authenticated user, a snapshot of the library-wide socket options), and the IPv4 sockets under
// it: QpSocket (what stream and datagram endpoints share), QpStreamSocket (TCP, request/reply
// packets) and QpDatagramSocket (UDP, server probes).
//
// Failures are exceptions: QpSocketException with the socket error (Winsock numbers, 10060 for
// an expired time-out) for the platform's refusals, QpSDKInternalException with the condition's
// text for a call in the wrong state. send() writes every byte or raises; a stream receive fills
// the whole buffer unless the peer closes first. Every failed open or accept leaves the socket
// closed. A socket owns its handle: assignment gives the target its own duplicate of the
// source's handle, so each object closes only what it owns.
//
// Threads: a connection is used by one thread at a time; lock()/unlock() are a check-out mark
// for the pool, not a mutex. Host-name resolution during open is serialised process-wide by
// QpConnection::sHostLock.
#ifndef QP_CONNECTION_H
#define QP_CONNECTION_H

#include "QpAddress.h"
#include "QpMutex.h"
#include "QpStringBuffer.h"
#include "QpTypes.h"
#include "QpWinsock.h"
#include "qpos32.h"

class QP_EXPORT QpConnection {
  // The virtual operations are declared in the order of their table slots.
 protected:
  virtual int GetLastError() = 0;  // the platform's last socket error on this thread

 public:
  virtual void open(const QpAddress& address) = 0;
  virtual void close() = 0;
  virtual int send(void* inData, int inLen) = 0;
  virtual int receive(void* inData, int inLen) = 0;
  // Stores the time-out in milliseconds; 0 is stored as 1 (0 would mean "wait forever" to the
  // platform), a negative value is refused.
  virtual void setTimeout(int inTimeoutMillis);
  // "Connection open|closed,locked|unlocked marked(GOOD|BAD)" into out (at least 40 bytes).
  virtual char* toString(char* out);
  virtual ~QpConnection();

  // Takes the snapshot of the QpUtils socket options; later changes of them do not reach it.
  QpConnection();
  // Copies every field; raises (with the target unchanged) when the texts cannot be copied.
  QpConnection& operator=(const QpConnection& inOther);

  unsigned char isNew() const { return mUsed ? 0 : 1; }
  unsigned char isOpen() const { return mOpen; }
  unsigned char isLocked() const { return mLocked; }
  unsigned char isBad() const { return mBad; }
  QpLong GetLastUsedTime() const { return mLastUsedTime; }
  int GetTimeout() const { return mTimeout; }
  void getAddress(QpAddress& out) const { out = mAddress; }

  void lock();                  // raises when already locked
  void unlock();                // raises when not locked
  void markBad() { mBad = 1; }  // for good: nothing clears it
  // 1 when maxIdleSeconds is 0, or when the last use is more than maxIdleSeconds ago.
  unsigned char isExpired(QpLong inMaxIdleSeconds) const;
  unsigned char checkUser(QpStringBuffer& inUser) const;

  static QpMutex sHostLock;

 protected:
  void setAuthenticatedUser(QpStringBuffer& inUser);

  static const QpLong kNeverUsed = 0x3FFFFFFFFFFFFFFFLL;  // never expires

  unsigned char mUsed;    // a send or receive has succeeded
  unsigned char mOpen;    // connected or accepted
  unsigned char mLocked;  // checked out of the pool
  unsigned char mBad;     // marked bad
  QpLong mLastUsedTime;   // seconds since 1970 (qp_time)
  int mTimeout;           // milliseconds, never 0
  QpAddress mAddress;     // the address opened; empty when closed
  QpStringBuffer mAuthenticatedUser;
  // The QpUtils socket options when the connection was made, and whether to apply each one:
  // a value is applied when it is not QpUtils::kDefaultSocketOption; no-delay always is.
  int mDebugMode;
  int mTCPNoDelay;
  int mReceiveBufferSize;
  int mSendBufferSize;
  int mTCPMaxRT;
  int mTCPMaxSegSize;
  unsigned char mApplyDebugMode;
  unsigned char mApplyTCPNoDelay;
  unsigned char mApplyReceiveBufferSize;
  unsigned char mApplySendBufferSize;
  unsigned char mApplyTCPMaxRT;
  unsigned char mApplyTCPMaxSegSize;

 private:
  QpConnection(const QpConnection&) = delete;
};

class QP_EXPORT QpSocket : public QpConnection {
 public:
  using QpConnection::open;
  // Sends every byte (continuing after partial sends) and returns inLen; 0 for inLen 0.
  int send(void* inData, int inLen) override;
  // Closes the handle and forgets the address; raises when the platform's close fails (the
  // socket counts as closed anyway).
  void close() override;
  // Also applies the receive time-out to an open socket at once.
  void setTimeout(int inTimeoutMillis) override;
  // "QpSocket (mSocket=<handle>) <connection text>"; out holds at least 96 bytes.
  char* toString(char* out) override;
  ~QpSocket() override;

  // Time-outs, debug mode and buffer sizes onto the handle; a refusal is logged, not raised.
  void SetSocketOptions();
  // The state of other and a duplicate of its handle; this socket's own handle is closed.
  QpSocket& operator=(const QpSocket& inOther);

  // 1 once the socket library has been started in this process.
  static unsigned char sInited;

 protected:
  QpSocket();
  int GetLastError() override;
  // Resolves, connects (type 1 stream, 2 datagram) and records the address.
  void open(const QpAddress& address, int type);
  // Adopts a handle a listener has accepted; the handle is the descriptor cast to a pointer.
  void accept(void* handle, int type);

  qp_socket_t mSocket;  // QP_INVALID_SOCKET when closed

 private:
  QpSocket(const QpSocket&) = delete;
};

class QP_EXPORT QpStreamSocket : public QpSocket {
 public:
  QpStreamSocket();
  QpStreamSocket& operator=(const QpStreamSocket& inOther);
  ~QpStreamSocket() override;
  static QpStreamSocket* createNEWInstance();  // null when memory is short

  void open(const QpAddress& address) override;
  void accept(void* handle);
  // TCP_NODELAY, and the TCP retransmission time and segment size when they were set.
  void SetTcpOptions();
  // Fills inData unless the peer closes first; returns the bytes received (0 after a close).
  int receive(void* inData, int inLen) override;
  // Never raises: a failure of the platform's close is logged and ignored.
  void close() override;

 private:
  QpStreamSocket(const QpStreamSocket&) = delete;
};

class QP_EXPORT QpDatagramSocket : public QpSocket {
 public:
  QpDatagramSocket();
  QpDatagramSocket& operator=(const QpDatagramSocket& inOther);
  ~QpDatagramSocket() override;
  static QpDatagramSocket* createNEWInstance();  // null when memory is short

  void open(const QpAddress& address) override;
  void accept(void* handle);
  // To the sender of the last datagram received, else to the connected peer.
  int send(void* inData, int inLen) override;
  // One datagram (its size, possibly less than inLen); remembers its sender.
  int receive(void* inData, int inLen) override;
  int receive2(void* inData, int inLen);

 private:
  QpDatagramSocket(const QpDatagramSocket&) = delete;

  QpWsSockAddrIn mPeerAddress;  // sender of the last datagram; zeroed when none
  unsigned char mHasPeer;
};

#endif  // QP_CONNECTION_H
