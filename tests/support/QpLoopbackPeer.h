// QpLoopbackPeer.h - peers on 127.0.0.1 for the tests of sockets, connections and packets: a
// bound socket, and a peer thread serving one exchange. Each object is used by one test thread;
// request() waits for the peer's thread.
#ifndef QP_LOOPBACK_PEER_H
#define QP_LOOPBACK_PEER_H

#include <string>
#include <thread>
#include <vector>

#include "QpUtilsLib.h"

namespace qptest {

typedef std::vector<unsigned char> Bytes;

// A socket of inType (SOCK_STREAM: listening) bound to 127.0.0.1 on a free port; its port in
// outPort when given.
int bindLoopback(int inType, int* outPort = nullptr);

// A peer in a thread of its own, serving one exchange: it reads inRequestLen bytes (kept for
// request(); fewer when the client closes first), then writes inReply and closes. Stream peers
// accept one connection; datagram peers read one datagram and answer its sender with inReply as
// one datagram.
class LoopbackPeer {
 public:
  LoopbackPeer(bool inStream, size_t inRequestLen, const Bytes& inReply);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;
  // "127.0.0.1:<port>:<port>" (the port also as datagram port, for datagram peers).
  QpAddress address() const;
  const Bytes& request();  // waits for the exchange to end

 private:
  int mPort = 0;
  int mSocket;
  Bytes mRequest;
  std::thread mThread;
};

}  // namespace qptest

#endif  // QP_LOOPBACK_PEER_H
