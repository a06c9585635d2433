// Fuzz target: QpBase64::decode on arbitrary bytes, and encode -> decode on the same bytes.
//
// The decoder must write no more than the room its contract asks of the caller (the output
// buffer is exactly that size, so the sanitizer sees any overrun), must ignore every byte outside
// the alphabet, and must give back what the encoder wrote. Every bulk level (forced in turn) must
// give exactly what the plain loop gives, in both directions, and write nothing past its result.
#include "QpBase64Hooks.h"
#include "fuzz_support.h"

namespace {

using qpfuzz::check;
using Bytes = std::vector<char>;

bool inAlphabet(char inChar) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  return inChar != '\0' && std::strchr(kAlphabet, inChar) != nullptr;
}

// One run into a buffer of exactly the room the contract asks, filled with a marker so that a
// byte written past the result shows.
Bytes run(bool inEncode, const Bytes& inInput) {
  const size_t n = inInput.size();
  const size_t vRoom = inEncode ? 4 * ((n + 2) / 3) : 3 * ((n + 3) / 4);
  Bytes vOut(vRoom, '#');
  int vLength = -1;
  (inEncode ? QpBase64::encode : QpBase64::decode)(inInput.data(), static_cast<int>(n), vOut.data(),
                                                   &vLength);
  check(vLength >= 0 && static_cast<size_t>(vLength) <= vRoom);
  for (size_t i = static_cast<size_t>(vLength); i < vRoom; ++i) check(vOut[i] == '#');
  vOut.resize(static_cast<size_t>(vLength));
  return vOut;
}

Bytes runAt(int inLevel, bool inEncode, const Bytes& inInput) {
  StBase64Level vLevel(inLevel);
  return run(inEncode, inInput);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes vInput(data, data + size);

  // Only the alphabet counts: the same text without its foreign bytes decodes the same, to
  // three bytes per four characters and one less than the characters of a shorter rest.
  const Bytes vDecoded = run(false, vInput);
  Bytes vClean;
  for (char c : vInput)
    if (inAlphabet(c)) vClean.push_back(c);
  const size_t vSextets = vClean.size();
  check(vDecoded.size() == 3 * (vSextets / 4) + (vSextets % 4 > 1 ? vSextets % 4 - 1 : 0));
  check(run(false, vClean) == vDecoded);

  // The encoder pads to whole groups with '=' and the decoder gives the bytes back.
  const Bytes vText = run(true, vInput);
  check(vText.size() == 4 * ((size + 2) / 3));
  const size_t vPad = size % 3 == 0 ? 0 : 3 - size % 3;
  for (size_t i = 0; i < vText.size(); ++i)
    check(i >= vText.size() - vPad ? vText[i] == '=' : inAlphabet(vText[i]));
  check(run(false, vText) == vInput);

  for (bool vEncode : {false, true}) {
    const Bytes vPlain = runAt(kQpBase64Plain, vEncode, vInput);
    for (int vLevel = kQpBase64Words; vLevel <= kQpBase64Vector; ++vLevel)
      check(runAt(vLevel, vEncode, vInput) == vPlain);
  }
  return 0;
}
