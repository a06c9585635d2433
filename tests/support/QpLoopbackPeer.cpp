#include "QpLoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace qptest {

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
  if (outPort != nullptr) *outPort = ntohs(vAddress.sin_port);
  return vFd;
}

LoopbackPeer::LoopbackPeer(bool inStream, size_t inRequestLen, const Bytes& inReply)
    : mSocket(bindLoopback(inStream ? SOCK_STREAM : SOCK_DGRAM, &mPort)) {
  mThread = std::thread([this, inStream, inRequestLen, inReply] {
    if (inStream) {
      const int vFd = ::accept(mSocket, nullptr, nullptr);
      mRequest.resize(inRequestLen);
      size_t vGot = 0;
      for (ssize_t n = 1; vGot < inRequestLen && n > 0; vGot += n > 0 ? n : 0) {
        n = ::recv(vFd, mRequest.data() + vGot, inRequestLen - vGot, 0);
      }
      mRequest.resize(vGot);
      // The client may have gone already (a failed receive closes nothing, but a test may end).
      for (size_t vSent = 0; vSent < inReply.size();) {
        const ssize_t n = ::send(vFd, inReply.data() + vSent, inReply.size() - vSent, MSG_NOSIGNAL);
        if (n <= 0) break;
        vSent += n;
      }
      ::close(vFd);
    } else {
      sockaddr_in vFrom = {};
      socklen_t vFromLen = sizeof(vFrom);
      mRequest.resize(65536);
      const ssize_t n = ::recvfrom(mSocket, mRequest.data(), mRequest.size(), 0,
                                   reinterpret_cast<sockaddr*>(&vFrom), &vFromLen);
      mRequest.resize(n > 0 ? n : 0);
      ::sendto(mSocket, inReply.data(), inReply.size(), 0, reinterpret_cast<sockaddr*>(&vFrom),
               vFromLen);
    }
  });
}

LoopbackPeer::~LoopbackPeer() {
  if (mThread.joinable()) mThread.join();
  ::close(mSocket);
}

QpAddress LoopbackPeer::address() const {
  const std::string vPort = std::to_string(mPort);
  return QpAddress(("127.0.0.1:" + vPort + ":" + vPort).c_str(), 2);
}

const Bytes& LoopbackPeer::request() {
  if (mThread.joinable()) mThread.join();
  return mRequest;
}

}  // namespace qptest
