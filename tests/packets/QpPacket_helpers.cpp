#include "QpPacketTestHelpers.h"

#include <string>

namespace qptest {

Bytes hex(const char* inText) {
  Bytes vOut;
  for (const char* p = inText; *p != 0; ++p) {
    if (*p == ' ') continue;
    vOut.push_back(static_cast<unsigned char>(std::stoi(std::string(p, 2), nullptr, 16)));
    ++p;
  }
  return vOut;
}

Bytes imageOf(QpSmartPacket& p) {
  void* vData = nullptr;
  int vLen = 0;
  p.toBytes(&vData, &vLen);
  return Bytes(static_cast<unsigned char*>(vData), static_cast<unsigned char*>(vData) + vLen);
}

Bytes fieldsOf(QpSmartPacket& p) {
  const Bytes vImage = imageOf(p);
  return Bytes(vImage.begin() + 12, vImage.end());
}

}  // namespace qptest
