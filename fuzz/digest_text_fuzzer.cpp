// Fuzz target: the decoders of digest texts and identifiers on arbitrary bytes.
//
// - QpMD5_Impl::QpMD5_CreatePartialContext reads a saved state text. It either refuses the text
//   (and then some character really is outside the alphabet) or reads a state whose text,
//   written again, reads back to the same state; a 26-character text whose groups start at most
//   at "F" comes back unchanged.
// - QpObjectGuid::SetID accepts exactly the ids of 27 to 64 characters with "e" or "x" at
//   position 13, and leaves the object unchanged when it refuses one.
#include "fuzz_support.h"

namespace {

using qpfuzz::check;

std::string stateTextOf(void* inCtx) {
  unsigned char vRaw[16];
  char vText[27];
  QpMD5_Impl::QpMD5_ContextToRawMD5(vRaw, inCtx);
  QpMD5_Impl::QpMD5_ToString(vRaw, vText, sizeof vText, 0);
  QpMD5_Impl::QpMD5_DeleteContext(inCtx);
  return vText;
}

void stateText(const std::string& inText) {
  void* vCtx = nullptr;
  try {
    vCtx = QpMD5_Impl::QpMD5_CreatePartialContext(inText.c_str(), 64, 64);
  } catch (QpParameterException&) {
    check(inText.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUV") != std::string::npos);
    return;
  }
  check(vCtx != nullptr);
  const std::string vWritten = stateTextOf(vCtx);
  check(stateTextOf(QpMD5_Impl::QpMD5_CreatePartialContext(vWritten.c_str(), 64, 64)) == vWritten);
  if (inText.size() == 26 && inText[0] <= 'F' && inText[13] <= 'F') check(vWritten == inText);
}

void identifier(const std::string& inText) {
  QpObjectGuid vGuid;
  const size_t vLength = inText.size();
  const bool vValid = vLength >= 27 && vLength <= 64 && (inText[13] == 'e' || inText[13] == 'x');
  try {
    vGuid.SetID(inText.c_str());
  } catch (QpParameterException&) {
    check(!vValid && vGuid.isEmpty() && vGuid.GetCA() == nullptr);
    return;
  }
  check(vValid && inText == vGuid.toString());
  check(std::strncmp(vGuid.GetCA(), inText.c_str(), 27) == 0 && std::strlen(vGuid.GetCA()) == 27);
  check((vGuid.GetDiscriminator() != nullptr) == (vLength > 27));
  check(vGuid.isClipID() == (inText[13] == 'e'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The decoders take zero-terminated texts: cut at the first zero byte, as a caller's text is.
  const std::string vText = qpfuzz::cText(data, size);
  stateText(vText);
  identifier(vText);
  return 0;
}
