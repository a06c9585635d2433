#include "QpPacketTestHelpers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace qptest {

Codes codesOf(QpSmartPacket& p) {
  // Independent of the library's walk: the 6-byte headers are decoded here from the raw bytes of
  // the full image (the base class's hand-out, also for packets that go out as datagrams).
  void* vData = nullptr;
  int vLen = 0;
  p.QpSmartPacket::toBytes(&vData, &vLen);
  const Bytes vImage(static_cast<unsigned char*>(vData), static_cast<unsigned char*>(vData) + vLen);
  Codes vCodes;
  for (size_t i = 12; i + 6 <= vImage.size();) {
    vCodes.push_back(static_cast<short>((vImage[i] << 8) | vImage[i + 1]));
    i += 6 + ((vImage[i + 3] << 16) | (vImage[i + 4] << 8) | vImage[i + 5]);
  }
  return vCodes;
}

std::string dumpOf(QpSmartPacket& p) {
  char* vText = p.toString();
  std::string vOut(vText);
  qp_free(vText);
  return vOut;
}

LoopbackPeer::LoopbackPeer(bool inStream, size_t inRequestLen, const Bytes& inReply)
    : mSocket(::socket(AF_INET, inStream ? SOCK_STREAM : SOCK_DGRAM, 0)) {
  sockaddr_in vAddress = {};
  vAddress.sin_family = AF_INET;
  vAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t vLen = sizeof(vAddress);
  EXPECT_EQ(::bind(mSocket, reinterpret_cast<sockaddr*>(&vAddress), sizeof(vAddress)), 0);
  EXPECT_EQ(::getsockname(mSocket, reinterpret_cast<sockaddr*>(&vAddress), &vLen), 0);
  mPort = ntohs(vAddress.sin_port);
  if (inStream) {
    EXPECT_EQ(::listen(mSocket, 1), 0);
  }
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

int MemoryConnection::send(void* inData, int inLen) {
  sent.insert(sent.end(), static_cast<unsigned char*>(inData),
              static_cast<unsigned char*>(inData) + inLen);
  return inLen;
}

int MemoryConnection::receive(void* outData, int inLen) {
  const size_t vCount = inLen < 0 ? 0 : std::min(static_cast<size_t>(inLen), mLen - mPos);
  if (vCount > 0) std::memcpy(outData, mBytes + mPos, vCount);
  mPos += vCount;
  return static_cast<int>(vCount);
}

}  // namespace qptest
