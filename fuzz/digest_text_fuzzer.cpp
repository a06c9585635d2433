// Fuzz target: the decoders of digest texts and identifiers on arbitrary bytes.
//
// - QpMD5_Impl::QpMD5_CreatePartialContext reads a saved state text. It either refuses the text
//   (and then some character really is outside the alphabet) or reads a state whose text,
//   written again, reads back to the same state; a 26-character text whose groups start at most
//   at "F" comes back unchanged.
// - QpObjectGuid::SetID accepts exactly the ids of 27 to 64 characters with "e" or "x" at
//   position 13, and leaves the object unchanged when it refuses one.
// - The texts written from raw bytes have the documented length, alphabet and type character.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "QpUtilsLib.h"

namespace {

const char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";

void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

bool inAlphabet(char inChar) {
  return inChar != '\0' && std::strchr(kAlphabet, inChar) != nullptr;
}

std::string stateTextOf(void* inCtx) {
  unsigned char vRaw[16];
  char vText[27];
  QpMD5_Impl::QpMD5_ContextToRawMD5(vRaw, inCtx);
  QpMD5_Impl::QpMD5_ToString(vRaw, vText, sizeof vText, 0);
  return vText;
}

void stateText(const std::string& inText) {
  void* vCtx = nullptr;
  try {
    vCtx = QpMD5_Impl::QpMD5_CreatePartialContext(inText.c_str(), 64, 64);
  } catch (QpParameterException&) {
    bool vForeign = false;
    for (char c : inText) vForeign = vForeign || !inAlphabet(c);
    check(vForeign);
    return;
  }
  check(vCtx != nullptr);
  const std::string vWritten = stateTextOf(vCtx);
  QpMD5_Impl::QpMD5_DeleteContext(vCtx);
  void* vAgain = QpMD5_Impl::QpMD5_CreatePartialContext(vWritten.c_str(), 64, 64);
  check(stateTextOf(vAgain) == vWritten);
  QpMD5_Impl::QpMD5_DeleteContext(vAgain);
  if (inText.size() == 26 && inText[0] <= 'F' && inText[13] <= 'F') check(vWritten == inText);
}

void identifier(const std::string& inText) {
  QpObjectGuid vGuid;
  const size_t vLength = inText.size();
  const bool vValid = vLength >= 27 && vLength <= 64 && (inText[13] == 'e' || inText[13] == 'x');
  try {
    vGuid.SetID(inText.c_str());
  } catch (QpParameterException&) {
    check(!vValid);
    check(vGuid.isEmpty() && vGuid.GetCA() == nullptr);
    return;
  }
  check(vValid);
  check(inText == vGuid.toString());
  check(std::strncmp(vGuid.GetCA(), inText.c_str(), 27) == 0 && std::strlen(vGuid.GetCA()) == 27);
  check((vGuid.GetDiscriminator() != nullptr) == (vLength > 27));
  check(vGuid.isClipID() == (inText[13] == 'e'));
}

void written(const uint8_t* inData, size_t inSize) {
  unsigned char vRaw[32] = {0};
  std::memcpy(vRaw, inData, inSize < 32 ? inSize : 32);
  const char vType = inSize > 32 ? static_cast<char>(inData[32]) : 0;
  char vText[54];
  QpSHA256_Impl::QpSHA256_ToString(vRaw, vText, sizeof vText, vType);
  check(std::strlen(vText) == (vType != 0 ? 53u : 52u));
  for (size_t i = 0, vDigit = 0; vText[i] != '\0'; ++i) {
    if (i == 13 && vType != 0) {
      check(vText[i] == vType);
      continue;
    }
    check(inAlphabet(vText[i]));
    if (vDigit++ % 13 == 0) check(vText[i] <= 'F');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The decoders take zero-terminated texts: cut at the first zero byte, as a caller's text is.
  const std::string vText(reinterpret_cast<const char*>(data),
                          strnlen(reinterpret_cast<const char*>(data), size));
  stateText(vText);
  identifier(vText);
  written(data, size);
  return 0;
}
