// Fuzz target: qp_mbstowcs on arbitrary bytes against the reference reader (RFC 3629).
//
// Counting (null destination) must give the UTF-16 length of what the reference reads, or -1
// exactly when the reference refuses. Widening into a destination of every size up to that
// length must write the reference's units, stop before a surrogate pair that does not fit, and
// write the terminator only when there is room; nothing beyond the destination is touched (it is
// an exact-size allocation, so the sanitizer sees any overrun).
#include "fuzz_support.h"

using qpfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 12) return 0;
  const std::string vText = qpfuzz::cText(data, size);
  std::vector<uint32_t> vCps;
  const bool vReads = qpfuzz::decodeUtf8(reinterpret_cast<const unsigned char*>(vText.data()),
                                         vText.size(), true, vCps);
  const std::vector<unsigned short> vUnits = qpfuzz::toUtf16(vCps);

  const size_t vCount = qp_mbstowcs(nullptr, vText.c_str(), 0);
  if (!vReads) {
    check(vCount == static_cast<size_t>(-1));
    return 0;
  }
  check(vCount == vUnits.size());
  for (size_t vRoom = 0; vRoom <= vUnits.size() + 1; ++vRoom) {
    std::unique_ptr<QpWChar[]> vOut(new QpWChar[vRoom > 0 ? vRoom : 1]);
    const size_t vWritten = qp_mbstowcs(vRoom > 0 ? vOut.get() : nullptr, vText.c_str(), vRoom);
    if (vRoom == 0) continue;  // a null destination counts, as above
    size_t vExpected = vRoom < vUnits.size() ? vRoom : vUnits.size();
    // A pair is never split: drop its first half when only that fits.
    if (vExpected > 0 && vExpected < vUnits.size() && vUnits[vExpected - 1] >= 0xD800 &&
        vUnits[vExpected - 1] <= 0xDBFF)
      --vExpected;
    check(vWritten == vExpected);
    for (size_t i = 0; i < vWritten; ++i) check(vOut[i] == vUnits[i]);
    if (vWritten < vRoom && vWritten == vUnits.size()) check(vOut[vWritten] == 0);
  }
  return 0;
}
