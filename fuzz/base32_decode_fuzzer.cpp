// Fuzz target: QpBase32::decode on arbitrary bytes, and encode -> decode on the same bytes.
//
// A decode that succeeds must be explained by the text: re-encoding its bytes gives the digits
// that were read, except for the fill bits of the last one. A round trip must give the input
// back byte for byte, zero bytes included.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "QpUtilsLib.h"

namespace {

const char kAlphabet[] = "ybndrfg8ejkmcpqxot1uwisza345h769";

int digitValue(char inChar) {
  const char* p = std::strchr(kAlphabet, inChar);
  return inChar != '\0' && p != nullptr ? static_cast<int>(p - kAlphabet) : -1;
}

void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

void decodeArbitrary(const uint8_t* inData, size_t inSize) {
  // An exact-size copy, so that a read past the given length is caught.
  std::vector<char> vText(inData, inData + inSize);
  const int vLength = static_cast<int>(inSize);
  char* vBytes = nullptr;
  try {
    vBytes = QpBase32::decode(vText.data(), vLength);
  } catch (QpParameterException&) {
    return;
  }
  const size_t vDigitsGiven = inSize > 1 ? inSize - 1 : 0;
  const size_t vByteCount = vDigitsGiven * 5 / 8;
  const size_t vDigitsRead = (vByteCount * 8 + 4) / 5;
  check(vBytes[vByteCount] == '\0');

  char* vAgain = QpBase32::encode(vBytes, static_cast<int>(vByteCount));
  check(std::strlen(vAgain) == 1 + vDigitsRead);
  for (size_t i = 1; i <= vDigitsRead; ++i) {
    const int vGiven = digitValue(vText[i]);
    check(vGiven >= 0);
    if (i < vDigitsRead) {
      check(vAgain[i] == vText[i]);
    } else {
      const int vFill = static_cast<int>(5 * vDigitsRead - 8 * vByteCount);
      check(digitValue(vAgain[i]) == (vGiven & ~((1 << vFill) - 1)));
    }
  }
  qp_free(vAgain);
  qp_free(vBytes);
}

void roundTrip(const uint8_t* inData, size_t inSize) {
  std::vector<char> vData(inData, inData + inSize);
  char* vText = QpBase32::encode(vData.data(), static_cast<int>(inSize));
  check(std::strlen(vText) == 1 + (8 * inSize + 4) / 5);
  check(vText[0] == 'Z');
  for (const char* p = vText + 1; *p != '\0'; ++p) check(digitValue(*p) >= 0);
  char* vBack = QpBase32::decode(vText);
  check(inSize == 0 || std::memcmp(vBack, vData.data(), inSize) == 0);
  check(vBack[inSize] == '\0');
  qp_free(vBack);
  qp_free(vText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeArbitrary(data, size);
  roundTrip(data, size);
  return 0;
}
