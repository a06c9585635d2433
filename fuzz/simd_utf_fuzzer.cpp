// Fuzz target: the fast paths of the conversions against the character-by-character code. For
// arbitrary bytes, every vector level the processor has must give exactly what QP_SIMD_SCALAR
// gives - the same result units, or the same exception code and message - for UTF-8 to UTF-16,
// UCS-2 and UCS-4, QpCountCharacters, QpValidUTF8 and UTF-16 to UTF-8, in every flag
// combination, with an explicit length (exact-size buffers) and with -1.
//
// The first byte asks for up to 127 ASCII letters in front of the rest, so that whatever the
// fuzzer finds lands at every offset of a vector block.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QpUtilsLib.h"
#include "QpXMLCodecHooks.h"
#include "fuzz_support.h"

namespace {

using qpfuzz::check;

template <class T>
std::string bytesOf(T* inResult) {
  size_t n = 0;
  while (inResult[n] != 0) ++n;
  std::string vBytes(reinterpret_cast<const char*>(inResult), n * sizeof(T));
  qp_free(inResult);
  return vBytes;
}

// The outcome of one call as text: "=" and the result, or "!" and the exception's code and message.
template <class F>
std::string outcomeOf(F inCall) {
  try {
    return "=" + inCall();
  } catch (QpException& e) {
    char* vMessage = e.GetMessageString();
    std::string vOutcome = "!" + std::to_string(e.GetErrorCode()) + (vMessage ? vMessage : "");
    qp_free(vMessage);
    return vOutcome;
  }
}

// Every outcome for one text, in a fixed order. The texts are copied into exact-size buffers, so
// that a read past an explicit length shows under the sanitizer.
std::vector<std::string> everyOutcome(const std::string& inBytes,
                                      const std::vector<unsigned short>& inUnits) {
  const int vLen = static_cast<int>(inBytes.size()), vWideLen = static_cast<int>(inUnits.size());
  std::unique_ptr<char[]> vExact(new char[inBytes.size()]);
  std::memcpy(vExact.get(), inBytes.data(), inBytes.size());
  std::unique_ptr<unsigned short[]> vWideExact(new unsigned short[inUnits.size()]);
  if (!inUnits.empty()) std::memcpy(vWideExact.get(), inUnits.data(), inUnits.size() * 2);
  std::vector<unsigned short> vWideTerminated(inUnits);
  vWideTerminated.push_back(0);
  const char* vTerminated = inBytes.c_str();

  std::vector<std::string> vAll;
  for (int vFlags = 0; vFlags < 4; ++vFlags) {
    const unsigned char v = vFlags & 1, a = vFlags >> 1;
    for (const char* vText : {static_cast<const char*>(vExact.get()), vTerminated}) {
      const int n = vText == vTerminated ? -1 : vLen;
      vAll.push_back(outcomeOf([&] { return bytesOf(QpConvertUTF8ToUTF16(vText, n, v, a)); }));
      vAll.push_back(outcomeOf([&] { return bytesOf(QpConvertUTF8ToUCS2(vText, n, v, a)); }));
      vAll.push_back(outcomeOf([&] { return bytesOf(QpConvertUTF8ToUCS4(vText, n, v, a)); }));
      vAll.push_back(outcomeOf([&] { return std::to_string(QpCountCharacters(vText, n, v, a)); }));
    }
    vAll.push_back(
        outcomeOf([&] { return bytesOf(QpConvertUTF16ToUTF8(vWideExact.get(), vWideLen, v, a)); }));
    vAll.push_back(
        outcomeOf([&] { return bytesOf(QpConvertUTF16ToUTF8(vWideTerminated.data(), -1, v, a)); }));
  }
  vAll.push_back(std::to_string(QpValidUTF8(vExact.get(), vLen)));
  vAll.push_back(std::to_string(QpValidUTF8(vTerminated, -1)));
  return vAll;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 1 << 14) return 0;
  const size_t vPad = data[0] & 0x7F;
  std::string vBytes;
  for (size_t i = 0; i < vPad; ++i) vBytes += static_cast<char>('a' + i % 26);
  std::vector<unsigned short> vUnits(vBytes.begin(), vBytes.end());
  vBytes.append(reinterpret_cast<const char*>(data + 1), size - 1);
  for (size_t i = 1; i + 1 < size; i += 2)
    vUnits.push_back(static_cast<unsigned short>(data[i] | (data[i + 1] << 8)));

  std::vector<std::string> vScalar;
  {
    StXMLCodecSimdLevel vLevel(QP_SIMD_SCALAR);
    vScalar = everyOutcome(vBytes, vUnits);
  }
  for (int vWanted = QP_SIMD_SSE2; vWanted <= QP_SIMD_AVX512; ++vWanted) {
    StXMLCodecSimdLevel vLevel(vWanted);
    if (!vLevel.ok()) continue;
    check(everyOutcome(vBytes, vUnits) == vScalar);
  }
  return 0;
}
