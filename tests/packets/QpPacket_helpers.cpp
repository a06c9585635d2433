#include "QpPacketTestHelpers.h"

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
