// The loopback node: listening and accepting (the only platform calls, in the first block),
// then the replies, built and sent with the library's packet classes and sockets.
#include "QpNode.h"

#include <QpUtilsLib.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qpnode {

namespace {

// ---- Listening sockets -------------------------------------------------------------------------
// The library's sockets only connect, so the node binds, listens and accepts here and hands each
// descriptor to a library socket, which reads, writes and closes it from then on.

std::string systemError(const char* inWhat) {
  return std::string(inWhat) + ": " + std::strerror(errno);
}

// A socket of inType bound to 127.0.0.1:inPort (0: ephemeral), listening when it is a stream.
int bindLoopback(int inType, int inPort, int& outPort, std::string& outError) {
  const int vFd = ::socket(AF_INET, inType | SOCK_CLOEXEC, 0);
  if (vFd < 0) {
    outError = systemError("socket");
    return -1;
  }
  const int vOne = 1;
  if (inType == SOCK_STREAM) ::setsockopt(vFd, SOL_SOCKET, SO_REUSEADDR, &vOne, sizeof vOne);
  sockaddr_in vAddress{};
  vAddress.sin_family = AF_INET;
  vAddress.sin_port = htons(static_cast<uint16_t>(inPort));
  vAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t vLen = sizeof vAddress;
  if (::bind(vFd, reinterpret_cast<sockaddr*>(&vAddress), sizeof vAddress) != 0) {
    outError = systemError(inType == SOCK_STREAM ? "cannot bind TCP port" : "cannot bind UDP port");
  } else if (inType == SOCK_STREAM && ::listen(vFd, 64) != 0) {
    outError = systemError("listen");
  } else if (::getsockname(vFd, reinterpret_cast<sockaddr*>(&vAddress), &vLen) != 0) {
    outError = systemError("getsockname");
  } else {
    outPort = ntohs(vAddress.sin_port);
    return vFd;
  }
  ::close(vFd);
  return -1;
}

// Waits until inFd has input; false once the wake pipe has become readable (the node stops).
bool waitReadable(int inFd, int inWake) {
  for (;;) {
    pollfd vPoll[2] = {{inFd, POLLIN, 0}, {inWake, POLLIN, 0}};
    if (::poll(vPoll, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (vPoll[1].revents != 0) return false;
    if (vPoll[0].revents != 0) return true;
  }
}

int acceptOne(int inFd) {
  return ::accept4(inFd, nullptr, nullptr, SOCK_CLOEXEC);
}

void closeFd(int& ioFd) {
  if (ioFd >= 0) ::close(ioFd);
  ioFd = -1;
}

// The library's sockets take a descriptor as an opaque handle.
void* handleOf(int inFd) {
  return reinterpret_cast<void*>(static_cast<std::intptr_t>(inFd));
}

// ---- Replies -----------------------------------------------------------------------------------

// Fields without a name of their own: the replica addresses, one per array element.
const short kClientReplicaArray = 161;
const short kServerReplicaArray = 374;

const int kSegmentSize = 102400;
const QpLong kIdleTimeoutSeconds = 120;
const QpLong kCapacity = 1099511627776LL;  // 1 TiB
const QpLong kFree = 824633720832LL;       // 768 GiB
const char* const kPoolVersion = "qpnode-1.0";
const char* const kCapabilities = "read,write,delete,exist,query,monitor";
const char* const kReplica = "127.0.0.2:3218";
const short kProbeLoad = 10;
const int kMonitorOpen = 0;
const int kMonitorKeepAlive = 21;
const int kIdleMillis = 60000;  // a client silent that long loses its connection

QpLong nowMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void storeList(NetworkPacket& ioReply, short inCode, const std::string& inList) {
  QpStringBuffer vList(inList.c_str());
  ioReply.store(inCode, &vList, ',');
}

// The fields every reply carries: version, family, the request's transaction id, and the control
// code and exception text that the fault mode asks for.
void startReply(NetworkPacket& ioReply, NetworkPacket& inRequest, int inFamily,
                const QpNodeOptions& inOptions) {
  ioReply.store(NET_VERSION, NetworkPacket::kProtocolVersion);
  ioReply.store(NET_MESSAGEID, inFamily);
  if (inRequest.GetFieldType(NET_TRANSACTIONID) == 2) {
    QpStringBuffer vId;
    inRequest.GetString(NET_TRANSACTIONID, vId);
    ioReply.store(NET_TRANSACTIONID, &vId);
  }
  ioReply.store(HPP_CONTROL, inOptions.mReplyCode);
  if (!inOptions.mReplyException.empty()) {
    ioReply.store(HPP_EXCEPTION, inOptions.mReplyException.c_str());
  }
}

// Sends inReply as the fault mode wants it. False when the connection is to be closed after it.
bool sendReply(QpConnection& ioConnection, NetworkPacket& inReply, const QpNodeOptions& inOptions) {
  const bool vMangled =
      inOptions.mEndMarker || inOptions.mWrongMarker || inOptions.mCloseAfter >= 0;
  if (!vMangled) {
    inReply.send(ioConnection);
    return true;
  }
  void* vData = nullptr;
  int vLen = 0;
  inReply.toBytes(&vData, &vLen);  // framed, or from the magic on for a datagram reply
  std::vector<char> vBytes(static_cast<char*>(vData), static_cast<char*>(vData) + vLen);
  if (inOptions.mEndMarker) {
    vBytes.assign(QpSmartPacket::GetEOFMarker(), QpSmartPacket::GetEOFMarker() + 4);
  } else if (inOptions.mWrongMarker && vBytes.size() >= 4) {
    std::memcpy(vBytes.data(), "HTTP", 4);
  }
  if (inOptions.mCloseAfter >= 0 && static_cast<size_t>(inOptions.mCloseAfter) < vBytes.size()) {
    vBytes.resize(static_cast<size_t>(inOptions.mCloseAfter));
  }
  // Nothing at all is also a reply that is cut off (the socket refuses an empty send).
  if (!vBytes.empty()) ioConnection.send(vBytes.data(), static_cast<int>(vBytes.size()));
  return false;
}

// The answer to one framed request, or null when the connection is to be closed.
std::unique_ptr<NetworkPacket> answer(NetworkPacket& inRequest, const QpNodeOptions& inOptions,
                                      std::atomic<int>& ioStreamCount) {
  const int vFamily = inRequest.GetInt(NET_MESSAGEID, -1);
  std::unique_ptr<NetworkPacket> vReply;
  if (vFamily == PoolClientPacket::kMessageId &&
      inRequest.GetInt(HPP_OPCODE, -1) == HPPGetPoolInfoRequest::kGetPoolInfo) {
    vReply = std::make_unique<HPPGetPoolInfoReply>(nullptr);
    startReply(*vReply, inRequest, vFamily, inOptions);
    vReply->store(HPP_OPCODE, HPPGetPoolInfoRequest::kGetPoolInfo);
    vReply->store(HPP_POOL_CAPACITY, kCapacity);
    vReply->store(HPP_POOL_FREE, kFree);
    vReply->store(HPP_CLUSTERNAME, inOptions.mClusterName.c_str());
    vReply->store(HPP_POOL_VERSION, kPoolVersion);
    vReply->store(HPP_CLUSTER_ID, inOptions.mClusterId.c_str());
    vReply->store(HPP_CAPABILITIES, kCapabilities);
    storeList(*vReply, kClientReplicaArray, kReplica);
    vReply->store(HPP_REPLICA_LOCATIONS, kReplica);
  } else if (vFamily == MonitorPacket::kMessageId) {
    const int vCode = inRequest.GetInt(MONITOR_OPCODE, -1);
    if (vCode != kMonitorOpen && vCode != kMonitorKeepAlive) return nullptr;
    vReply = std::make_unique<MonitorOpenAccept>(nullptr);
    startReply(*vReply, inRequest, vFamily, inOptions);
    vReply->store(MONITOR_FRMP_VERSION, MonitorPacket::kFrmpVersion);
    vReply->store(MONITOR_OPCODE, vCode);
    if (vCode == kMonitorOpen) {
      const std::string vStream = "qpnode-stream-" + std::to_string(++ioStreamCount);
      vReply->store(MONITOR_STREAM_ID, vStream.c_str());
      vReply->store(MONITOR_IDLETIMEOUT, static_cast<int>(kIdleTimeoutSeconds));
    }
  } else if (vFamily == AuthenticationNegationPacket::kMessageId) {
    // The request is read through the negotiation class, which knows where the protocols are.
    void* vData = nullptr;
    int vLen = 0;
    inRequest.toBytes(&vData, &vLen);
    AuthNegationReply vOffer(nullptr);
    vOffer.fromBytes(vData, vLen);
    QpStringBuffer vScheme;
    QpStringBuffer vProtocol;
    if (vOffer.GetFieldType(AUTH_NEG_SCHEME) == 2) vOffer.GetScheme(vScheme);
    if (vOffer.GetExists(AUTH_NEG_PROTOCOLS)) vOffer.GetProtocols(vProtocol);
    vReply = std::make_unique<AuthNegationReply>(nullptr);
    startReply(*vReply, inRequest, vFamily, inOptions);
    vReply->store(HPP_VERSION, 1);
    vReply->store(AUTH_NEG_OPCODE, AuthNegationRequest::kNegotiate);
    vReply->store(AUTH_NEG_SCHEME, &vScheme);
    // No protocol offered: nothing to agree on, which the error code says.
    vReply->store(AUTH_NEG_ERROR_CODE, vProtocol.isEmpty() ? 1 : 0);
    if (!vProtocol.isEmpty()) {
      AuthNegationReply vChosen(nullptr);
      vChosen.store(0, 1);
      vChosen.store(1, &vProtocol);
      vReply->store(AUTH_NEG_PROTOCOLS, vChosen);
    }
  }
  return vReply;
}

}  // namespace

struct QpNode::Connection {
  int mFd = -1;
  bool mClosed = false;  // under QpNode::mMutex: the descriptor may be closed or reused
  std::atomic<bool> mDone{false};
  std::thread mThread;
};

QpNode::QpNode(const QpNodeOptions& inOptions) : mOptions(inOptions) {}

QpNode::~QpNode() {
  stop();
}

std::string QpNode::endpoints() const {
  return "udp=127.0.0.1:" + std::to_string(mUdpPort) + " tcp=127.0.0.1:" + std::to_string(mTcpPort);
}

bool QpNode::start(std::string& outError) {
  mStopping = false;
  if (::pipe2(mWake, O_CLOEXEC) != 0) {
    outError = systemError("pipe");
    return false;
  }
  mUdpFd = bindLoopback(SOCK_DGRAM, mOptions.mUdpPort, mUdpPort, outError);
  if (mUdpFd >= 0) mTcpFd = bindLoopback(SOCK_STREAM, mOptions.mTcpPort, mTcpPort, outError);
  if (mTcpFd < 0) {
    closeFd(mUdpFd);
    closeFd(mTcpFd);
    closeFd(mWake[0]);
    closeFd(mWake[1]);
    return false;
  }
  mUdpThread = std::thread(&QpNode::serveDatagrams, this);
  mTcpThread = std::thread(&QpNode::acceptConnections, this);
  return true;
}

void QpNode::stop() {
  if (mWake[1] < 0) return;  // never started, or stopped already
  {
    std::lock_guard<std::mutex> vLock(mMutex);
    mStopping = true;
    mStopSignal.notify_all();
    // A connection blocked in a read ends at once; its thread closes the descriptor itself.
    for (auto& vConnection : mConnections) {
      if (!vConnection->mClosed) ::shutdown(vConnection->mFd, SHUT_RDWR);
    }
  }
  const char vByte = 0;
  while (::write(mWake[1], &vByte, 1) < 0 && errno == EINTR) {
  }
  if (mUdpThread.joinable()) mUdpThread.join();
  if (mTcpThread.joinable()) mTcpThread.join();
  std::list<std::unique_ptr<Connection>> vConnections;
  {
    std::lock_guard<std::mutex> vLock(mMutex);
    vConnections.swap(mConnections);
  }
  for (auto& vConnection : vConnections) vConnection->mThread.join();
  mUdpFd = -1;  // closed by the datagram socket that adopted it
  closeFd(mTcpFd);
  closeFd(mWake[0]);
  closeFd(mWake[1]);
}

bool QpNode::delayReply() {
  if (mOptions.mDelayMs <= 0) return !mStopping;
  std::unique_lock<std::mutex> vLock(mMutex);
  return !mStopSignal.wait_for(vLock, std::chrono::milliseconds(mOptions.mDelayMs),
                               [this] { return mStopping.load(); });
}

void QpNode::serveDatagrams() {
  QpDatagramSocket vSocket;
  try {
    vSocket.accept(handleOf(mUdpFd));
  } catch (QpException&) {
    ::close(mUdpFd);  // only the start of the socket library fails, before the adoption
    return;
  }
  while (waitReadable(mUdpFd, mWake[0])) {
    try {
      PoolServerPacket vRequest;
      vRequest.receive(vSocket);
      // Only probes are answered; any other datagram is dropped, as is one that does not parse.
      if (vRequest.GetInt(NET_MESSAGEID, -1) != PoolServerPacket::kMessageId ||
          vRequest.GetInt(POOLSERVER_OPCODE, -1) != HPPProbeRequest::kProbe) {
        continue;
      }
      HPPProbeReply vReply(nullptr);
      startReply(vReply, vRequest, PoolServerPacket::kMessageId, mOptions);
      vReply.store(POOLSERVER_VERSION, PoolPacket::kPoolVersion);
      vReply.store(POOLSERVER_OPCODE, HPPProbeRequest::kProbe);
      vReply.store(POOLSERVER_CLUSTER_ID, mOptions.mClusterId.c_str());
      vReply.store(POOLSERVER_SEGMENT_SIZE, kSegmentSize);
      vReply.store(POOLSERVER_IDLE_TIMEOUT, kIdleTimeoutSeconds);
      vReply.store(POOLSERVER_CLUSTER_TIMESTAMP, nowMillis());
      const std::string vAccess = "127.0.0.1:" + std::to_string(mTcpPort);
      vReply.store(POOLSERVER_NUM_PROBE_IP, 1);
      vReply.store(POOLSERVER_PROBE_IP1, vAccess.c_str());
      storeList(vReply, POOLSERVER_PROBE_ALL,
                vAccess + "; load = " + std::to_string(static_cast<int>(kProbeLoad)));
      vReply.store(POOLSERVER_CAPABILITIES, kCapabilities);
      storeList(vReply, kServerReplicaArray, kReplica);
      vReply.store(POOLSERVER_REPLICA, kReplica);
      vReply.store(POOLSERVER_ARBITRARY_MMETA_VER, "1");
      if (!delayReply()) break;
      sendReply(vSocket, vReply, mOptions);
    } catch (QpException&) {
      // A malformed datagram, or a peer that has gone: nothing to answer.
    }
  }
}

void QpNode::acceptConnections() {
  while (waitReadable(mTcpFd, mWake[0])) {
    const int vFd = acceptOne(mTcpFd);
    if (vFd < 0) {
      // Out of descriptors, or a client that gave up before it was accepted: wait a moment
      // rather than spin on a listener that stays readable.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        std::unique_lock<std::mutex> vLock(mMutex);
        mStopSignal.wait_for(vLock, std::chrono::milliseconds(50),
                             [this] { return mStopping.load(); });
      }
      continue;
    }
    reapFinished();
    std::lock_guard<std::mutex> vLock(mMutex);
    if (mStopping) {
      ::close(vFd);
      break;
    }
    mConnections.push_back(std::make_unique<Connection>());
    Connection* vConnection = mConnections.back().get();
    vConnection->mFd = vFd;
    try {
      vConnection->mThread = std::thread(&QpNode::serveConnection, this, vConnection);
    } catch (std::exception&) {
      ::close(vFd);
      mConnections.pop_back();
    }
  }
}

void QpNode::reapFinished() {
  std::list<std::unique_ptr<Connection>> vFinished;
  {
    std::lock_guard<std::mutex> vLock(mMutex);
    for (auto vIt = mConnections.begin(); vIt != mConnections.end();) {
      auto vNext = std::next(vIt);
      if ((*vIt)->mDone) vFinished.splice(vFinished.end(), mConnections, vIt);
      vIt = vNext;
    }
  }
  for (auto& vConnection : vFinished) vConnection->mThread.join();
}

void QpNode::serveConnection(Connection* inConnection) {
  {
    QpStreamSocket vSocket;
    bool vAdopted = false;
    try {
      vSocket.setTimeout(kIdleMillis);
      vSocket.accept(handleOf(inConnection->mFd));
      vAdopted = true;
      while (!mStopping) {
        NetworkPacket vRequest;
        vRequest.receive(vSocket);  // raises on a closed, silent or malformed stream
        std::unique_ptr<NetworkPacket> vReply = answer(vRequest, mOptions, mStreamCount);
        if (vReply == nullptr || !delayReply()) break;
        if (!sendReply(vSocket, *vReply, mOptions)) break;
      }
    } catch (QpException&) {
      // The connection ends; the node serves on.
    }
    std::lock_guard<std::mutex> vLock(mMutex);
    inConnection->mClosed = true;
    if (!vAdopted) ::close(inConnection->mFd);  // as in serveDatagrams
  }
  // vSocket has closed the descriptor when it went out of scope above.
  inConnection->mDone = true;
}

}  // namespace qpnode
