// Tests of the Winsock shim (QpWinsock.h): counted start-up, the per-thread last error, the errno
// mapping and the direct calls of the transport, over the loopback interface only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "QpOsHooks.h"
#include "QpWinsock.h"
#include "qpos32.h"

namespace {

// Nothing else in this program starts Winsock, so every test leaves the count at zero.
TEST(QpWsaStartup, CountsStartsAndCleanups) {
  WSADATA vData;
  std::memset(&vData, 0x55, sizeof vData);
  ASSERT_EQ(WSAStartup(0x0101, &vData), 0);
  EXPECT_EQ(vData.wVersion, 0x0101);
  EXPECT_EQ(vData.wHighVersion, 0x0202);
  EXPECT_NE(std::memchr(vData.szDescription, 0, sizeof vData.szDescription), nullptr);
  EXPECT_NE(std::memchr(vData.szSystemStatus, 0, sizeof vData.szSystemStatus), nullptr);
  ASSERT_EQ(WSAStartup(0x0202, &vData), 0);
  EXPECT_EQ(vData.wVersion, 0x0202);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), 0);
  WSASetLastError(0);
  EXPECT_EQ(WSACleanup(), -1);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(QpWsaStartup, RefusedRequestsAreNotCounted) {
  WSADATA vData;
  EXPECT_EQ(WSAStartup(0x0000, &vData), WSAVERNOTSUPPORTED);
  EXPECT_EQ(WSAStartup(0x0101, nullptr), WSAEFAULT);
  EXPECT_EQ(WSACleanup(), -1);
  // A request above 2.2 is granted 2.2.
  ASSERT_EQ(WSAStartup(0x0303, &vData), 0);
  EXPECT_EQ(vData.wVersion, 0x0202);
  EXPECT_EQ(WSACleanup(), 0);
}

TEST(QpWsaStartup, CountStaysExactUnderTwoThreads) {
  auto vChurn = [] {
    WSADATA vData;
    for (int i = 0; i < 2000; ++i) {
      ASSERT_EQ(WSAStartup(0x0101, &vData), 0);
      ASSERT_EQ(WSAStartup(0x0101, &vData), 0);
      ASSERT_EQ(WSACleanup(), 0);
    }
  };
  std::thread vA(vChurn), vB(vChurn);
  vA.join();
  vB.join();
  for (int i = 0; i < 4000; ++i) ASSERT_EQ(WSACleanup(), 0) << i;
  EXPECT_EQ(WSACleanup(), -1);
}

TEST(QpWsaLastError, IsPerThread) {
  WSASetLastError(111);
  int vTheirsAtStart = -1;
  int vTheirsAfterSet = -1;
  std::thread vOther([&] {
    vTheirsAtStart = WSAGetLastError();
    WSASetLastError(222);
    vTheirsAfterSet = WSAGetLastError();
  });
  vOther.join();
  EXPECT_EQ(vTheirsAtStart, 0);
  EXPECT_EQ(vTheirsAfterSet, 222);
  EXPECT_EQ(WSAGetLastError(), 111);
  // A failure on another thread leaves this thread's error alone.
  std::thread([] { EXPECT_EQ(qp_socket(99, QP_WS_SOCK_STREAM, 0), QP_INVALID_SOCKET); }).join();
  EXPECT_EQ(WSAGetLastError(), 111);
}

TEST(QpWsErrorFromErrno, MapsWhatTheTransportSees) {
  // The ones the transport's callers look at, and the two that are not one-to-one.
  const std::pair<int, int> vTable[] = {
      {0, 0},
      {EAGAIN, WSAETIMEDOUT},
      {ETIMEDOUT, WSAETIMEDOUT},
      {ECONNREFUSED, WSAECONNREFUSED},
      {ECONNRESET, WSAECONNRESET},
      {EPIPE, WSAECONNRESET},
      {ENOMEM, WSAENOBUFS},
      {EHOSTUNREACH, WSAEHOSTUNREACH},
      {ENOTCONN, WSAENOTCONN},
  };
  for (const auto& vEntry : vTable)
    EXPECT_EQ(QpWsErrorFromErrno(vEntry.first), vEntry.second) << "errno " << vEntry.first;
  // Without a Winsock counterpart, the errno stays readable and never lands on a Winsock number.
  EXPECT_EQ(QpWsErrorFromErrno(ENOENT), QP_WS_ERRNO_BASE + ENOENT);
  EXPECT_EQ(QpWsErrorFromErrno(EIDRM), QP_WS_ERRNO_BASE + EIDRM);
}

// Two UDP sockets on 127.0.0.1: a POSIX one bound by the test and one made through qp_socket.
class QpUdpLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    mServer = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(mServer, 0);
    sockaddr_in vAddr = loopback();
    ASSERT_EQ(::bind(mServer, reinterpret_cast<sockaddr*>(&vAddr), sizeof vAddr), 0);
    socklen_t vLen = sizeof mServerAddress;
    ASSERT_EQ(::getsockname(mServer, reinterpret_cast<sockaddr*>(&mServerAddress), &vLen), 0);
    mClient = qp_socket(QP_WS_AF_INET, QP_WS_SOCK_DGRAM, 0);
    ASSERT_NE(mClient, QP_INVALID_SOCKET);
    ASSERT_EQ(::bind(mClient, reinterpret_cast<sockaddr*>(&vAddr), sizeof vAddr), 0);
    vLen = sizeof mClientAddress;
    ASSERT_EQ(::getsockname(mClient, reinterpret_cast<sockaddr*>(&mClientAddress), &vLen), 0);
  }
  void TearDown() override {
    ::close(mServer);
    qp_closesocket(mClient);
  }
  static sockaddr_in loopback() {
    sockaddr_in vAddr;
    std::memset(&vAddr, 0, sizeof vAddr);
    vAddr.sin_family = AF_INET;
    vAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return vAddr;
  }

  int mServer = -1;
  qp_socket_t mClient = QP_INVALID_SOCKET;
  sockaddr_in mServerAddress;
  sockaddr_in mClientAddress;
};

TEST_F(QpUdpLoopback, SendToAndReceiveFromNameThePeer) {
  ASSERT_EQ(QpWsSendTo(mClient, "hello", 5, 0, &mServerAddress, 16), 5);
  char vBuf[16] = {};
  sockaddr_in vFrom;
  socklen_t vFromLen = sizeof vFrom;
  ASSERT_EQ(
      ::recvfrom(mServer, vBuf, sizeof vBuf, 0, reinterpret_cast<sockaddr*>(&vFrom), &vFromLen), 5);
  EXPECT_STREQ(vBuf, "hello");
  ASSERT_EQ(::sendto(mServer, "reply", 5, 0, reinterpret_cast<sockaddr*>(&vFrom), vFromLen), 5);

  std::memset(vBuf, 0, sizeof vBuf);
  sockaddr_in vPeer;
  std::memset(&vPeer, 0, sizeof vPeer);
  int vPeerLen = 16;
  ASSERT_EQ(QpWsRecvFrom(mClient, vBuf, sizeof vBuf, 0, &vPeer, &vPeerLen), 5);
  EXPECT_STREQ(vBuf, "reply");
  EXPECT_EQ(vPeerLen, 16);
  EXPECT_EQ(vPeer.sin_family, AF_INET);
  EXPECT_EQ(vPeer.sin_port, mServerAddress.sin_port);
  EXPECT_EQ(vPeer.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

TEST_F(QpUdpLoopback, ReceiveTimeoutAndBadArguments) {
  const int vMillis = 200;
  ASSERT_EQ(qp_setsockopt(mClient, QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, &vMillis, 4), 0);
  char vBuf[8];
  sockaddr_in vPeer;
  int vPeerLen = 16;
  WSASetLastError(0);
  EXPECT_EQ(QpWsRecvFrom(mClient, vBuf, sizeof vBuf, 0, &vPeer, &vPeerLen), -1);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_EQ(vPeerLen, 16) << "left alone on failure";
  EXPECT_EQ(QpWsRecvFrom(mClient, vBuf, sizeof vBuf, 0, &vPeer, nullptr), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(QpWsSendTo(mClient, "x", 1, 0x40, &mServerAddress, 16), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
  EXPECT_EQ(QpWsSendTo(mClient, "x", -1, 0, &mServerAddress, 16), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

long sLastSendToFlags = 0;

long observingSendTo(int, const void*, size_t, int inFlags, const void*, unsigned) {
  sLastSendToFlags = inFlags;
  errno = ENETUNREACH;
  return -1;
}

TEST_F(QpUdpLoopback, SendToGoesThroughTheHookTable) {
  QpOsHooks vHooks{};
  vHooks.mSendTo = observingSendTo;
  StOsHooks vScope(vHooks);
  EXPECT_EQ(QpWsSendTo(mClient, "x", 1, 0, &mServerAddress, 16), -1);
  EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
  EXPECT_NE(sLastSendToFlags & MSG_NOSIGNAL, 0);
}

TEST(QpWsGetHostName, MatchesTheSystemAndRefusesASmallBuffer) {
  char vSystem[256] = {};
  ASSERT_EQ(::gethostname(vSystem, sizeof vSystem), 0);
  char vName[256];
  ASSERT_EQ(QpWsGetHostName(vName, sizeof vName), 0);
  EXPECT_STREQ(vName, vSystem);
  const int vExact = static_cast<int>(std::strlen(vSystem)) + 1;
  ASSERT_EQ(QpWsGetHostName(vName, vExact), 0) << "room for the name and its NUL is enough";
  EXPECT_STREQ(vName, vSystem);
  std::memset(vName, 'x', sizeof vName);
  EXPECT_EQ(QpWsGetHostName(vName, vExact - 1), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(vName[0], 0);
  EXPECT_EQ(QpWsGetHostName(nullptr, 10), -1);
}

TEST(QpWsGetAddrInfoIPv4, ResolvesLocalNamesAndReportsFailures) {
  unsigned long vAddress = 0;
  ASSERT_EQ(QpWsGetAddrInfoIPv4("localhost", &vAddress), 0);
  EXPECT_EQ(vAddress, static_cast<unsigned long>(htonl(INADDR_LOOPBACK)));
  EXPECT_EQ(WSAGetLastError(), 0);
  ASSERT_EQ(QpWsGetAddrInfoIPv4("127.0.0.2", &vAddress), 0);
  EXPECT_EQ(vAddress, static_cast<unsigned long>(htonl(0x7F000002)));
  vAddress = 7;
  EXPECT_EQ(QpWsGetAddrInfoIPv4("", &vAddress), WSAHOST_NOT_FOUND);
  EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
  EXPECT_EQ(vAddress, 7UL);
  EXPECT_EQ(QpWsGetAddrInfoIPv4(nullptr, &vAddress), WSAEINVAL);
}

}  // namespace
