// Tests of the OS layer (qpos32.h): what the rest of the library relies on beyond the POSIX
// namesakes. Sending and receiving are tested through the sockets of tests/connection.
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

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

// Winsock options and flags reach the platform translated, or are refused with Winsock's error.
TEST(QpSockets, OptionsAreTranslatedOrRefused) {
  const qp_socket_t vSocket = qp_socket(QP_WS_AF_INET, QP_WS_SOCK_STREAM, 0);
  auto vSet = [&](int inOption, const void* inValue, int inLen) {
    WSASetLastError(0);
    return qp_setsockopt(vSocket, QP_WS_SOL_SOCKET, inOption, inValue, inLen) == 0
               ? 0
               : WSAGetLastError();
  };
  const int vOn = 1, vSendTimeout = 1500;
  const QpWsLinger vLinger = {1, 7};
  ASSERT_EQ(vSet(QP_WS_SO_SNDTIMEO, &vSendTimeout, 4), 0);
  ASSERT_EQ(vSet(QP_WS_SO_LINGER, &vLinger, 4), 0);
  timeval vTimeout{};
  linger vPlatformLinger{};
  socklen_t vLen = sizeof vTimeout;
  ::getsockopt(vSocket, SOL_SOCKET, SO_SNDTIMEO, &vTimeout, &vLen);
  vLen = sizeof vPlatformLinger;
  ::getsockopt(vSocket, SOL_SOCKET, SO_LINGER, &vPlatformLinger, &vLen);
  EXPECT_EQ(vTimeout.tv_sec * 1000000 + vTimeout.tv_usec, 1500000);
  EXPECT_EQ(vPlatformLinger.l_onoff * 100 + vPlatformLinger.l_linger, 107);
  EXPECT_EQ(vSet(0x7777, &vOn, 4), 10042);  // WSAENOPROTOOPT
  EXPECT_EQ(vSet(QP_WS_SO_RCVTIMEO, &vOn, 2), WSAEFAULT);
  EXPECT_EQ(qp_send(vSocket, "x", 1, 0x40), -1) << "an unknown message flag";
  EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
  qp_closesocket(vSocket);
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
