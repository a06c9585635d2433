// Tests of the OS layer (qpos32.h): what the rest of the library relies on beyond the POSIX
// namesakes. The socket tests use the loopback interface only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "QpFaultInjection.h"
#include "QpOsHooks.h"
#include "QpWinsock.h"
#include "qpos32.h"

namespace {

TEST(QpStrings, CaseCompareAndUpper) {
  EXPECT_EQ(qp_strcasecmp("HeLLo", "hello"), 0);
  EXPECT_GT(qp_strcasecmp("abc", "AB"), 0);
  EXPECT_NE(qp_strcasecmp("\xC4", "\xE4"), 0) << "ASCII letters only";
  EXPECT_NE(qp_strcasecmp("@", "`"), 0) << "the case bit of a non-letter";
  EXPECT_EQ(qp_strcasecmp("AZ", "az"), 0);
  char vText[] = "abc-XyZ \xC3\xA9z";
  EXPECT_EQ(qp_strupr(vText), vText);
  EXPECT_STREQ(vText, "ABC-XYZ \xC3\xA9Z");
}

TEST(QpMbstowcs, DecodesUtf8IntoSixteenBitUnits) {
  const char* vText = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, e-acute, euro, U+1F600
  QpWChar vOut[8] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  ASSERT_EQ(qp_mbstowcs(vOut, vText, 8), 5u);
  const QpWChar vWant[] = {0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0, 0xFFFF};
  EXPECT_TRUE(std::equal(vWant, vWant + 7, vOut));
  vOut[3] = 0xFFFF;
  EXPECT_EQ(qp_mbstowcs(vOut, vText, 4), 3u);
  EXPECT_EQ(vOut[3], 0xFFFF) << "no half pair, no terminator without room";
  for (const char* vBad : {"\x80", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
    EXPECT_EQ(qp_mbstowcs(vOut, vBad, 8), static_cast<size_t>(-1)) << vBad;
}

// A TCP socket bound to 127.0.0.1 with POSIX calls; mClient reaches it through qp_ calls.
class QpTcpLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    socklen_t vLen = sizeof mAddress;
    ASSERT_EQ(::bind(mListener, reinterpret_cast<sockaddr*>(&mAddress), vLen), 0);
    ASSERT_EQ(::getsockname(mListener, reinterpret_cast<sockaddr*>(&mAddress), &vLen), 0);
    ASSERT_NE(mClient = qp_socket(QP_WS_AF_INET, QP_WS_SOCK_STREAM, 0), QP_INVALID_SOCKET);
  }
  void TearDown() override {
    ::close(mPeer);
    qp_closesocket(mClient);
    ::close(mListener);
  }
  void connectClient() {
    ASSERT_EQ(::listen(mListener, 4), 0);
    ASSERT_EQ(qp_connect(mClient, &mAddress, 16), 0);  // the 16-byte IPv4 socket address
    ASSERT_GE(mPeer = ::accept(mListener, nullptr, nullptr), 0);
  }
  // The Winsock error of a refused qp_setsockopt, 0 when it was accepted.
  int set(int inLevel, int inOption, const void* inValue, int inLen = 4) {
    WSASetLastError(0);
    return qp_setsockopt(mClient, inLevel, inOption, inValue, inLen) == 0 ? 0 : WSAGetLastError();
  }
  template <class T>
  T get(int inLevel, int inOption) {
    T vValue{};
    socklen_t vLen = sizeof vValue;
    EXPECT_EQ(::getsockopt(mClient, inLevel, inOption, &vValue, &vLen), 0);
    return vValue;
  }

  int mListener = ::socket(AF_INET, SOCK_STREAM, 0), mPeer = -1;
  qp_socket_t mClient = QP_INVALID_SOCKET;
  sockaddr_in mAddress = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
};

TEST_F(QpTcpLoopback, SendReceiveAndPeerCloseWithoutSigpipe) {
  connectClient();
  char vBuf[8] = {};
  ASSERT_EQ(qp_send(mClient, "ping", 4, 0), 4);
  ASSERT_EQ(::recv(mPeer, vBuf, 4, MSG_WAITALL), 4);
  EXPECT_STREQ(vBuf, "ping");
  ASSERT_EQ(::send(mPeer, "pong!", 5, 0), 5);
  ::close(mPeer);
  mPeer = -1;
  ASSERT_EQ(qp_recv(mClient, vBuf, 5, QP_WS_MSG_WAITALL), 5);
  EXPECT_STREQ(vBuf, "pong!");
  // The reset that a first send provokes fails a later one: with SIGPIPE that would end the test.
  int vResult = 0;
  for (int i = 0; i < 100 && vResult >= 0; ++i) vResult = qp_send(mClient, "x", 1, 0);
  ASSERT_EQ(vResult, -1);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(QpTcpLoopback, OptionsAreTranslatedOrRefused) {
  const int vOn = 1, vSendTimeout = 1500;
  const QpWsLinger vLinger = {1, 7};
  ASSERT_EQ(set(QP_WS_SOL_SOCKET, QP_WS_SO_SNDTIMEO, &vSendTimeout), 0);
  ASSERT_EQ(set(QP_WS_SOL_SOCKET, QP_WS_SO_LINGER, &vLinger), 0);
  EXPECT_EQ(get<timeval>(SOL_SOCKET, SO_SNDTIMEO).tv_sec, 1);
  EXPECT_EQ(get<timeval>(SOL_SOCKET, SO_SNDTIMEO).tv_usec, 500000);
  EXPECT_EQ(get<linger>(SOL_SOCKET, SO_LINGER).l_onoff, 1);
  EXPECT_EQ(get<linger>(SOL_SOCKET, SO_LINGER).l_linger, 7);
  EXPECT_EQ(set(QP_WS_SOL_SOCKET, 0x7777, &vOn), 10042);  // WSAENOPROTOOPT
  EXPECT_EQ(set(QP_WS_SOL_SOCKET, QP_WS_SO_RCVTIMEO, &vOn, 2), WSAEFAULT);
  EXPECT_EQ(qp_send(mClient, "x", 1, 0x40), -1) << "an unknown message flag";
  EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
}

int sSendFlags = 0, sSendCalls = 0;

TEST(QpSockets, FailuresSetTheWinsockErrorAndTheHooksAreReached) {
  EXPECT_EQ(qp_socket(99, QP_WS_SOCK_STREAM, 0), QP_INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
  QpOsHooks vHooks{};  // null entries: the platform's
  sSendCalls = 0;
  vHooks.mSocket = [](int, int, int) { return errno = EMFILE, -1; };
  vHooks.mSend = [](int, const void*, size_t inLen, int inFlags) -> long {
    sSendFlags = inFlags;
    return ++sSendCalls == 1 ? (errno = EINTR, -1) : static_cast<long>(inLen);
  };
  StOsHooks vScope(vHooks);
  EXPECT_EQ(qp_socket(QP_WS_AF_INET, QP_WS_SOCK_STREAM, 0), QP_INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEMFILE);
  EXPECT_EQ(qp_send(12345, "abc", 3, 0), 3) << "EINTR is retried";
  EXPECT_EQ(sSendCalls, 2);
  EXPECT_NE(sSendFlags & MSG_NOSIGNAL, 0);
}

}  // namespace
