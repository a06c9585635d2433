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

}  // namespace qptest
