// Fuzz target: the text work of qptool's convert, b32 and b64 subcommands (QpToolCodecs), on
// arbitrary bytes. The fuzz build leaves the tools out, so their source is compiled in here.
//
// The first byte chooses: bits 0-2 the source encoding, bits 3-5 the target, bits 6-7 the mode
// (0 lenient conversion, 1 conversion under the XML check, 2 Base32, 3 Base64); the rest is the
// input. Beyond not crashing or leaking: a UTF-8 text that passes the XML check comes back byte
// for byte through UTF-16, and any bytes come back whole through each codec.
#include "../tools/qptool/QpToolCodecs.cpp"
#include "fuzz_support.h"

namespace {

void roundTripUtf8(const std::string& inText) {
  std::string vUtf16, vBack, vError;
  if (!qptool::convertText(inText, qptool::kUtf8, qptool::kUtf16, true, vUtf16, vError)) return;
  qpfuzz::check(qptool::convertText(vUtf16, qptool::kUtf16, qptool::kUtf8, true, vBack, vError) &&
                vBack == inText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize == 0) return 0;
  const std::string vInput(reinterpret_cast<const char*>(inData) + 1, inSize - 1);
  const int vMode = inData[0] >> 6;
  std::string vOut, vError;
  try {
    if (vMode < 2) {
      const qptool::Encoding vFrom = static_cast<qptool::Encoding>(inData[0] & 7);
      const qptool::Encoding vTo = static_cast<qptool::Encoding>((inData[0] >> 3) & 7);
      qptool::convertText(vInput, vFrom, vTo, vMode == 1, vOut, vError);
      if (vMode == 1 && vFrom == qptool::kUtf8) roundTripUtf8(vInput);
    } else if (vMode == 2) {
      qptool::decodeBase32(vInput, vOut, vError);
      const std::unique_ptr<char, qptool::QpFree> vText(
          QpBase32::encode(vInput.data(), static_cast<int>(vInput.size())));
      qpfuzz::check(qptool::decodeBase32(vText.get(), vOut, vError) && vOut == vInput);
    } else {
      qptool::decodeBase64(vInput, vOut);
      qpfuzz::check(qptool::decodeBase64(qptool::encodeBase64(vInput), vOut) && vOut == vInput);
    }
  } catch (QpException&) {
    // The library's refusals (invalid XML, a foreign Base32 digit) are answers, not faults.
  }
  return 0;
}
