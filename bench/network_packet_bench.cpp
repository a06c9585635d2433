// A pool-information exchange on loopback (request built, sent, reply received and read) against
// a raw TCP ping-pong of the same bytes with plain send/recv, in the same run. The packet layer
// should reach at least 0.9 of the raw exchange rate: the syscalls dominate, and the framing,
// building and reading must not add much on top.
#include <QpUtilsLib.h>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes imageOf(QpSmartPacket& p) {
  void* vData = nullptr;
  int vLen = 0;
  p.toBytes(&vData, &vLen);
  return Bytes(static_cast<unsigned char*>(vData), static_cast<unsigned char*>(vData) + vLen);
}

bool readAll(int inFd, unsigned char* outBuf, size_t inLen) {
  for (size_t vGot = 0; vGot < inLen;) {
    const ssize_t n = ::recv(inFd, outBuf + vGot, inLen - vGot, 0);
    if (n <= 0) return false;
    vGot += static_cast<size_t>(n);
  }
  return true;
}

// Answers every request of inRequestLen bytes with inReply until the client closes.
class Server {
 public:
  Server(size_t inRequestLen, const Bytes& inReply) : mListener(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in vAddress = {};
    vAddress.sin_family = AF_INET;
    vAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t vLen = sizeof(vAddress);
    ::bind(mListener, reinterpret_cast<sockaddr*>(&vAddress), sizeof(vAddress));
    ::getsockname(mListener, reinterpret_cast<sockaddr*>(&vAddress), &vLen);
    ::listen(mListener, 1);
    mPort = ntohs(vAddress.sin_port);
    mThread = std::thread([this, inRequestLen, inReply] {
      const int vFd = ::accept(mListener, nullptr, nullptr);
      const int vOne = 1;
      ::setsockopt(vFd, IPPROTO_TCP, TCP_NODELAY, &vOne, sizeof(vOne));
      Bytes vRequest(inRequestLen);
      while (readAll(vFd, vRequest.data(), vRequest.size())) {
        ::send(vFd, inReply.data(), inReply.size(), MSG_NOSIGNAL);
      }
      ::close(vFd);
    });
  }
  ~Server() {
    mThread.join();
    ::close(mListener);
  }
  int port() const { return mPort; }

 private:
  int mListener;
  int mPort = 0;
  std::thread mThread;
};

Bytes poolInfoReply() {
  QpSmartPacket vReply;
  vReply.store(HPP_CONTROL, 0);
  vReply.store(HPP_POOL_CAPACITY, static_cast<QpLong>(1) << 44);
  vReply.store(HPP_POOL_FREE, static_cast<QpLong>(1) << 43);
  vReply.store(HPP_CLUSTERNAME, "cluster-north");
  vReply.store(HPP_POOL_VERSION, "4.1.0");
  vReply.store(HPP_CLUSTER_ID, "0123456789abcdef");
  vReply.store(HPP_REPLICA_LOCATIONS, "10.0.0.1,10.0.0.2");
  return imageOf(vReply);
}

void BM_PoolInfoExchange(benchmark::State& state) {
  QpStringBuffer vTid("bench-1");
  HPPGetPoolInfoRequest vRequest(&vTid);  // built once, as the raw side's bytes are
  Server vServer(imageOf(vRequest).size(), poolInfoReply());
  QpStreamSocket vSocket;
  vSocket.open(QpAddress(("127.0.0.1:" + std::to_string(vServer.port())).c_str(), 2));
  HPPGetPoolInfoReply vReply(&vTid);
  QpStringBuffer vName;
  for (auto _ : state) {
    vRequest.send(vSocket);
    vReply.receive(vSocket);
    vReply.checkControl();
    benchmark::DoNotOptimize(vReply.GetCapacity() + vReply.GetBytesFree());
    vReply.GetClusterName(vName);
  }
  vSocket.close();
  state.SetItemsProcessed(state.iterations());
}

void BM_RawPingPong(benchmark::State& state) {
  QpStringBuffer vTid("bench-1");
  HPPGetPoolInfoRequest vProbe(&vTid);
  const Bytes vRequest = imageOf(vProbe);
  const Bytes vReplyImage = poolInfoReply();
  Server vServer(vRequest.size(), vReplyImage);
  const int vFd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in vAddress = {};
  vAddress.sin_family = AF_INET;
  vAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  vAddress.sin_port = htons(static_cast<uint16_t>(vServer.port()));
  ::connect(vFd, reinterpret_cast<sockaddr*>(&vAddress), sizeof(vAddress));
  const int vOne = 1;
  ::setsockopt(vFd, IPPROTO_TCP, TCP_NODELAY, &vOne, sizeof(vOne));
  Bytes vReply(vReplyImage.size());
  for (auto _ : state) {
    ::send(vFd, vRequest.data(), vRequest.size(), MSG_NOSIGNAL);
    // Read as the framing does: marker, size, then the body.
    readAll(vFd, vReply.data(), 4);
    readAll(vFd, vReply.data() + 4, 4);
    readAll(vFd, vReply.data() + 8, vReply.size() - 8);
    benchmark::DoNotOptimize(vReply.data());
  }
  ::close(vFd);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_PoolInfoExchange)->UseRealTime();
BENCHMARK(BM_RawPingPong)->UseRealTime();
