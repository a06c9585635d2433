// Tests of the connection bookkeeping and of the stream and datagram sockets, against real peers
// on 127.0.0.1 run by a thread of the test, and with platform failures injected through the OS
// layer's hook table. No test measures time: each time-out is short and the test only has to end.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

// Opens up what the tests need to see of a stream socket.
struct Probe : QpStreamSocket {
  using QpStreamSocket::mApplyReceiveBufferSize;
  using QpStreamSocket::mReceiveBufferSize;
  using QpStreamSocket::mSocket;
};

int openDescriptors() {
  int vCount = 0;
  DIR* vDir = ::opendir("/proc/self/fd");
  while (::readdir(vDir) != nullptr) ++vCount;
  ::closedir(vDir);
  return vCount;
}

// A socket of the given type bound to 127.0.0.1 on a free port (listening when a stream).
int bindLoopback(int inType, int* outPort) {
  const int vFd = ::socket(AF_INET, inType, 0);
  sockaddr_in vAddress = {};
  vAddress.sin_family = AF_INET;
  vAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t vLen = sizeof vAddress;
  EXPECT_EQ(::bind(vFd, reinterpret_cast<sockaddr*>(&vAddress), sizeof vAddress), 0);
  EXPECT_EQ(::getsockname(vFd, reinterpret_cast<sockaddr*>(&vAddress), &vLen), 0);
  if (inType == SOCK_STREAM) {
    EXPECT_EQ(::listen(vFd, 64), 0);
  }
  *outPort = ntohs(vAddress.sin_port);
  return vFd;
}

std::string loopback(int inPort) {
  return "127.0.0.1:" + std::to_string(inPort);
}

// A TCP peer: accepts one connection and runs inServe on it in its own thread.
class Peer {
 public:
  explicit Peer(std::function<void(int)> inServe) : mListener(bindLoopback(SOCK_STREAM, &mPort)) {
    mThread = std::thread([this, inServe] {
      const int vFd = ::accept(mListener, nullptr, nullptr);
      if (vFd < 0) return;
      inServe(vFd);
      ::close(vFd);
    });
  }
  ~Peer() {
    mThread.join();
    ::close(mListener);
  }
  QpAddress address() const { return QpAddress(loopback(mPort).c_str(), 2); }
  int port() const { return mPort; }

 private:
  int mPort = 0;
  int mListener;
  std::thread mThread;
};

void sendAll(int inFd, const std::string& inData) {
  EXPECT_EQ(::send(inFd, inData.data(), inData.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(inData.size()));
}
// Waits until the other side closes (or sends something).
void waitForClose(int inFd) {
  char vByte;
  while (::recv(inFd, &vByte, 1, 0) > 0) {
  }
}

template <class F>
void expectSocketError(F inOp, int inSysError, const char* inMessage, const char* inTrace) {
  try {
    inOp();
    ADD_FAILURE() << "nothing raised";
  } catch (QpSocketException& e) {
    EXPECT_EQ(e.GetErrorCode(), QP_SOCKET_ERR);
    EXPECT_EQ(e.GetSysErrorCode(), inSysError);
    EXPECT_EQ(qpTake(e.GetMessageString()), inMessage != nullptr ? inMessage : "<null>");
    EXPECT_EQ(qpTake(e.GetTraceString("<")), inTrace);
  }
}

TEST(QpConnection, Bookkeeping) {
  Probe vSocket;
  char vText[128];
  EXPECT_STREQ(vSocket.QpConnection::toString(vText), "Connection closed,unlocked marked(GOOD)");
  EXPECT_STREQ(vSocket.toString(vText),
               "QpSocket (mSocket=-1) Connection closed,unlocked marked(GOOD)");
  EXPECT_EQ(vSocket.isNew(), 1);
  EXPECT_EQ(vSocket.GetTimeout(), 120000);
  vSocket.lock();
  EXPECT_QP_THROW(vSocket.lock(), QpSDKInternalException, "!isLocked()");
  EXPECT_EQ(vSocket.isLocked(), 1);
  vSocket.markBad();
  EXPECT_STREQ(vSocket.QpConnection::toString(vText), "Connection closed,locked marked(BAD)");
  vSocket.unlock();
  EXPECT_QP_THROW(vSocket.unlock(), QpSDKInternalException, "isLocked()");
  EXPECT_EQ(vSocket.isBad(), 1);

  vSocket.setTimeout(0);
  EXPECT_EQ(vSocket.GetTimeout(), 1) << "0 would mean forever to the platform";
  EXPECT_QP_FAILURE(QpSDKInternalException, vSocket.setTimeout(-1), "inTimeoutMillis >= 0",
                    "QpSocket.setTimeout(-1)");
  EXPECT_EQ(vSocket.GetTimeout(), 1);

  // Never used: expired only for a zero idle time, whatever else is asked.
  EXPECT_EQ(vSocket.isExpired(0), 1);
  EXPECT_EQ(vSocket.isExpired(1), 0);
  EXPECT_EQ(vSocket.isExpired(LLONG_MAX), 0);

  EXPECT_EQ(vSocket.mReceiveBufferSize, QpUtils::kDefaultSocketOption);
  EXPECT_EQ(vSocket.mApplyReceiveBufferSize, 0);
  const int vBefore = QpUtils::GetSocketOptionReceiveBufferSize();
  QpUtils::SetSocketOptionReceiveBufferSize(65536);
  Probe vLater;
  EXPECT_EQ(vLater.mReceiveBufferSize, 65536);
  EXPECT_EQ(vLater.mApplyReceiveBufferSize, 1);
  EXPECT_EQ(vSocket.mReceiveBufferSize, QpUtils::kDefaultSocketOption) << "made before the change";
  if (vBefore != QpUtils::kDefaultSocketOption) QpUtils::SetSocketOptionReceiveBufferSize(vBefore);
}

TEST(QpStreamSocket, SendsEverythingAndReceivesUntilThePeerCloses) {
  const std::string vPayload(100000, 'p');
  std::string vEchoed;
  {
    Peer vPeer([&](int inFd) {
      std::string vGot(vPayload.size(), 0);
      EXPECT_EQ(::recv(inFd, &vGot[0], vGot.size(), MSG_WAITALL),
                static_cast<ssize_t>(vGot.size()));
      vEchoed = vGot;
      sendAll(inFd, std::string(40, 'r'));  // then closes: the client asked for 100
    });
    QpStreamSocket vSocket;
    vSocket.open(vPeer.address());
    QpAddress vWhere;
    vSocket.getAddress(vWhere);
    EXPECT_STREQ(vWhere.toStringConst(), vPeer.address().toStringConst());
    EXPECT_EQ(vSocket.send(const_cast<char*>(vPayload.data()), 0), 0);
    EXPECT_EQ(vSocket.isNew(), 1) << "an empty send changes nothing";
    EXPECT_EQ(vSocket.send(const_cast<char*>(vPayload.data()), static_cast<int>(vPayload.size())),
              static_cast<int>(vPayload.size()));
    EXPECT_EQ(vSocket.isNew(), 0);
    char vBuffer[100];
    EXPECT_EQ(vSocket.receive(vBuffer, 100), 40);
    EXPECT_EQ(std::string(vBuffer, 40), std::string(40, 'r'));
    EXPECT_EQ(vSocket.receive(vBuffer, 100), 0);
    EXPECT_QP_THROW(vSocket.receive(nullptr, 1), QpSDKInternalException,
                    "(inData != NULL) && (inLen > 0)");
    vSocket.close();
    EXPECT_EQ(vSocket.isOpen(), 0);
    vSocket.getAddress(vWhere);
    EXPECT_STREQ(vWhere.toStringConst(), "") << "close forgets the address";
    EXPECT_QP_FAILURE(QpSDKInternalException, vSocket.send(vBuffer, 1),
                      "isOpen() && (mSocket != QP_INVALID_SOCKET)", "QpSocket.send");
  }
  EXPECT_EQ(vEchoed, vPayload);
}

TEST(QpStreamSocket, FailedOpensLeaveTheSocketClosed) {
  const int vFds = openDescriptors();
  int vPort;
  ::close(bindLoopback(SOCK_STREAM, &vPort));  // a port nobody listens on
  const std::string vText = loopback(vPort);
  QpStreamSocket vSocket;
  expectSocketError([&] { vSocket.open(QpAddress(vText.c_str(), 2)); }, WSAECONNREFUSED,
                    "Connect failed for 127.0.0.1", ("QpSocket.open(" + vText + ",1)").c_str());
  EXPECT_EQ(vSocket.isOpen(), 0);
  QpAddress vNowhere;
  vNowhere.strcpy("no-such-node.invalid:4000");
  expectSocketError([&] { vSocket.open(vNowhere); }, 22,
                    "Unable to resolve host name NO-SUCH-NODE.INVALID",
                    "QpSocket.open(no-such-node.invalid:4000,1)");

  QpOsHooks vHooks = {};
  vHooks.mSocket = [](int, int, int) {
    errno = EMFILE;
    return -1;
  };
  {
    StOsHooks vNoSockets(vHooks);
    expectSocketError([&] { vSocket.open(QpAddress(vText.c_str(), 2)); }, WSAEMFILE,
                      "Unable to open socket for 127.0.0.1",
                      ("QpSocket.open(" + vText + ",1)").c_str());
  }

  {
    Peer vPeer(waitForClose);
    vSocket.open(vPeer.address());
    const std::string vTrace = "QpSocket.open(" + loopback(vPeer.port()) + ",1)";
    EXPECT_QP_FAILURE(QpSDKInternalException, vSocket.open(vPeer.address()), "!isOpen()",
                      vTrace.c_str());
    EXPECT_EQ(vSocket.isOpen(), 0) << "a failed open closes the socket";
  }
  EXPECT_EQ(openDescriptors(), vFds);
}

TEST(QpStreamSocket, TimeOutsApplyAtOpenAndAtOnce) {
  Peer vPeer(waitForClose);
  Probe vSocket;
  vSocket.setTimeout(150);  // closed: taken at the next open
  vSocket.open(vPeer.address());
  char vBuffer[8];
  expectSocketError([&] { vSocket.receive(vBuffer, 8); }, WSAETIMEDOUT, nullptr,
                    "QpStreamSocket.receive");

  // Open with the two-minute default, then shorten it: the next wait must already use it.
  Peer vSecond(waitForClose);
  Probe vOther;
  vOther.open(vSecond.address());
  vOther.setTimeout(100);
  timeval vTimeout = {};
  socklen_t vLen = sizeof vTimeout;
  ASSERT_EQ(::getsockopt(vOther.mSocket, SOL_SOCKET, SO_RCVTIMEO, &vTimeout, &vLen), 0);
  EXPECT_EQ(vTimeout.tv_sec * 1000 + vTimeout.tv_usec / 1000, 100);
  expectSocketError([&] { vOther.receive(vBuffer, 8); }, WSAETIMEDOUT, nullptr,
                    "QpStreamSocket.receive");
}

TEST(QpStreamSocket, AdoptsAnAcceptedHandleAndAssignmentDuplicates) {
  int vPort;
  const int vListener = bindLoopback(SOCK_STREAM, &vPort);
  std::thread vClient([vPort] {
    QpStreamSocket vSocket;
    vSocket.open(QpAddress(loopback(vPort).c_str(), 2));
    char vGreeting[] = "hello";
    vSocket.send(vGreeting, 5);
  });
  Probe vServer;
  vServer.accept(reinterpret_cast<void*>(static_cast<std::intptr_t>(::accept(vListener, 0, 0))));
  vClient.join();
  QpStreamSocket vCopy;
  vCopy = vServer;  // its own handle on the same connection
  vServer.close();
  char vBuffer[16];
  EXPECT_EQ(vCopy.receive(vBuffer, 16), 5);
  EXPECT_EQ(std::string(vBuffer, 5), "hello");
  ::close(vListener);
}

TEST(QpDatagramSocket, ExchangesBothWaysAndRepliesToTheSender) {
  int vPort;
  const int vPeer = bindLoopback(SOCK_DGRAM, &vPort);
  QpDatagramSocket vClient;
  vClient.open(QpAddress(loopback(vPort).c_str(), 2));
  char vPing[] = "ping";
  EXPECT_EQ(vClient.send(vPing, 4), 4);
  char vBuffer[64];
  sockaddr_in vFrom = {};
  socklen_t vFromLen = sizeof vFrom;
  ASSERT_EQ(
      ::recvfrom(vPeer, vBuffer, sizeof vBuffer, 0, reinterpret_cast<sockaddr*>(&vFrom), &vFromLen),
      4);
  ASSERT_EQ(::sendto(vPeer, "pong!", 5, 0, reinterpret_cast<sockaddr*>(&vFrom), vFromLen), 5);
  EXPECT_EQ(vClient.receive(vBuffer, sizeof vBuffer), 5) << "one datagram, shorter than asked";
  EXPECT_EQ(std::string(vBuffer, 5), "pong!");

  // A server socket adopted from a bound, unconnected handle answers whoever wrote to it, and
  // after a failed receive it has nobody to answer: the send goes to the (absent) default peer.
  QpDatagramSocket vServer;
  vServer.accept(reinterpret_cast<void*>(static_cast<std::intptr_t>(vPeer)));
  EXPECT_EQ(vClient.send(vPing, 4), 4) << "to the last sender, the server";
  EXPECT_EQ(vServer.receive2(vBuffer, sizeof vBuffer), 4);
  char vReply[] = "reply";
  EXPECT_EQ(vServer.send(vReply, 5), 5);
  EXPECT_EQ(vClient.receive(vBuffer, sizeof vBuffer), 5);
  EXPECT_EQ(std::string(vBuffer, 5), "reply");
  vServer.setTimeout(100);
  expectSocketError([&] { vServer.receive(vBuffer, sizeof vBuffer); }, WSAETIMEDOUT, nullptr,
                    "QpDatagramSocket.receive (timeout=100)");
  expectSocketError([&] { vServer.send(vReply, 5); }, WSAEDESTADDRREQ, nullptr,
                    "QpSocketDatagram.send");
}

// ---- Platform failures ------------------------------------------------------------------------

long sendOneByte(int inFd, const void* inData, size_t inLen, int inFlags) {
  return ::send(inFd, inData, inLen > 0 ? 1 : 0, inFlags);
}

// Every call is interrupted once before it gets through. A connect goes on in the background
// when interrupted, as on the platform.
thread_local bool sInterrupted = false;
bool interruptNow() {
  sInterrupted = !sInterrupted;
  if (sInterrupted) errno = EINTR;
  return sInterrupted;
}
long interruptedSend(int inFd, const void* inData, size_t inLen, int inFlags) {
  return interruptNow() ? -1 : ::send(inFd, inData, inLen, inFlags);
}
long interruptedRecv(int inFd, void* outBuf, size_t inLen, int inFlags) {
  return interruptNow() ? -1 : ::recv(inFd, outBuf, inLen, inFlags);
}
int interruptedConnect(int inFd, const void* inAddress, unsigned inLen) {
  const int vResult = ::connect(inFd, static_cast<const sockaddr*>(inAddress), inLen);
  if (vResult != 0) return vResult;
  errno = EINTR;
  return -1;
}

// The connection is reset after the first chunk has arrived.
thread_local int sRecvCalls = 0;
long resetAfterFirstChunk(int inFd, void* outBuf, size_t inLen, int inFlags) {
  if (sRecvCalls++ == 0) return ::recv(inFd, outBuf, inLen < 3 ? inLen : 3, inFlags);
  errno = ECONNRESET;
  return -1;
}

TEST(QpSocketFaults, EachEndsInTheExceptionOrCompletesWithoutLeaks) {
  const int vFds = openDescriptors();
  const std::string vMessage(3000, 'm');
  auto vExchange = [&](const QpOsHooks& inHooks) {
    std::string vGot;
    {
      Peer vPeer([&](int inFd) {
        vGot.assign(vMessage.size(), 0);
        EXPECT_EQ(::recv(inFd, &vGot[0], vGot.size(), MSG_WAITALL),
                  static_cast<ssize_t>(vGot.size()));
        sendAll(inFd, "done");
      });
      StOsHooks vFaults(inHooks);
      QpStreamSocket vSocket;
      vSocket.open(vPeer.address());
      EXPECT_EQ(vSocket.send(const_cast<char*>(vMessage.data()), 3000), 3000);
      char vReply[4];
      EXPECT_EQ(vSocket.receive(vReply, 4), 4);
    }
    EXPECT_EQ(vGot, vMessage);
  };
  QpOsHooks vOneByte = {};
  vOneByte.mSend = sendOneByte;
  vExchange(vOneByte);
  QpOsHooks vInterrupted = {};
  vInterrupted.mSend = interruptedSend;
  vInterrupted.mRecv = interruptedRecv;
  vInterrupted.mConnect = interruptedConnect;
  vExchange(vInterrupted);

  {
    Peer vPeer([](int inFd) {
      sendAll(inFd, "abcdef");
      waitForClose(inFd);
    });
    QpOsHooks vReset = {};
    vReset.mRecv = resetAfterFirstChunk;
    sRecvCalls = 0;
    StOsHooks vFaults(vReset);
    QpStreamSocket vSocket;
    vSocket.open(vPeer.address());
    char vBuffer[6];
    expectSocketError([&] { vSocket.receive(vBuffer, 6); }, WSAECONNRESET, nullptr,
                      "QpStreamSocket.receive");
  }
  {
    // Refused options are only logged at open; a refused time-out change raises.
    Peer vPeer(waitForClose);
    QpOsHooks vNoOptions = {};
    vNoOptions.mSetsockopt = [](int, int, int, const void*, unsigned) {
      errno = EINVAL;
      return -1;
    };
    StOsHooks vFaults(vNoOptions);
    QpStreamSocket vSocket;
    vSocket.open(vPeer.address());
    EXPECT_EQ(vSocket.isOpen(), 1);
    expectSocketError([&] { vSocket.setTimeout(500); }, WSAEINVAL, "Set timeout failed",
                      "QpSocket.setTimeout(500)");
    EXPECT_EQ(vSocket.GetTimeout(), 500);
  }
  {
    // The platform reports a failed close (after releasing the descriptor, as Linux does).
    int vPort;
    const int vPeer = bindLoopback(SOCK_DGRAM, &vPort);
    QpOsHooks vBadClose = {};
    vBadClose.mClose = [](int inFd) {
      ::close(inFd);
      errno = EIO;
      return -1;
    };
    QpStreamSocket vStream;
    Peer vTcpPeer(waitForClose);
    vStream.open(vTcpPeer.address());
    QpDatagramSocket vDatagram;
    vDatagram.open(QpAddress(loopback(vPort).c_str(), 2));
    StOsHooks vFaults(vBadClose);
    vStream.close();  // swallowed
    EXPECT_EQ(vStream.isOpen(), 0);
    expectSocketError([&] { vDatagram.close(); }, QP_WS_ERRNO_BASE + EIO, nullptr,
                      "QpSocket::close()");
    EXPECT_EQ(vDatagram.isOpen(), 0);
    ::close(vPeer);
  }
  {
    // Connections the listener's backlog completes without an accept of ours.
    int vPort;
    const int vListener = bindLoopback(SOCK_STREAM, &vPort);
    const QpAddress vAddress(loopback(vPort).c_str(), 2);
    qpWalkAllocations([&] { QpStreamSocket().open(vAddress); }, [] {});
    ::close(vListener);
  }
  EXPECT_EQ(openDescriptors(), vFds);
}

}  // namespace
