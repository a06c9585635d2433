// Tests of the connection bookkeeping and of the stream and datagram sockets, against real peers
// on 127.0.0.1 run by a thread of the test, and with platform failures injected through the OS
// layer's hook table. No test measures time: each time-out is short and the test only has to end.
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "QpLoopbackPeer.h"
#include "QpOsHooks.h"
#include "QpTestSupport.h"

struct Probe : QpStreamSocket {
  using QpStreamSocket::mApplyReceiveBufferSize;
};

int openDescriptors() {
  int vCount = 0;
  DIR* vDir = ::opendir("/proc/self/fd");
  while (::readdir(vDir) != nullptr) ++vCount;
  ::closedir(vDir);
  return vCount;
}

using qptest::LoopbackPeer;

// A socket of inType bound to 127.0.0.1 on a free port, and its address text in outText.
int bindLoopback(int inType, std::string* outText) {
  int vPort = 0;
  const int vFd = qptest::bindLoopback(inType, &vPort);
  *outText = "127.0.0.1:" + std::to_string(vPort);
  return vFd;
}

template <class F>
void expectSocketError(F inOp, int inSysError, const char* inMessage, const std::string& inTrace) {
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
  QpStreamSocket vSocket;
  char vText[128];
  EXPECT_STREQ(vSocket.toString(vText),
               "QpSocket (mSocket=-1) Connection closed,unlocked marked(GOOD)");
  EXPECT_EQ(vSocket.GetTimeout(), 120000);
  vSocket.lock();
  EXPECT_QP_THROW(vSocket.lock(), QpSDKInternalException, "!isLocked()");
  vSocket.markBad();
  EXPECT_STREQ(vSocket.QpConnection::toString(vText), "Connection closed,locked marked(BAD)");
  vSocket.unlock();
  EXPECT_QP_THROW(vSocket.unlock(), QpSDKInternalException, "isLocked()");
  vSocket.setTimeout(0);
  EXPECT_EQ(vSocket.GetTimeout(), 1) << "0 would mean forever to the platform";
  EXPECT_QP_FAILURE(QpSDKInternalException, vSocket.setTimeout(-1), "inTimeoutMillis >= 0",
                    "QpSocket.setTimeout(-1)");
  EXPECT_EQ(vSocket.GetTimeout(), 1);
  // Never used: expired only for a zero idle time.
  EXPECT_EQ(vSocket.isExpired(0), 1);
  EXPECT_EQ(vSocket.isExpired(LLONG_MAX), 0);
  EXPECT_EQ(Probe().mApplyReceiveBufferSize, 0);
  QpUtils::SetSocketOptionReceiveBufferSize(65536);  // for sockets made from now on
  EXPECT_EQ(Probe().mApplyReceiveBufferSize, 1);
}

TEST(QpStreamSocket, SendsEverythingAndReceivesUntilThePeerCloses) {
  // With the hooks every send and receive moves one byte at most: the socket has to go on.
  QpOsHooks vOneByte = {};
  vOneByte.mSend = [](int inFd, const void* inData, size_t inLen, int inFlags) -> long {
    return ::send(inFd, inData, inLen > 0 ? 1 : 0, inFlags);
  };
  vOneByte.mRecv = [](int inFd, void* outBuf, size_t inLen, int inFlags) -> long {
    return ::recv(inFd, outBuf, inLen > 0 ? 1 : 0, inFlags);
  };
  for (bool vPartial : {false, true}) {
    const std::string vPayload(vPartial ? 3000 : 100000, 'p');
    {
      LoopbackPeer vPeer(true, vPayload.size(), qptest::Bytes(40, 'r'));  // then closes
      StOsHooks vHooks(vPartial ? vOneByte : QpOsHooks{});
      QpStreamSocket vSocket;
      vSocket.open(vPeer.address());
      char* vData = const_cast<char*>(vPayload.data());
      EXPECT_EQ(vSocket.send(vData, 0), 0);
      EXPECT_EQ(vSocket.isNew(), 1) << "an empty send changes nothing";
      EXPECT_EQ(vSocket.send(vData, static_cast<int>(vPayload.size())),
                static_cast<int>(vPayload.size()));
      EXPECT_EQ(vSocket.isNew(), 0);
      char vBuffer[100];
      EXPECT_EQ(vSocket.receive(vBuffer, 30), 30);
      EXPECT_EQ(vSocket.receive(vBuffer, 100), 10);
      EXPECT_EQ(std::string(vBuffer, 10), std::string(10, 'r'));
      EXPECT_EQ(vSocket.receive(vBuffer, 100), 0);
      EXPECT_QP_THROW(vSocket.receive(nullptr, 1), QpSDKInternalException,
                      "(inData != NULL) && (inLen > 0)");
      vSocket.close();
      QpAddress vWhere;
      vSocket.getAddress(vWhere);
      EXPECT_STREQ(vWhere.toStringConst(), "") << "close forgets the address";
      EXPECT_QP_FAILURE(QpSDKInternalException, vSocket.send(vBuffer, 1),
                        "isOpen() && (mSocket != QP_INVALID_SOCKET)", "QpSocket.send");
      EXPECT_TRUE(vPeer.request() == qptest::Bytes(vPayload.begin(), vPayload.end()));
    }
  }
}

TEST(QpStreamSocket, FailedOpensLeaveTheSocketClosed) {
  const int vFds = openDescriptors();
  std::string vText;
  ::close(bindLoopback(SOCK_STREAM, &vText));  // a port nobody listens on
  const std::string vTrace = "QpSocket.open(" + vText + ",1)";
  QpStreamSocket vSocket;
  expectSocketError([&] { vSocket.open(QpAddress(vText.c_str(), 2)); }, WSAECONNREFUSED,
                    "Connect failed for 127.0.0.1", vTrace);
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
                      "Unable to open socket for 127.0.0.1", vTrace);
  }
  {
    LoopbackPeer vPeer(true, 1, {});
    const std::string vOpen = "QpSocket.open(" + std::string(vPeer.address().toStringConst());
    vSocket.open(vPeer.address());
    EXPECT_QP_FAILURE(QpSDKInternalException, vSocket.open(vPeer.address()), "!isOpen()",
                      (vOpen + ",1)").c_str());
    EXPECT_EQ(vSocket.isOpen(), 0) << "a failed open closes the socket";
  }
  EXPECT_EQ(openDescriptors(), vFds);
  // Connections the listener's backlog completes without an accept of ours.
  const int vListener = bindLoopback(SOCK_STREAM, &vText);
  const QpAddress vAddress(vText.c_str(), 2);
  qpWalkAllocations([&] { QpStreamSocket().open(vAddress); }, [] {});
  ::close(vListener);
}

TEST(QpStreamSocket, TimeOutsApplyAtOpenAndAtOnce) {
  LoopbackPeer vPeer(true, 1, {}), vSecond(true, 1, {});  // they wait for a byte that never comes
  QpStreamSocket vSocket;
  vSocket.setTimeout(150);  // closed: taken at the next open
  vSocket.open(vPeer.address());
  char vBuffer[8];
  expectSocketError([&] { vSocket.receive(vBuffer, 8); }, WSAETIMEDOUT, nullptr,
                    "QpStreamSocket.receive");
  // Open with the two-minute default, then shorten it: the next wait must already use it.
  QpStreamSocket vOther;
  vOther.open(vSecond.address());
  vOther.setTimeout(100);
  // A refused change raises, and keeps the value for the next open.
  QpOsHooks vNoOptions = {};
  vNoOptions.mSetsockopt = [](int, int, int, const void*, unsigned) {
    errno = EINVAL;
    return -1;
  };
  StOsHooks vFaults(vNoOptions);
  expectSocketError([&] { vOther.setTimeout(500); }, WSAEINVAL, "Set timeout failed",
                    "QpSocket.setTimeout(500)");
  EXPECT_EQ(vOther.GetTimeout(), 500);
}

TEST(QpDatagramSocket, ExchangesBothWaysAndRepliesToTheSender) {
  std::string vText;
  const int vPeer = bindLoopback(SOCK_DGRAM, &vText);
  QpDatagramSocket vClient, vServer;
  vClient.open(QpAddress(vText.c_str(), 2));
  char vPing[] = "ping", vReply[] = "reply", vBuffer[64];
  EXPECT_EQ(vClient.send(vPing, 4), 4);
  sockaddr_in vFrom = {};
  socklen_t vFromLen = sizeof vFrom;
  ::recvfrom(vPeer, vBuffer, sizeof vBuffer, 0, reinterpret_cast<sockaddr*>(&vFrom), &vFromLen);
  ::sendto(vPeer, "pong!", 5, 0, reinterpret_cast<sockaddr*>(&vFrom), vFromLen);
  EXPECT_EQ(vClient.receive(vBuffer, sizeof vBuffer), 5) << "one datagram, shorter than asked";
  EXPECT_EQ(std::string(vBuffer, 5), "pong!");
  {
    QpDatagramSocket vCopy;
    vCopy = vClient;  // its own handle on the same socket
    vCopy.close();
  }
  // A server socket adopted from a bound, unconnected handle answers whoever wrote to it; after
  // a failed receive it has nobody to answer and its send goes to the (absent) default peer.
  vServer.accept(reinterpret_cast<void*>(static_cast<std::intptr_t>(vPeer)));
  EXPECT_EQ(vClient.send(vPing, 4), 4);
  EXPECT_EQ(vServer.receive2(vBuffer, sizeof vBuffer), 4);
  EXPECT_EQ(vServer.send(vReply, 5), 5);
  EXPECT_EQ(vClient.receive(vBuffer, sizeof vBuffer), 5);
  EXPECT_EQ(std::string(vBuffer, 5), "reply");
  vServer.setTimeout(100);
  expectSocketError([&] { vServer.receive(vBuffer, sizeof vBuffer); }, WSAETIMEDOUT, nullptr,
                    "QpDatagramSocket.receive (timeout=100)");
  expectSocketError([&] { vServer.send(vReply, 5); }, WSAEDESTADDRREQ, nullptr,
                    "QpSocketDatagram.send");
  // The platform reports a failed close (after releasing the descriptor, as Linux does): the
  // datagram socket raises it, the stream socket swallows it.
  QpOsHooks vBadClose = {};
  vBadClose.mClose = [](int inFd) {
    ::close(inFd);
    errno = EIO;
    return -1;
  };
  LoopbackPeer vTcpPeer(true, 1, {});
  QpStreamSocket vStream;
  vStream.open(vTcpPeer.address());
  StOsHooks vFaults(vBadClose);
  vStream.close();
  EXPECT_EQ(vStream.isOpen(), 0);
  expectSocketError([&] { vClient.close(); }, QP_WS_ERRNO_BASE + EIO, nullptr, "QpSocket::close()");
  EXPECT_EQ(vClient.isOpen(), 0);
}
