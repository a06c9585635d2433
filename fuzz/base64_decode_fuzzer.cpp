// Fuzz target: QpBase64::decode on arbitrary bytes, and encode -> decode on the same bytes.
//
// The decoder must write no more than the room its contract asks of the caller (the output
// buffer is exactly that size, so the sanitizer sees any overrun), must ignore every byte outside
// the alphabet, and must give back what the encoder wrote. Every bulk level (forced in turn) must
// give exactly what the plain loop gives, in both directions, and write nothing past its result.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "QpBase64Hooks.h"
#include "QpUtilsLib.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool inAlphabet(char inChar) {
  return inChar != '\0' && std::strchr(kAlphabet, inChar) != nullptr;
}

void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

void decodeArbitrary(const uint8_t* inData, size_t inSize) {
  std::vector<char> vText(inData, inData + inSize);
  const size_t vRoom = 3 * ((inSize + 3) / 4);
  std::vector<char> vOut(vRoom);
  int vLength = -1;
  QpBase64::decode(vText.data(), static_cast<int>(inSize), vOut.data(), &vLength);

  // Only the alphabet counts: the same text without its foreign bytes decodes the same.
  std::vector<char> vClean;
  for (char c : vText)
    if (inAlphabet(c)) vClean.push_back(c);
  const size_t vSextets = vClean.size();
  const size_t vExpected = 3 * (vSextets / 4) + (vSextets % 4 > 1 ? vSextets % 4 - 1 : 0);
  check(vLength >= 0 && static_cast<size_t>(vLength) == vExpected);
  check(vExpected <= vRoom);

  std::vector<char> vCleanOut(3 * ((vClean.size() + 3) / 4));
  int vCleanLength = -1;
  QpBase64::decode(vClean.data(), static_cast<int>(vClean.size()), vCleanOut.data(), &vCleanLength);
  check(vCleanLength == vLength);
  check(vLength == 0 || std::memcmp(vOut.data(), vCleanOut.data(), vExpected) == 0);
}

void roundTrip(const uint8_t* inData, size_t inSize) {
  std::vector<char> vData(inData, inData + inSize);
  const size_t vChars = 4 * ((inSize + 2) / 3);
  std::vector<char> vText(vChars);
  int vLength = -1;
  QpBase64::encode(vData.data(), static_cast<int>(inSize), vText.data(), &vLength);
  check(vLength >= 0 && static_cast<size_t>(vLength) == vChars);
  const size_t vPad = inSize % 3 == 0 ? 0 : 3 - inSize % 3;
  for (size_t i = 0; i < vChars; ++i)
    check(i >= vChars - vPad ? vText[i] == '=' : inAlphabet(vText[i]));

  std::vector<char> vBack(3 * (vChars / 4));
  int vBackLength = -1;
  QpBase64::decode(vText.data(), vLength, vBack.data(), &vBackLength);
  check(vBackLength >= 0 && static_cast<size_t>(vBackLength) == inSize);
  check(inSize == 0 || std::memcmp(vBack.data(), vData.data(), inSize) == 0);
}

// One run at a forced level into a buffer of exactly the room the contract asks, filled with a
// marker so that a byte written past the result shows.
std::vector<char> runAt(int inLevel, bool inEncode, const std::vector<char>& inInput) {
  StBase64Level vLevel(inLevel);
  const size_t n = inInput.size();
  const size_t vRoom = inEncode ? 4 * ((n + 2) / 3) : 3 * ((n + 3) / 4);
  std::vector<char> vOut(vRoom, '#');
  int vLength = -1;
  (inEncode ? QpBase64::encode : QpBase64::decode)(inInput.data(), static_cast<int>(n), vOut.data(),
                                                   &vLength);
  check(vLength >= 0 && static_cast<size_t>(vLength) <= vRoom);
  for (size_t i = static_cast<size_t>(vLength); i < vRoom; ++i) check(vOut[i] == '#');
  vOut.resize(static_cast<size_t>(vLength));
  return vOut;
}

void compareLevels(const uint8_t* inData, size_t inSize) {
  const std::vector<char> vInput(inData, inData + inSize);
  for (bool vEncode : {false, true}) {
    const std::vector<char> vPlain = runAt(kQpBase64Plain, vEncode, vInput);
    for (int vLevel = kQpBase64Words; vLevel <= kQpBase64Vector; ++vLevel) {
      check(runAt(vLevel, vEncode, vInput) == vPlain);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeArbitrary(data, size);
  roundTrip(data, size);
  compareLevels(data, size);
  return 0;
}
