// Fuzz target: QpRefPointer::RefToPointer on the arbitrary numbers and types callers hand back.
// The input is a run of 9-byte records: 8 bytes of reference, one of type. A type with its top
// bit set first registers one of a few pointers above 4 GiB and puts its handle in the record,
// so that issued handles take part. Every decode is checked against a model of the checks.
#include "fuzz_support.h"

namespace {

using qpfuzz::check;

uint32_t sHandle[16];  // the handle issued to each high pointer, 0 before

void* highPointer(int inIndex) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(0x7B0000000000 + 64 * inIndex));
}

const char* expectedRefusal(uint64_t inRef, unsigned char inType) {
  const uint32_t vAddress = static_cast<uint32_t>(inRef);
  if (inRef == 0) return "Reference is NULL";
  if ((inRef >> 56) != 0) return "Reference is wrong";
  if (inType != 0 && ((inRef >> 48) & 0xFF) != inType) return "Type is wrong";
  const bool vSumOk = ((inRef >> 32) & 0xFFFF) == ((vAddress + (vAddress >> 16)) & 0xFFFF);
  return vSumOk ? nullptr : "Checksum is wrong";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (; size >= 9; data += 9, size -= 9) {
    uint64_t vRef = 0;
    std::memcpy(&vRef, data, 8);
    const unsigned char vType = data[8];
    if ((vType & 0x80) != 0) {
      const int vIndex = static_cast<int>(vRef % 16);
      const uint32_t vHandle =
          static_cast<uint32_t>(QpRefPointer::PointerToRef(highPointer(vIndex), vType));
      check(sHandle[vIndex] == 0 || sHandle[vIndex] == vHandle);
      sHandle[vIndex] = vHandle;
      vRef = (vRef & ~uint64_t{0xFFFFFFFF}) | vHandle;
    }
    void* vExpected = reinterpret_cast<void*>(static_cast<uintptr_t>(vRef & 0xFFFFFFFF));
    for (int i = 0; i < 16; ++i) {
      if (sHandle[i] != 0 && sHandle[i] == static_cast<uint32_t>(vRef)) vExpected = highPointer(i);
    }
    const char* vRefusal = expectedRefusal(vRef, vType);
    try {
      check(QpRefPointer::RefToPointer(static_cast<QpLong>(vRef), vType) == vExpected);
      check(vRefusal == nullptr);
    } catch (QpWrongReferenceException& e) {
      check(vRefusal != nullptr && qpfuzz::messageIs(e, vRefusal));
    }
  }
  return 0;
}
