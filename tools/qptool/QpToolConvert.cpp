// qptool convert: standard input from one of the library's encodings to another on standard
// output; the conversion itself is QpToolCodecs.
#include "QpToolCodecs.h"
#include "QpToolCommands.h"
#include "QpToolInput.h"

namespace qptool {
namespace {

const char kConvertHelp[] =
    "usage: qptool convert --from ENC --to ENC [--xml]\n"
    "Converts standard input from one encoding to another onto standard output.\n"
    "ENC: utf-8 utf-16 ucs-2 ucs-4 latin-1 ascii ebcdic ebcdicw. The 16-bit forms (utf-16,\n"
    "ucs-2, ebcdicw: the EBCDIC byte in the low half) and ucs-4 are read and written\n"
    "little-endian. Without --xml, malformed input becomes blanks, as the library's lenient\n"
    "conversions do; with --xml every character is checked against the XML character rule and\n"
    "the first one that fails stops the conversion. A NUL character is carried through, except\n"
    "under --xml. Nothing is written unless the whole input converts.\n"
    "Exit: 0 converted; 3 the input does not convert (or is not whole units); 2 usage error.\n";

}  // namespace

int runConvert(int argc, char** argv) {
  Encoding vFrom = kNone, vTo = kNone;
  bool vXml = false;
  for (int i = 1; i < argc; ++i) {
    const std::string vArg = argv[i];
    if (isHelp(argv[i])) {
      writeOutput(kConvertHelp);
      return kExitOk;
    } else if (vArg == "--xml") {
      vXml = true;
    } else if (vArg == "--from" || vArg == "--to") {
      if (++i >= argc) return fail("convert", vArg + " needs an encoding", kExitUsage);
      const Encoding vEncoding = encodingOf(argv[i]);
      if (vEncoding == kNone)
        return fail("convert",
                    std::string("unknown encoding ") + argv[i] +
                        " (utf-8 utf-16 ucs-2 ucs-4 latin-1 ascii ebcdic ebcdicw)",
                    kExitUsage);
      (vArg == "--from" ? vFrom : vTo) = vEncoding;
    } else {
      return fail("convert", "unknown argument " + vArg, kExitUsage);
    }
  }
  if (vFrom == kNone || vTo == kNone)
    return fail("convert", "--from and --to are needed", kExitUsage);

  std::string vInput, vOutput, vError;
  if (!readInput("-", vInput, vError)) return fail("convert", vError, kExitInput);
  try {
    if (!convertText(vInput, vFrom, vTo, vXml, vOutput, vError))
      return fail("convert", vError, kExitInput);
  } catch (QpOutOfMemException& e) {
    return fail("convert", describe(e), kExitFailed);
  } catch (QpException& e) {
    return fail("convert", describe(e), kExitInput);
  }
  return writeOutput(vOutput) ? kExitOk : fail("convert", "cannot write the output", kExitFailed);
}

}  // namespace qptool
