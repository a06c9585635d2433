// smart_packet_fuzzer.cpp - loads arbitrary bytes as a packet image and reads everything in it.
//
// Each input is loaded with fromBytes (full image or body form), walked field by field, every
// getter is called on every code found (nested packets are opened and walked in turn, a few
// levels deep), the text dump is built, and the image is copied, handed out and edited. Refusals
// are QpException and expected; anything else, a read outside the image or a leak, is a finding.
#include <typeinfo>

#include "fuzz_support.h"

namespace {

using qpfuzz::attempt;

const int kMaxDepth = 3;

// Reaches the walk primitives, which are protected.
class FuzzPacket : public QpSmartPacket {
 public:
  std::vector<short> codes() {
    std::vector<short> vCodes;
    if (IsEmpty()) return vCodes;
    for (short c = fetchFirst(); c != -1; c = fetchNext()) vCodes.push_back(c);
    return vCodes;
  }

  // A lookup must answer, leave the cursor and refuse exactly as the step-by-step walk does.
  void checkLookup(short inCode) {
    if (mBuffer == nullptr || inCode == -1) return;
    const std::string vLookup = outcome([&] { return findField(inCode); });
    const std::string vWalk = outcome([&] {
      for (short c = fetchFirst(); c != -1; c = fetchNext()) {
        if (c == inCode) return true;
      }
      return false;
    });
    qpfuzz::check(vLookup == vWalk);
  }

 private:
  template <class F>
  std::string outcome(F&& inLookup) {
    std::string v;
    try {
      v = inLookup() ? "found" : "missing";
    } catch (QpException& e) {
      char* vMessage = e.GetMessageString();
      v = std::string(typeid(e).name()) + (vMessage != nullptr ? vMessage : "");
      qp_free(vMessage);
    }
    return v + " " + std::to_string(mCurCode) + " " + std::to_string(mCurType) + " " +
           std::to_string(mCurOffset) + " " + std::to_string(mCurLen);
  }
};

void readAll(FuzzPacket& p, int inDepth);

void readField(FuzzPacket& p, short c, int inDepth) {
  // The values read only feed a sink that keeps the reads alive; it wraps like an unsigned
  // number, since the values themselves come from the input and may be anything.
  volatile unsigned long long vSink = 0;
  attempt([&] { vSink = vSink + p.GetFieldType(c) + p.GetExists(c); });
  attempt([&] { vSink = vSink + p.GetInt(c); });
  attempt([&] { vSink = vSink + p.GetLong(c, 1); });
  attempt([&] { vSink = vSink + p.GetBool(c); });
  QP_FUZZ_READ(int vLen = 0; p.GetStringLen(c, &vLen); vSink = vSink + vLen);
  QP_FUZZ_READ(char vBuf[16]; int vLen = 16; p.GetString(c, vBuf, &vLen); vSink = vSink + vBuf[0]);
  QP_FUZZ_READ(QpWChar vBuf[16]; int vLen = 16; p.GetString(c, vBuf, &vLen); vSink += vBuf[0]);
  attempt([&] { vSink = vSink + p.GetString(c).getLength(); });
  attempt([&] { qp_free(p.GetString(c, static_cast<unsigned char>(0))); });
  QP_FUZZ_READ(QpStringBuffer vOut; p.GetString(c, vOut));
  // Touch every byte that GetData claims: ASan reports any that lie outside the image.
  QP_FUZZ_READ(const int vLen = p.GetDataLen(c); unsigned vSum = 0;
               const unsigned char* vData = static_cast<const unsigned char*>(p.GetData(c));
               for (int i = 0; i < vLen; ++i) vSum += vData[i]; vSink = vSink + vSum);
  int n = 0;  // each call sets it first
  attempt([&] { QpSmartPacket::deleteLongArray(p.GetLongArray(c, n)); });
  attempt([&] { delete[] p.GetStrArray(c, n); });
  attempt([&] { QpSmartPacket::deleteStrArrayTemplate(p.GetStrArray(c, n, 0)); });
  if (inDepth < kMaxDepth) {
    QP_FUZZ_READ(FuzzPacket vInner; p.GetSmartPacket(c, vInner); readAll(vInner, inDepth + 1));
  }
}

void readAll(FuzzPacket& p, int inDepth) {
  std::vector<short> vCodes;
  attempt([&] { vCodes = p.codes(); });
  for (short c : vCodes) readField(p, c, inDepth);
  for (short c : vCodes) p.checkLookup(c);
  p.checkLookup(0x7FFF);
  attempt([&] { qp_free(p.toString()); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* inData, size_t inSize) {
  if (inSize > (1u << 20)) return 0;
  std::vector<unsigned char> vBytes(inData, inData + inSize);
  FuzzPacket p;
  try {
    p.fromBytes(vBytes.empty() ? nullptr : vBytes.data(), static_cast<int>(vBytes.size()));
  } catch (QpException&) {
    return 0;
  }
  readAll(p, 0);

  // Copies, the hand-out, and edits of an image that came from outside.
  attempt([&] {
    FuzzPacket vCopy;
    static_cast<QpSmartPacket&>(vCopy) = p;
    void* vImage = nullptr;
    int vLen = 0;
    vCopy.toBytes(&vImage, &vLen);
    FuzzPacket vBack;
    vBack.fromBytes(vImage, vLen);
    readAll(vBack, kMaxDepth);
  });
  std::vector<short> vCodes;
  attempt([&] { vCodes = p.codes(); });
  // Storing the packet into itself doubles it each time: a few rounds reach every path, while
  // one per field of a long image would only measure the harness's own exponential growth.
  if (vCodes.size() > 8) vCodes.resize(8);
  for (short c : vCodes) {
    attempt([&] { p.Set(c, "replaced"); });
    attempt([&] { p.store(c == 32767 ? 1 : c + 1, p); });
    attempt([&] { p.deleteField(c); });
  }
  attempt([&] { qp_free(p.toString()); });
  return 0;
}
