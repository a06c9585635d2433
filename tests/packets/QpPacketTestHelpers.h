// QpPacketTestHelpers.h - byte helpers shared by the packet tests (peers: QpLoopbackPeer.h).
#ifndef QP_PACKET_TEST_HELPERS_H
#define QP_PACKET_TEST_HELPERS_H

#include <string>
#include <vector>

#include "QpLoopbackPeer.h"
#include "QpUtilsLib.h"

namespace qptest {

// "01 2C 75 98" -> bytes; blanks are ignored.
inline Bytes hex(const char* inText) {
  Bytes vOut;
  for (const char* p = inText; *p != 0; ++p)
    if (*p != ' ')
      vOut.push_back(static_cast<unsigned char>(std::stoi(std::string(p++, 2), 0, 16)));
  return vOut;
}

// The packet's whole image as toBytes hands it out, or without its 12-byte header.
inline Bytes imageOf(QpSmartPacket& p, size_t inSkip = 0) {
  void* vData = nullptr;
  int vLen = 0;
  p.toBytes(&vData, &vLen);
  return Bytes(static_cast<unsigned char*>(vData) + inSkip,
               static_cast<unsigned char*>(vData) + vLen);
}
inline Bytes fieldsOf(QpSmartPacket& p) {
  return imageOf(p, 12);
}

typedef std::vector<int> Codes;
// The codes of the packet's fields in image order, read from the bytes toBytes hands out.
Codes codesOf(QpSmartPacket& p);
// The packet's text (toString) as a std::string.
std::string dumpOf(QpSmartPacket& p);

// An in-memory connection: receive hands out inBytes in order (short counts at the end), send
// appends to sent.
class MemoryConnection : public QpConnection {
 public:
  MemoryConnection(const unsigned char* inBytes, size_t inLen) : mBytes(inBytes), mLen(inLen) {}
  void open(const QpAddress&) override {}
  void close() override {}
  int send(void* inData, int inLen) override;
  int receive(void* outData, int inLen) override;
  Bytes sent;

 protected:
  int GetLastError() override { return 0; }

 private:
  const unsigned char* mBytes;
  size_t mLen;
  size_t mPos = 0;
};

}  // namespace qptest

#endif  // QP_PACKET_TEST_HELPERS_H
