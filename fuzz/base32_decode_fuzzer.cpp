// Fuzz target: QpBase32::decode on arbitrary bytes, and encode -> decode on the same bytes.
//
// A decode that succeeds must be explained by the text: re-encoding its bytes gives the digits
// that were read, except for the fill bits of the last one. A round trip must give the input
// back byte for byte, zero bytes included.
#include "fuzz_support.h"

namespace {

using qpfuzz::check;

int digitValue(char inChar) {
  static const char kAlphabet[] = "ybndrfg8ejkmcpqxot1uwisza345h769";
  const char* p = std::strchr(kAlphabet, inChar);
  return inChar != '\0' && p != nullptr ? static_cast<int>(p - kAlphabet) : -1;
}

void decodeArbitrary(const std::vector<char>& inText) {
  char* vBytes = nullptr;
  try {
    vBytes = QpBase32::decode(inText.data(), static_cast<int>(inText.size()));
  } catch (QpParameterException&) {
    return;
  }
  const size_t vByteCount = (inText.size() > 1 ? inText.size() - 1 : 0) * 5 / 8;
  const size_t vDigitsRead = (vByteCount * 8 + 4) / 5;
  const int vFill = static_cast<int>(5 * vDigitsRead - 8 * vByteCount);
  check(vBytes[vByteCount] == '\0');

  char* vAgain = QpBase32::encode(vBytes, static_cast<int>(vByteCount));
  check(std::strlen(vAgain) == 1 + vDigitsRead);
  for (size_t i = 1; i <= vDigitsRead; ++i) {
    const int vGiven = digitValue(inText[i]);
    check(vGiven >= 0);
    check(i < vDigitsRead ? vAgain[i] == inText[i]
                          : digitValue(vAgain[i]) == (vGiven & ~((1 << vFill) - 1)));
  }
  qp_free(vAgain);
  qp_free(vBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the given length is caught.
  const std::vector<char> vData(data, data + size);
  decodeArbitrary(vData);

  char* vText = QpBase32::encode(vData.data(), static_cast<int>(size));
  check(std::strlen(vText) == 1 + (8 * size + 4) / 5 && vText[0] == 'Z');
  for (const char* p = vText + 1; *p != '\0'; ++p) check(digitValue(*p) >= 0);
  char* vBack = QpBase32::decode(vText);
  check((size == 0 || std::memcmp(vBack, vData.data(), size) == 0) && vBack[size] == '\0');
  qp_free(vBack);
  qp_free(vText);
  return 0;
}
