// Fuzz target: QpStringConversion::stringToQpLong on arbitrary text, strict and lenient, against
// a reference model of the grammar; and QpLongToString -> stringToQpLong for every value that
// parses strictly.
#include "fuzz_support.h"

namespace {

using qpfuzz::check;

// The grammar: bytes <= 32 as signed chars (blanks, controls, 0x80 and up) before the number,
// one optional sign, then digits to the end. The value wraps in 64 bits.
QpLong model(const char* inText, bool& outValid) {
  uint64_t vValue = 0;
  bool vNegative = false;
  bool vStarted = false;
  outValid = true;
  for (const char* p = inText; *p != '\0'; ++p) {
    const signed char c = static_cast<signed char>(*p);
    if (c >= '0' && c <= '9') {
      vValue = vValue * 10 + static_cast<uint64_t>(c - '0');
      vStarted = true;
    } else if (!vStarted && c <= 32) {
    } else if (!vStarted && (c == '+' || c == '-')) {
      vNegative = c == '-';
      vStarted = true;
    } else {
      outValid = false;
      break;
    }
  }
  return static_cast<QpLong>(vNegative ? 0 - vValue : vValue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string vText = qpfuzz::cText(data, size);
  bool vValid = false;
  const QpLong vExpected = model(vText.c_str(), vValid);
  check(QpStringConversion::stringToQpLong(vText.c_str(), 1) == vExpected);

  QpLong vStrict = 0;
  try {
    vStrict = QpStringConversion::stringToQpLong(vText.c_str(), 0);
  } catch (QpParameterException&) {
    check(!vValid);
    return 0;
  }
  check(vValid && vStrict == vExpected);

  char vOut[21 + 16];
  std::memset(vOut, '#', sizeof(vOut));
  QpStringConversion::QpLongToString(vStrict, vOut);
  const size_t vLength = std::strlen(vOut);
  check(vLength >= 1 && vLength <= 20);
  check(vOut[0] == '-' ? vStrict < 0 : vStrict >= 0);
  check(vLength == 1 || vOut[vOut[0] == '-' ? 1 : 0] != '0');
  check(QpStringConversion::stringToQpLong(vOut, 0) == vStrict);
  return 0;
}
