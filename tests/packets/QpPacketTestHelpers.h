// QpPacketTestHelpers.h - byte helpers shared by the packet tests.
#ifndef QP_PACKET_TEST_HELPERS_H
#define QP_PACKET_TEST_HELPERS_H

#include <string>
#include <vector>

#include "QpUtilsLib.h"

namespace qptest {

typedef std::vector<unsigned char> Bytes;

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

}  // namespace qptest

#endif  // QP_PACKET_TEST_HELPERS_H
