// Fuzz target: QpConvertUTF16ToUTF8 on arbitrary 16-bit units, with an explicit length (an
// exact-size buffer) and with -1 up to a terminator, under every flag combination.
//
// A reference model written here predicts whether the call raises and the exact bytes it must
// produce; the output must then decode back to the units that were read.
#include "fuzz_support.h"

namespace {

using qpfuzz::check;

void fuzzOne(const unsigned short* inUnits, size_t inCount, int inLength) {
  // The units the loop reads: up to a zero unit, even inside an explicit length.
  size_t vRead = 0;
  while (vRead < inCount && inUnits[vRead] != 0) ++vRead;

  for (int v = 0; v < 2; ++v) {
    for (int a = 0; a < 2; ++a) {
      bool vMustRaise = false;
      std::string vExpected;
      for (size_t i = 0; i < vRead; ++i) {
        const unsigned u = inUnits[i];
        if (u == 0xFFFE || u == 0xFFFF) vMustRaise = true;
        if (v && !a && u < 0x20 && u != 0x9 && u != 0xA && u != 0xD) vMustRaise = true;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < vRead && inUnits[i + 1] >= 0xDC00 &&
            inUnits[i + 1] <= 0xDFFF) {
          qpfuzz::appendUtf8(vExpected, 0x10000 + ((u - 0xD800) << 10) + (inUnits[++i] - 0xDC00));
        } else {
          qpfuzz::appendUtf8(vExpected, u);
        }
      }

      char* vResult = nullptr;
      try {
        vResult = QpConvertUTF16ToUTF8(inUnits, inLength, static_cast<unsigned char>(v),
                                       static_cast<unsigned char>(a));
      } catch (QpInvalidXMLException&) {
        check(vMustRaise);
        continue;
      }
      check(!vMustRaise && vResult != nullptr && vExpected == vResult);

      // Back to UTF-16 with pass-through: lone surrogates and control units survive as
      // themselves, so the units read come back exactly.
      unsigned short* vBack = QpConvertUTF8ToUTF16(vResult, -1, 1, 1);
      check(std::memcmp(vBack, inUnits, vRead * sizeof(unsigned short)) == 0 && vBack[vRead] == 0);
      qp_free(vBack);
      qp_free(vResult);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const size_t vCount = size / 2;
  const auto vExact = qpfuzz::exactCopy<unsigned short>(data, vCount);
  fuzzOne(vExact.get(), vCount, static_cast<int>(vCount));
  std::vector<unsigned short> vTerminated(vExact.get(), vExact.get() + vCount);
  vTerminated.push_back(0);
  fuzzOne(vTerminated.data(), vCount, -1);
  return 0;
}
