// QpNode.h - a small node of our own that answers the client protocol on 127.0.0.1, so that the
// library can be shown and tested without a cluster at hand.
//
// It answers probe requests in datagrams (UDP) with a probe reply, and on framed stream
// connections (TCP) pool-information requests, monitor open and keep-alive, and authentication
// negotiation (echoing the first protocol the client offers); any other request closes its
// connection. Every request is read and every
// reply is built with the library's own packet classes and sockets; only listening and accepting
// use the platform directly, because the library has no server sockets.
//
// Fault modes make it misbehave on purpose, one per option: a reply carrying a given control code
// and exception text, the end marker instead of a reply, a wrong marker, a reply cut off after N
// bytes (and the connection closed), and replies delayed by M milliseconds.
//
// Input from a client never stops the node: a packet that does not parse closes its connection
// (or drops its datagram) and the node serves on.
//
// Threads: start() and stop() are called from one controlling thread. While running, the node
// serves datagrams on one thread, accepts on another and gives each stream connection a thread
// of its own. stop() wakes and joins all of them; the destructor stops a running node.
#ifndef QP_NODE_H
#define QP_NODE_H

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace qpnode {

struct QpNodeOptions {
  int mUdpPort = 0;  // 0: an ephemeral port
  int mTcpPort = 0;
  // Fault modes. A control code of 0 means a normal reply.
  int mReplyCode = 0;
  std::string mReplyException;  // HPP_EXCEPTION of the replies, when not empty
  bool mEndMarker = false;      // the end marker instead of a reply
  bool mWrongMarker = false;    // a reply whose marker (magic, in datagrams) is wrong
  long mCloseAfter = -1;        // >= 0: only that many bytes of each reply, then close
  int mDelayMs = 0;             // wait before each reply
  // What the node says about itself.
  std::string mClusterId = "qpnode-cluster-0001";
  std::string mClusterName = "qpnode";
};

class QpNode {
 public:
  explicit QpNode(const QpNodeOptions& inOptions);
  ~QpNode();
  QpNode(const QpNode&) = delete;
  QpNode& operator=(const QpNode&) = delete;

  // Binds UDP and TCP on 127.0.0.1 and starts serving. False, with the reason in outError, when
  // a socket cannot be bound; nothing is left running then.
  bool start(std::string& outError);
  // Wakes every thread, closes every connection and joins them. Safe to call twice.
  void stop();

  int udpPort() const { return mUdpPort; }
  int tcpPort() const { return mTcpPort; }
  // "udp=127.0.0.1:UDPPORT tcp=127.0.0.1:TCPPORT"
  std::string endpoints() const;

 private:
  struct Connection;

  void serveDatagrams();
  void acceptConnections();
  void serveConnection(Connection* inConnection);
  // Sleeps the fault-mode delay; false when the node is stopping meanwhile.
  bool delayReply();
  // Joins the threads of connections that have ended.
  void reapFinished();

  QpNodeOptions mOptions;
  int mUdpFd = -1;  // owned by mUdp once serving
  int mTcpFd = -1;
  int mWake[2] = {-1, -1};  // a pipe whose read end becomes readable at stop
  int mUdpPort = 0;
  int mTcpPort = 0;
  std::atomic<bool> mStopping{false};
  std::atomic<int> mStreamCount{0};  // names the monitor streams handed out
  std::thread mUdpThread;
  std::thread mTcpThread;

  std::mutex mMutex;  // guards mConnections and the delay wait
  std::condition_variable mStopSignal;
  std::list<std::unique_ptr<Connection>> mConnections;
};

}  // namespace qpnode

#endif  // QP_NODE_H
