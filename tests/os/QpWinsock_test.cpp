// Tests of the Winsock shim (QpWinsock.h): counted start-up, the per-thread last error, the errno
// mapping and the direct calls of the transport, over the loopback interface only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "QpWinsock.h"
#include "qpos32.h"

namespace {

// Nothing else in this program starts Winsock, so every test leaves the count at zero.
TEST(QpWsaStartup, CountsGrantedStartsOnly) {
  WSADATA vData;
  EXPECT_EQ(WSAStartup(0x0000, &vData), WSAVERNOTSUPPORTED);
  ASSERT_EQ(WSAStartup(0x0101, &vData), 0);
  EXPECT_EQ(vData.wVersion, 0x0101);
  ASSERT_EQ(WSAStartup(0x0303, &vData), 0);
  EXPECT_EQ(vData.wVersion, 0x0202) << "a request above 2.2 is granted 2.2";
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), 0);
  WSASetLastError(0);
  EXPECT_EQ(WSACleanup(), -1) << "the refused requests were counted";
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(QpWsaStartup, CountStaysExactUnderTwoThreads) {
  auto vChurn = [] {
    WSADATA vData;
    for (int i = 0; i < 2000; ++i) {
      ASSERT_EQ(WSAStartup(0x0101, &vData) + WSAStartup(0x0101, &vData), 0);
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
  int vTheirsAtStart = -1, vTheirsAfterFailure = -1;
  std::thread([&] {
    vTheirsAtStart = WSAGetLastError();
    EXPECT_EQ(qp_socket(99, QP_WS_SOCK_STREAM, 0), QP_INVALID_SOCKET);
    vTheirsAfterFailure = WSAGetLastError();
  }).join();
  EXPECT_EQ(vTheirsAtStart, 0);
  EXPECT_EQ(vTheirsAfterFailure, WSAEAFNOSUPPORT);
  EXPECT_EQ(WSAGetLastError(), 111) << "another thread's failure left this thread's error alone";
}

TEST(QpWsErrorFromErrno, MapsWhatTheTransportSees) {
  const int kErrno[] = {0,     EAGAIN, ETIMEDOUT,    ECONNREFUSED, ECONNRESET,
                        EPIPE, ENOMEM, EHOSTUNREACH, ENOTCONN};
  const int kWinsock[] = {
      0,          WSAETIMEDOUT,    WSAETIMEDOUT, WSAECONNREFUSED, WSAECONNRESET, WSAECONNRESET,
      WSAENOBUFS, WSAEHOSTUNREACH, WSAENOTCONN};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(QpWsErrorFromErrno(kErrno[i]), kWinsock[i]) << kErrno[i];
  // Without a Winsock counterpart the errno stays readable and lands on no Winsock number.
  EXPECT_EQ(QpWsErrorFromErrno(ENOENT), QP_WS_ERRNO_BASE + ENOENT);
}

TEST(QpWsDatagramsAndNames, PeerAddressesTimeoutsAndHostNames) {
  sockaddr_in vServerAddr = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}}, vPeer = {};
  socklen_t vLen = sizeof vServerAddr;
  const int vServer = ::socket(AF_INET, SOCK_DGRAM, 0);
  const qp_socket_t vClient = qp_socket(QP_WS_AF_INET, QP_WS_SOCK_DGRAM, 0);
  ASSERT_EQ(::bind(vServer, reinterpret_cast<sockaddr*>(&vServerAddr), vLen), 0);
  ASSERT_EQ(::getsockname(vServer, reinterpret_cast<sockaddr*>(&vServerAddr), &vLen), 0);
  ASSERT_EQ(QpWsSendTo(vClient, "hello", 5, 0, &vServerAddr, 16), 5);
  char vBuf[16] = {};
  ASSERT_EQ(::recvfrom(vServer, vBuf, sizeof vBuf, 0, reinterpret_cast<sockaddr*>(&vPeer), &vLen),
            5);
  ASSERT_EQ(::sendto(vServer, "reply", 5, 0, reinterpret_cast<sockaddr*>(&vPeer), vLen), 5);
  int vPeerLen = 16;
  ASSERT_EQ(QpWsRecvFrom(vClient, vBuf, sizeof vBuf, 0, &vPeer, &vPeerLen), 5);
  EXPECT_STREQ(vBuf, "reply");
  EXPECT_EQ(vPeer.sin_port, vServerAddr.sin_port);
  const int vMillis = 100;
  ASSERT_EQ(qp_setsockopt(vClient, QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, &vMillis, 4), 0);
  EXPECT_EQ(QpWsRecvFrom(vClient, vBuf, sizeof vBuf, 0, &vPeer, &vPeerLen), -1);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  ::close(vServer);
  qp_closesocket(vClient);

  char vSystem[256] = {}, vName[256];
  ASSERT_EQ(::gethostname(vSystem, sizeof vSystem), 0);
  const int vExact = static_cast<int>(std::strlen(vSystem)) + 1;
  ASSERT_EQ(QpWsGetHostName(vName, vExact), 0) << "room for the name and its NUL is enough";
  EXPECT_STREQ(vName, vSystem);
  EXPECT_EQ(QpWsGetHostName(vName, vExact - 1), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  unsigned long vAddress = 0;
  ASSERT_EQ(QpWsGetAddrInfoIPv4("localhost", &vAddress), 0);
  EXPECT_EQ(vAddress, static_cast<unsigned long>(htonl(INADDR_LOOPBACK)));
}

}  // namespace
